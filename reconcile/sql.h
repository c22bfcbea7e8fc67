// The statement texts of the reconciliation: the SQL of the three cursors
// that the polling cycle opens and the texts that the scratch statement QExec
// runs, letter for letter.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia {

class TFbQuery;

// Replaces the text of `q` by these lines (a statement of this file, or any
// other).
void DefinirSQL(TFbQuery& q, std::span<const std::string_view> linhas);
void DefinirSQL(TFbQuery& q, const std::vector<std::string>& linhas);

// ---------------------------------------------------------------------------
// SQL of the three cursors, line by line ("     , " is five blanks, a comma
// and a blank). The statement is the lines joined by line breaks.

// Pending card transactions of one cash register (parameter CAIXA), plus any
// older than four days, whose payment or fiscal response is still "0" and
// whose sale is fiscally complete.
inline constexpr auto kSqlEnviaMFEPendentes = std::to_array<std::string_view>({
    "SELECT MFE_IDENTIFICADORINTERNO",
    "     , MFE_SERIALPOS",
    "     , MFE_CODAUTORIZACAO",
    "     , MFE_BIN",
    "     , MFE_DONOCARTAO",
    "     , MFE_EXPIRACAO",
    "     , MFE_INSTITUICAOFINANCEIRA",
    "     , MFE_PARCELAS",
    "     , MFE_ULTQUATRODIGITOS",
    "     , MFE_CODIGOPAGAMENTO",
    "     , MFE_VALORPAGAMENTO",
    "     , MFE_IDPAGAMENTO",
    "     , MFE_IDLOCAL",
    "     , MFE_TIPO",
    "     , MFE_XML_STATUSVALIDADOR",
    "     , MFE_IDRESPOSTAFISCAL",
    "     , MFE_XML_RESPOSTAFISCAL",
    "     , MFE_IDSTATUSVALIDADOR",
    "     , MFE_XML_ENVIARPAGAMENTO",
    "     , MFE_DATAVENDA",
    "     , MFE_HORAVENDA",
    "     , MFE_DADOSCARTAODIGITADO",
    "     , MFE_NUMCUPOM",
    "     , MFE_XMLSAT",
    "     , MFE_CHAVESAT",
    "     , CAIXA",
    "FROM MFE_TRANSACAO_CARTOES",
    "WHERE ((CAIXA = :CAIXA) OR (MFE_DATAVENDA < CURRENT_DATE - 4)) ",
    "AND ((MFE_IDPAGAMENTO = '0') OR (MFE_IDRESPOSTAFISCAL = '0'))",
    "AND (COALESCE(MFE_NUMCUPOM, '') <> '')",
    "AND (COALESCE(MFE_XMLSAT, '') <> '')",
    "AND (COALESCE(MFE_CHAVESAT, '') <> '')",
    "ORDER BY MFE_IDENTIFICADORINTERNO",
});

// The cycle walks the pending selection in two statements, so that a row the
// server cannot hand over (a character its connection cannot carry, a value
// out of range) fails alone, not the walk: the keys first, through the
// selection above with the key as its only column, in the same order; then
// each row by its key, through the selection above less its order and with
// its key as a further condition (parameters CAIXA and
// MFE_IDENTIFICADORINTERNO), which gives nothing for a row that is no longer
// pending.
std::vector<std::string> SqlChavesPendentes();
std::vector<std::string> SqlTransacaoPendente();

// Company defaults (no parameter).
inline constexpr auto kSqlPadrao = std::to_array<std::string_view>({
    "SELECT CODIGO, CGC FROM PADRAO",
});

