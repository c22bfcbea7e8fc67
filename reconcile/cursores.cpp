// The cursors of the reconciliation: their SQL, the pending row and the cash
// register's data read from them.
#include <utility>

#include "db/fb_query.h"
#include "reconcile/reconciliacao.h"

namespace pagvigia {

namespace {

std::string Texto(TFbQuery& q, const char* campo) { return q.FieldByName(campo).AsString(); }

// The value `ler` reads, or its failure kept in `erro`.
template <class Ler>
std::string LerGuardandoErro(Ler ler, std::exception_ptr& erro) {
  try {
    return ler();
  } catch (...) {
    erro = std::current_exception();
    return std::string();
  }
}

}  // namespace

void ConfigurarConsultas(TFbQuery& TBEnviaMFEPendentes, TFbQuery& TBTransacaoPendente, TFbQuery& TBPadrao,
                         TFbQuery& TBMSAut) {
  DefinirSQL(TBEnviaMFEPendentes, SqlChavesPendentes());
  DefinirSQL(TBTransacaoPendente, SqlTransacaoPendente());
  DefinirSQL(TBPadrao, kSqlPadrao);
  DefinirSQL(TBMSAut, kSqlMSAut);
  TBMSAut.ColumnAttributes.assign(kColumnAttributesMSAut.begin(), kColumnAttributesMSAut.end());
  TBMSAut.CommitAction = caInvalidateCursor;
}

TTransacaoPendente LerTransacaoPendente(TFbQuery& cursor) {
  TTransacaoPendente t;
  // The key, read whole (the re-read's text is made from it, so only digits
  // ever reach that statement).
  t.IdentificadorInterno = cursor.FieldByName("MFE_IDENTIFICADORINTERNO").AsInt64();
  t.SerialPOS = Texto(cursor, "MFE_SERIALPOS");
  t.CodAutorizacao = Texto(cursor, "MFE_CODAUTORIZACAO");
  t.Bin = Texto(cursor, "MFE_BIN");
  t.DonoCartao = Texto(cursor, "MFE_DONOCARTAO");
  t.Expiracao = Texto(cursor, "MFE_EXPIRACAO");
  t.InstituicaoFinanceira = Texto(cursor, "MFE_INSTITUICAOFINANCEIRA");
  t.Parcelas = cursor.FieldByName("MFE_PARCELAS").AsInteger();
  t.UltQuatroDigitos = cursor.FieldByName("MFE_ULTQUATRODIGITOS").AsInteger();
  t.CodigoPagamento = Texto(cursor, "MFE_CODIGOPAGAMENTO");
  t.ValorPagamento = cursor.FieldByName("MFE_VALORPAGAMENTO").AsCurrency();
  t.IdPagamento = Texto(cursor, "MFE_IDPAGAMENTO");
  t.Tipo = Texto(cursor, "MFE_TIPO");
  t.IdStatusValidador = Texto(cursor, "MFE_IDSTATUSVALIDADOR");
  t.IdRespostaFiscal = Texto(cursor, "MFE_IDRESPOSTAFISCAL");
  t.NumCupom = Texto(cursor, "MFE_NUMCUPOM");
  t.XmlSat = Texto(cursor, "MFE_XMLSAT");
  t.ChaveSat = Texto(cursor, "MFE_CHAVESAT");
  return t;
}

std::optional<TTransacaoPendente> LerTransacaoPendente(TFbQuery& consulta, std::int64_t chave,
                                                     std::int32_t caixa) {
  consulta.Close();
  if (!consulta.Prepared()) consulta.Prepare();
  consulta.ParamByName("CAIXA").SetAsInteger(caixa);
  consulta.ParamByName("MFE_IDENTIFICADORINTERNO").SetAsInt64(chave);
  // The message on one line, then the key.
  const auto ilegivel = [&](const std::string& msg) {
    consulta.Close();
    return ETransacaoIlegivel(msg + " (MFE_IDENTIFICADORINTERNO = " + std::to_string(chave) + ")");
  };
  try {
    consulta.Open();
    std::optional<TTransacaoPendente> linha;
    if (!consulta.Eof()) linha = LerTransacaoPendente(consulta);
    consulta.Close();
    return linha;
  } catch (const EFbISCError& e) {
    if (e.IsLostConnection()) throw;
    throw ilegivel(e.ServerMessageLine());
  } catch (const EFbStatementError& e) {
    // A column whose value does not convert to its field.
    std::string msg = e.what();
    msg.erase(msg.find_last_not_of("\r\n") + 1);
    throw ilegivel(msg);
  }
}

TDadosCaixa TDadosCaixa::Ler(TFbQuery& TBMSAut, TFbQuery& TBPadrao) {
  return Ler([&] { return Texto(TBMSAut, "MFE_CHAVEACESSOINTEGRADOR"); }, [&] { return Texto(TBPadrao, "CGC"); });
}

TDadosCaixa TDadosCaixa::Ler(const std::function<std::string()>& chave, const std::function<std::string()>& cgc) {
  TDadosCaixa d;
  d.FChaveAcessoIntegrador = LerGuardandoErro([&] { return chave(); }, d.FErroChave);
  d.FCNPJ = LerGuardandoErro([&] { return TReconciliacao::ExtraiNumero(cgc()); }, d.FErroCNPJ);
  return d;
}

const std::string& TDadosCaixa::ChaveAcessoIntegrador() const {
  if (FErroChave) std::rethrow_exception(FErroChave);
  return FChaveAcessoIntegrador;
}

const std::string& TDadosCaixa::CNPJ() const {
  if (FErroCNPJ) std::rethrow_exception(FErroCNPJ);
  return FCNPJ;
}

}  // namespace pagvigia
