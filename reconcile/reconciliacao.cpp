// Processing of one pending card transaction: payment, payment status of a
// "TEF" payment, fiscal response; each step's id and answer written back to
// the row at once.
#include "reconcile/reconciliacao.h"

#include <charconv>
#include <utility>

#include "db/fb_query.h"
#include "integrador/integrador_cliente.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {

namespace {

constexpr const char* kSerialTEF = "TEF";
constexpr const char* kNaoFeito = "0";
constexpr const char* kSalvoLocal = "SalvoEmArmazenamentoLocal";
constexpr const char* kAprovado = "AP";

// The text as a 64-bit decimal integer (optional sign), or 0 when it is not one.
std::int64_t TextoParaInt64(const std::string& texto) {
  std::int64_t v = 0;
  const char* b = texto.data();
  const char* e = b + texto.size();
  if (b != e && *b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, v);
  if (b == e || ec != std::errc() || p != e) return 0;
  return v;
}

// Low 32 bits of a 64-bit number, read as a signed 32-bit number.
std::int32_t Baixos32(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

template <class Linhas>
void DefinirSQL(TFbQuery& q, const Linhas& linhas) {
  q.SQL().Clear();
  for (const auto& l : linhas) q.SQL().Add(std::string(l));
}

std::string Texto(TFbQuery& q, const char* campo) { return q.FieldByName(campo).AsString(); }
std::int32_t Inteiro(TFbQuery& q, const char* campo) { return q.FieldByName(campo).AsInteger(); }
std::int64_t Moeda(TFbQuery& q, const char* campo) { return q.FieldByName(campo).AsCurrency(); }

// Runs one of the three updates through QExec: an id and an answer XML for
// the row `idInterno`. Committed by the automatic commit of QExec's
// transaction. An id that does not fit its column raises instead of being
// stored cut: a cut id would mark the step done with a wrong id.
void Atualizar(TFbQuery& QExec, const std::vector<std::string>& linhas, const char* paramId, const std::string& id,
               const char* paramXml, const std::string& xml, std::int64_t idInterno) {
  DefinirSQL(QExec, linhas);
  QExec.Prepare();
  TFbRow& params = QExec.Params();
  params.BeginUpdate();
  TFbColumn& pid = params.ParamByName(paramId);
  pid.NoLengthCheck = false;
  pid.SetAsString(id);
  params.ParamByName(paramXml).SetAsString(xml);
  params.ParamByName("INDENTIFICADORINTERNO").SetAsInt64(idInterno);
  params.EndUpdate(true);
  QExec.ExecSQL();
}

}  // namespace

TReconciliacao::TReconciliacao(const TComponentesReconciliacao& componentes, TDoSaveLog doSaveLog)
    : c_(componentes), doSaveLog_(std::move(doSaveLog)) {}

TReconciliacao::~TReconciliacao() = default;

void TReconciliacao::DoSaveLog(const std::string& msg) {
  if (doSaveLog_) doSaveLog_(msg);
}

void TReconciliacao::ConfigurarConsultas() {
  DefinirSQL(c_.TBEnviaMFEPendentes, kSqlEnviaMFEPendentes);
  DefinirSQL(c_.TBPadrao, kSqlPadrao);
  DefinirSQL(c_.TBMSAut, kSqlMSAut);
  c_.TBMSAut.ColumnAttributes.assign(kColumnAttributesMSAut.begin(), kColumnAttributesMSAut.end());
  c_.TBMSAut.CommitAction = caInvalidateCursor;
}

void TReconciliacao::TextoQExec(const std::vector<std::string>& linhas) { DefinirSQL(c_.QExec, linhas); }

void TReconciliacao::AbrirQExec() { c_.QExec.Open(); }

// ---------------------------------------------------------------------------

void TReconciliacao::EnviaMFEPendentes() {
  TFbQuery& tb = c_.TBEnviaMFEPendentes;
  // The key, read whole (the re-read's text is made from it, so only digits
  // ever reach that statement).
  const std::int64_t idInterno = tb.FieldByName("MFE_IDENTIFICADORINTERNO").AsInt64();
  const std::string serialPOS = Texto(tb, "MFE_SERIALPOS");
  const std::string idPagamentoLinha = Texto(tb, "MFE_IDPAGAMENTO");

  // Step 1, payment.
  std::int64_t IdPagamento = 0;
  if (idPagamentoLinha != kNaoFeito) {
    IdPagamento = TextoParaInt64(idPagamentoLinha);
  } else {
    TextoQExec(SqlPOSPorSerial(serialPOS));
    AbrirQExec();
    const std::int32_t CodigoPOS = c_.QExec.Eof() ? 0 : Inteiro(c_.QExec, "CODIGO");
    IdPagamento = EnviaPagamento(CodigoPOS, Moeda(tb, "MFE_VALORPAGAMENTO"), false, std::string());
    if (IdPagamento > 0)
      Atualizar(c_.QExec, SqlAtualizaPagamento(), "IDPAGAMENTO", std::to_string(IdPagamento), "XMLENVIARPAGAMENTO",
                RespostaPagamentoMFe->XML, idInterno);
  }

  // Step 2, payment status of a payment made through the cash register's own
  // card integration.
  if (serialPOS == kSerialTEF && Texto(tb, "MFE_IDSTATUSVALIDADOR") == kNaoFeito && IdPagamento > 0) {
    const std::string codAutorizacao = Texto(tb, "MFE_CODAUTORIZACAO");
    const bool ok = EnviarStatusPagamento(codAutorizacao, Texto(tb, "MFE_BIN"), Texto(tb, "MFE_DONOCARTAO"),
                                          Texto(tb, "MFE_EXPIRACAO"), Texto(tb, "MFE_INSTITUICAOFINANCEIRA"),
                                          Inteiro(tb, "MFE_PARCELAS"), codAutorizacao,
                                          Moeda(tb, "MFE_VALORPAGAMENTO"), IdPagamento, Texto(tb, "MFE_TIPO"),
                                          Inteiro(tb, "MFE_ULTQUATRODIGITOS"));
    if (ok)
      Atualizar(c_.QExec, SqlAtualizaStatusValidador(), "IDSTATUSVALIDADOR",
                std::to_string(RespostaStatusPagamento->IntegradorResposta.Identificador), "XMLSTATUSVALIDADOR",
                RespostaStatusPagamento->XML, idInterno);
  }

  // Step 3, fiscal response: the row as committed now decides whether a "TEF"
  // payment has its status recorded.
  TextoQExec(SqlRelerTransacao(std::to_string(idInterno)));
  AbrirQExec();
  const std::string serialRelido = Texto(c_.QExec, "MFE_SERIALPOS");
  const std::string statusRelido = Texto(c_.QExec, "MFE_IDSTATUSVALIDADOR");
  if (IdPagamento > 0 && (serialRelido != kSerialTEF || statusRelido != kNaoFeito)) {
    const std::string IdRespostaFiscal =
        RespostaFiscal(IdPagamento, Texto(tb, "MFE_CHAVESAT"), Texto(tb, "MFE_CODAUTORIZACAO"),
                       Texto(tb, "MFE_CODIGOPAGAMENTO"), Texto(tb, "MFE_TIPO"), Texto(tb, "MFE_INSTITUICAOFINANCEIRA"),
                       Texto(tb, "MFE_XMLSAT"), Texto(tb, "MFE_NUMCUPOM"));
    if (RetornoRespostaFiscal->IntegradorResposta.Codigo == kAprovado)
      Atualizar(c_.QExec, SqlAtualizaRespostaFiscal(), "IDRESPOSTAFISCAL", IdRespostaFiscal, "XMLRESPOSTAFISCAL",
                RetornoRespostaFiscal->XML, idInterno);
  }
}

std::int64_t TReconciliacao::EnviaPagamento(std::int32_t codigoPOS, std::int64_t valorPagamento,
                                            bool multiplosCartoes, const std::string& codigoEstabelecimento) {
  std::string MFE_Serial, MFE_ChaveRequisicao, MFE_CodigoEstabelecimento;
  const std::string chaveAcesso = Texto(c_.TBMSAut, "MFE_CHAVEACESSOINTEGRADOR");
  if (codigoPOS != 0) {
    TextoQExec(SqlPOSPorCodigo(codigoPOS));
    AbrirQExec();
    MFE_Serial = Texto(c_.QExec, "MFE_SERIALPOS");
    MFE_ChaveRequisicao = Texto(c_.QExec, "MFE_CHAVEREQUISICAO");
    MFE_CodigoEstabelecimento = ExtraiNumero(Texto(c_.QExec, "CODIGOESTABELECIMENTO"));
  } else {
    MFE_Serial = kSerialTEF;
    MFE_ChaveRequisicao = chaveAcesso;
    MFE_CodigoEstabelecimento = ExtraiNumero(codigoEstabelecimento);
  }

  TEnviarPagamento PagamentoMFe;
  PagamentoMFe.Clear();
  PagamentoMFe.ChaveAcessoValidador = chaveAcesso;
  PagamentoMFe.ChaveRequisicao = MFE_ChaveRequisicao;
  PagamentoMFe.Estabelecimento = MFE_CodigoEstabelecimento;
  PagamentoMFe.SerialPOS = MFE_Serial;
  PagamentoMFe.CNPJ = ExtraiNumero(Texto(c_.TBPadrao, "CGC"));
  PagamentoMFe.IcmsBase = 0;
  PagamentoMFe.ValorTotalVenda = static_cast<double>(valorPagamento) / 10000.0;
  PagamentoMFe.HabilitarMultiplosPagamentos = multiplosCartoes;
  PagamentoMFe.HabilitarControleAntiFraude = false;
  PagamentoMFe.CodigoMoeda = "BRL";
  PagamentoMFe.EmitirCupomNFCE = false;
  PagamentoMFe.OrigemPagamento.clear();

  RespostaPagamentoMFe = c_.IntegradorCliente.EnviarPagamento(PagamentoMFe);

  const std::int64_t id = RespostaPagamentoMFe->IDPagamento;
  const std::int64_t resultado = RespostaPagamentoMFe->StatusPagamento == kSalvoLocal ? -id : id;
  if (RespostaPagamentoMFe->IntegradorResposta.Codigo != kAprovado)
    DoSaveLog("Pagamento MFE: " + PagamentoMFe.AsXMLString());
  return resultado;
}

bool TReconciliacao::EnviarStatusPagamento(const std::string& codAutorizacao, const std::string& numBin,
                                           const std::string& nomeDonoCartao, const std::string& vencimentoCartao,
                                           const std::string& instFinanceira, std::int32_t numParcelas,
                                           const std::string& codPagtoTEF, std::int64_t valor,
                                           std::int64_t idPagamento, const std::string& tipoBandeira,
                                           std::int32_t ultQuatroDig) {
  TStatusPagamento StatusPagamentoMFe;
  StatusPagamentoMFe.Clear();
  StatusPagamentoMFe.ChaveAcessoValidador = Texto(c_.TBMSAut, "MFE_CHAVEACESSOINTEGRADOR");
  StatusPagamentoMFe.CodigoAutorizacao = codAutorizacao;
  StatusPagamentoMFe.Bin = numBin;
  StatusPagamentoMFe.DonoCartao = nomeDonoCartao;
  StatusPagamentoMFe.DataExpiracao = vencimentoCartao;
  StatusPagamentoMFe.InstituicaoFinanceira = instFinanceira;
  StatusPagamentoMFe.Parcelas = numParcelas;
  StatusPagamentoMFe.CodigoPagamento = codPagtoTEF;
  StatusPagamentoMFe.ValorPagamento = static_cast<double>(valor) / 10000.0;
  StatusPagamentoMFe.IDFila = Baixos32(idPagamento);
  StatusPagamentoMFe.Tipo = tipoBandeira;
  StatusPagamentoMFe.UltimosQuatroDigitos = ultQuatroDig;

  RespostaStatusPagamento = c_.IntegradorCliente.EnviarStatusPagamento(StatusPagamentoMFe);

  const bool ok = RespostaStatusPagamento->IntegradorResposta.Codigo == kAprovado;
  if (!ok) DoSaveLog("Status Pagamento: " + StatusPagamentoMFe.AsXMLString());
  return ok;
}

std::string TReconciliacao::RespostaFiscal(std::int64_t idPagamento, const std::string& chaveMFE,
                                           const std::string& numNSU, const std::string& numAprovacao,
                                           const std::string& bandeiraCartao, const std::string& adqCartao,
                                           const std::string& xmlCupom, const std::string& numCupom) {
  TRespostaFiscal Pedido;
  Pedido.Clear();
  Pedido.ChaveAcessoValidador = Texto(c_.TBMSAut, "MFE_CHAVEACESSOINTEGRADOR");
  Pedido.IDFila = Baixos32(idPagamento);
  Pedido.ChaveAcesso = chaveMFE;
  Pedido.Nsu = numNSU;
  Pedido.NumerodeAprovacao = numAprovacao;
  Pedido.Bandeira = bandeiraCartao;
  Pedido.Adquirente = adqCartao;
  Pedido.ImpressaoFiscal = xmlCupom;
  Pedido.NumeroDocumento = numCupom;
  Pedido.CNPJ = ExtraiNumero(Texto(c_.TBPadrao, "CGC"));

  RetornoRespostaFiscal = c_.IntegradorCliente.RespostaFiscal(Pedido);

  const std::string resultado = RetornoRespostaFiscal->IdRespostaFiscal;
  if (RetornoRespostaFiscal->IntegradorResposta.Codigo != kAprovado)
    DoSaveLog("Resposta Fiscal: " + Pedido.AsXMLString());
  return resultado;
}

}  // namespace pagvigia