// Settings of one cash register (parameter CAIXA): the 68 columns of MSAUT.
inline constexpr auto kSqlMSAut = std::to_array<std::string_view>({
    "SELECT CAIXA",
    "     , SERIALHD",
    "     , TEFTIPO",
    "     , TEFIPSERVIDOR",
    "     , TEFIDLOJA",
    "     , TEFIDTERMINAL",
    "     , HABILITAREDECARD",
    "     , HABILITATECBAN",
    "     , HABILITAHIPERCARD",
    "     , ATIVAPREVENDANAOFISCAL",
    "     , NFCECERTIFICADO",
    "     , NFCEIDTOKEN",
    "     , NFCETOKEN",
    "     , NFCETIPODANFE",
    "     , NFCEMARGEMSUPERIORDANFE",
    "     , NFCEMARGEMINFERIORDANFE",
    "     , NFCEMARGEMDIREITADANFE",
    "     , NFCEMARGEMESQUERDADANFE",
    "     , NFCELINHASBUFFERESCPOS",
    "     , NFCEIMPRESSORAESCPOS",
    "     , NFCEPORTAESCPOS",
    "     , NFCESISTEMA",
    "     , NFCETIPOPROXY",
    "     , NFCEIPPROXY",
    "     , NFCEUSUARIOPROXY",
    "     , NFCESENHAPROXY",
    "     , NFCEPORTAPROXY",
    "     , SATINICIALIZACAO",
    "     , SATCODIGOVINCULACAO",
    "     , SATCODIGOATIVACAO",
    "     , SATPAGINACODIGO",
    "     , SATUTF8",
    "     , SATVERSAO",
    "     , SATDLL",
    "     , SATREDEINTERNET",
    "     , SATWIFISSID",
    "     , SATWIFISEG",
    "     , SATWIFISENHA",
    "     , SATREDELAN",
    "     , SATPPOEUSUARIO",
    "     , SATPPOESENHA",
    "     , SATIPFIXOIP",
    "     , SATIPFIXOMASCARA",
    "     , SATIPFIXOGATEWAY",
    "     , SATIPFIXODNS1",
    "     , SATIPFIXODNS2",
    "     , NUMEROULTIMANOTA",
    "     , LINHAENTRECUPONS",
    "     , MODELODLL",
    "     , NFCESENHACERTIFICADO",
    "     , NUMEROCOLUNASFONTENORMAL",
    "     , DESABILITARRECEITADIGITAL",
    "     , TEFCOMPROVANTECOMPLETO",
    "     , CERTIFICATEREVOCATION",
    "     , CHECKEXESIGNATURES",
    "     , CONFIG_STATE",
    "     , SECUREPROTOCOLS",
    "     , MFE_CHAVEACESSOINTEGRADOR",
    "     , CRYPTLIB",
    "     , HTTPLIB",
    "     , XMLSIGNLIB",
    "     , SSLTYPE",
    "     , CRYPTLIB_NFCE",
    "     , HTTPLIB_NFCE",
    "     , XMLSIGNLIB_NFCE",
    "     , SSLTYPE_NFCE",
    "     , DESABILITARVERIFICACAOSTATUSMFE",
    "     , FORMATODANFEDAV",
    "FROM MSAUT",
    "WHERE CAIXA = :CAIXA",
});

// How TBMSAut's columns read as Booleans (never used for text reading).
inline constexpr auto kColumnAttributesMSAut = std::to_array<std::string_view>({
    "HABILITAREDECARD=BOOLEAN=Y,N",
    "HABILITATECBAN=BOOLEAN=Y,N",
    "HABILITAHIPERCARD=BOOLEAN=Y,N",
    "ATIVAPREVENDANAOFISCAL=BOOLEAN=Y,N",
    "SATUTF8=BOOLEAN='Y,N'",
    "DESABILITARRECEITADIGITAL=BOOLEAN='Y,N'",
    "TEFCOMPROVANTECOMPLETO=BOOLEAN='Y,N'",
    "MFE_CHAVEACESSOINTEGRADOR=BOOLEAN=','",
    "DESABILITARVERIFICACAOSTATUSMFE=BOOLEAN='Y,N'",
});

// ---------------------------------------------------------------------------
// Texts run through QExec (its SQL is replaced before every use).

// `texto` as an SQL string literal: enclosed in single quotes, each single
// quote inside doubled.
std::string QuotedSQLStr(std::string_view texto);

// POS-by-serial look-up: result column CODIGO.
std::vector<std::string> SqlPOSPorSerial(std::string_view serialPOS);
// POS-by-code look-up: MFE_SERIALPOS, MFE_CHAVEREQUISICAO, CODIGOESTABELECIMENTO.
std::vector<std::string> SqlPOSPorCodigo(std::int32_t codigoPOS);
// Payment-id update: IDPAGAMENTO, XMLENVIARPAGAMENTO, INDENTIFICADORINTERNO.
std::vector<std::string> SqlAtualizaPagamento();
// Status-id update: IDSTATUSVALIDADOR, XMLSTATUSVALIDADOR, INDENTIFICADORINTERNO.
std::vector<std::string> SqlAtualizaStatusValidador();
// Row re-read: MFE_SERIALPOS, MFE_IDSTATUSVALIDADOR of one row.
std::vector<std::string> SqlRelerTransacao(std::string_view identificadorInterno);
// Fiscal-id update: IDRESPOSTAFISCAL, XMLRESPOSTAFISCAL, INDENTIFICADORINTERNO.
std::vector<std::string> SqlAtualizaRespostaFiscal();

}  // namespace pagvigia
