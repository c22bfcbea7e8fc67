// Reconciliation of the shop's pending card transactions with the Integrador.
//
// The SQL of the three cursors that the polling cycle opens, the texts that the
// scratch statement QExec runs, and TReconciliacao, which processes the current
// row of TBEnviaMFEPendentes: payment (EnviarPagamento), payment status of a
// "TEF" payment (EnviarStatusPagamento) and fiscal response (RespostaFiscal),
// each id and answer XML written back to the row by its own update, committed
// at once, so that a row that stops half-way resumes at its missing step.
//
// How the service object uses it (service/):
//   - it owns every component and builds one TReconciliacao over them, passing
//     its DoSaveLog as the log callback;
//   - ConfigurarConsultas() gives TBEnviaMFEPendentes, TBPadrao and TBMSAut
//     their SQL text (their design-time settings); call it once after
//     creating the components (the constructor does not touch them);
//   - the cycle opens TBPadrao, TBMSAut and TBEnviaMFEPendentes, sets CAIXA,
//     walks the pending rows and calls EnviaMFEPendentes() for each one inside
//     its own handler ("Envios Pendentes: " + message), then closes them and
//     disconnects. EnviaMFEPendentes raises whatever the database layer or the
//     Integrador raise; everything it had committed before stays committed.
//   - the three last answers (RespostaPagamentoMFe, RespostaStatusPagamento,
//     RetornoRespostaFiscal) live here and are replaced by the next call of
//     the same method.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagvigia {

class TFbConnection;
class TFbTransaction;
class TFbQuery;
class TIntegradorCliente;
class TRespostaPagamento;
class TRespostaStatusPagamento;
class TRetornoRespostaFiscal;

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

// ---------------------------------------------------------------------------

// The long-lived components of the service that the reconciliation works on.
// All are owned by the service object; these are references only.
struct TComponentesReconciliacao {
  TFbConnection& IBGestalo;
  TFbTransaction& IB_TransPrincipal;  // read-only, default of the connection
  TFbTransaction& IBTPrincipalRW;     // read-write, automatic commit (QExec)
  TFbQuery& TBEnviaMFEPendentes;
  TFbQuery& TBPadrao;
  TFbQuery& TBMSAut;
  TFbQuery& QExec;
  TIntegradorCliente& IntegradorCliente;
};

class TReconciliacao {
 public:
  // Writes one entry to the service log ("Pagvigia.log").
  using TDoSaveLog = std::function<void(const std::string& msg)>;

  TReconciliacao(const TComponentesReconciliacao& componentes, TDoSaveLog doSaveLog);
  ~TReconciliacao();
  TReconciliacao(const TReconciliacao&) = delete;
  TReconciliacao& operator=(const TReconciliacao&) = delete;

  // Gives the three cursors their SQL text and TBMSAut its column attributes
  // and commit action. Run once after the components are created.
  void ConfigurarConsultas();

  // Processes the current row of TBEnviaMFEPendentes: payment when
  // MFE_IDPAGAMENTO is "0", status of a "TEF" payment whose status is "0",
  // then the fiscal response. Raises on database or Integrador failures.
  void EnviaMFEPendentes();

  // The ASCII digits of `texto`, in order; everything else dropped.
  static std::string ExtraiNumero(std::string_view texto);

  // Submits one payment; returns the Integrador's payment id, negated when the
  // payment was only saved in the Integrador's local storage, 0 when the answer
  // carried none. `valorPagamento` is a fixed-point amount (four decimals).
  std::int64_t EnviaPagamento(std::int32_t codigoPOS, std::int64_t valorPagamento, bool multiplosCartoes,
                              const std::string& codigoEstabelecimento);

  // Reports the card data of a "TEF" payment; true when the answer is "AP".
  bool EnviarStatusPagamento(const std::string& codAutorizacao, const std::string& numBin,
                             const std::string& nomeDonoCartao, const std::string& vencimentoCartao,
                             const std::string& instFinanceira, std::int32_t numParcelas,
                             const std::string& codPagtoTEF, std::int64_t valor, std::int64_t idPagamento,
                             const std::string& tipoBandeira, std::int32_t ultQuatroDig);

  // Ties the payment to the sale's fiscal coupon; returns the fiscal-response
  // id of the answer, whatever its code.
  std::string RespostaFiscal(std::int64_t idPagamento, const std::string& chaveMFE, const std::string& numNSU,
                             const std::string& numAprovacao, const std::string& bandeiraCartao,
                             const std::string& adqCartao, const std::string& xmlCupom, const std::string& numCupom);

  // Last answer of each Integrador method (empty until the first call).
  std::unique_ptr<TRespostaPagamento> RespostaPagamentoMFe;
  std::unique_ptr<TRespostaStatusPagamento> RespostaStatusPagamento;
  std::unique_ptr<TRetornoRespostaFiscal> RetornoRespostaFiscal;

 private:
  void DoSaveLog(const std::string& msg);
  // QExec re-texted with `linhas` (closed and unprepared by the change).
  void TextoQExec(const std::vector<std::string>& linhas);
  void AbrirQExec();

  TComponentesReconciliacao c_;
  TDoSaveLog doSaveLog_;
};

}  // namespace pagvigia
