// Processing of one pending card transaction: payment, payment status of a
// "TEF" payment, fiscal response; each step's id and answer XML written back
// to the row at once.
#include "reconcile/reconciliacao.h"

#include <charconv>
#include <utility>

#include "util/texto.h"
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

}  // namespace

TReconciliacao::TReconciliacao(TReconcileStatements& statements, TIntegradorCalls& integrador,
                               TDoSaveLog doSaveLog)
    : FStatements(statements), FIntegrador(integrador), FDoSaveLog(std::move(doSaveLog)) {}

TReconciliacao::~TReconciliacao() = default;

void TReconciliacao::DoSaveLog(const std::string& msg) {
  if (FDoSaveLog) FDoSaveLog(msg);
}

std::string TReconciliacao::ExtraiNumero(std::string_view texto) { return OnlyNumber(texto); }

// ---------------------------------------------------------------------------

void TReconciliacao::EnviaMFEPendentes(const TTransacaoPendente& linha, const TDadosCaixa& caixa) {
  const std::int64_t IdPagamento = PassoPagamento(linha, caixa);
  PassoStatusPagamento(linha, caixa, IdPagamento);
  PassoRespostaFiscal(linha, caixa, IdPagamento);
}

std::int64_t TReconciliacao::PassoPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa) {
  if (linha.IdPagamento != kNaoFeito) return TextoParaInt64(linha.IdPagamento);
  const std::int32_t CodigoPOS = FStatements.CodigoPOSPorSerial(linha.SerialPOS);
  const std::int64_t IdPagamento = EnviaPagamento(caixa, CodigoPOS, linha.ValorPagamento, false, std::string());
  if (IdPagamento > 0)
    FStatements.AtualizaPagamento(linha.IdentificadorInterno, std::to_string(IdPagamento), RespostaPagamentoMFe->XML);
  return IdPagamento;
}

// Only a payment made through the cash register's own card integration has
// its status reported, once.
void TReconciliacao::PassoStatusPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa,
                                          std::int64_t IdPagamento) {
  if (linha.SerialPOS != kSerialTEF || linha.IdStatusValidador != kNaoFeito || IdPagamento <= 0) return;
  if (!EnviarStatusPagamento(caixa, linha, IdPagamento)) return;
  FStatements.AtualizaStatusValidador(linha.IdentificadorInterno,
                                      std::to_string(RespostaStatusPagamento->IntegradorResposta.Identificador),
                                      RespostaStatusPagamento->XML);
}

// The row as committed now decides whether a "TEF" payment has its status
// recorded (in this pass or an earlier one).
void TReconciliacao::PassoRespostaFiscal(const TTransacaoPendente& linha, const TDadosCaixa& caixa,
                                         std::int64_t IdPagamento) {
  const TTransacaoRelida relida = FStatements.RelerTransacao(linha.IdentificadorInterno);
  if (IdPagamento <= 0 || (relida.SerialPOS == kSerialTEF && relida.IdStatusValidador == kNaoFeito)) return;
  const std::string IdRespostaFiscal = RespostaFiscal(caixa, linha, IdPagamento);
  if (RetornoRespostaFiscal->IntegradorResposta.Codigo != kAprovado) return;
  FStatements.AtualizaRespostaFiscal(linha.IdentificadorInterno, IdRespostaFiscal, RetornoRespostaFiscal->XML);
}

// ---------------------------------------------------------------------------

std::int64_t TReconciliacao::EnviaPagamento(const TDadosCaixa& caixa, std::int32_t codigoPOS,
                                            std::int64_t valorPagamento, bool multiplosCartoes,
                                            const std::string& codigoEstabelecimento) {
  std::string MFE_Serial, MFE_ChaveRequisicao, MFE_CodigoEstabelecimento;
  const std::string& chaveAcesso = caixa.ChaveAcessoIntegrador();
  if (codigoPOS != 0) {
    TTerminalPOS pos = FStatements.POSPorCodigo(codigoPOS);
    MFE_Serial = std::move(pos.SerialPOS);
    MFE_ChaveRequisicao = std::move(pos.ChaveRequisicao);
    MFE_CodigoEstabelecimento = ExtraiNumero(pos.CodigoEstabelecimento);
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
  PagamentoMFe.CNPJ = caixa.CNPJ();
  PagamentoMFe.IcmsBase = 0;
  PagamentoMFe.ValorTotalVenda = static_cast<double>(valorPagamento) / 10000.0;
  PagamentoMFe.HabilitarMultiplosPagamentos = multiplosCartoes;
  PagamentoMFe.HabilitarControleAntiFraude = false;
  PagamentoMFe.CodigoMoeda = "BRL";
  PagamentoMFe.EmitirCupomNFCE = false;
  PagamentoMFe.OrigemPagamento.clear();

  RespostaPagamentoMFe = FIntegrador.EnviarPagamento(PagamentoMFe);

  const std::int64_t id = RespostaPagamentoMFe->IDPagamento;
  const std::int64_t resultado = RespostaPagamentoMFe->StatusPagamento == kSalvoLocal ? -id : id;
  if (RespostaPagamentoMFe->IntegradorResposta.Codigo != kAprovado)
    DoSaveLog("Pagamento MFE: " + PagamentoMFe.AsXMLString());
  return resultado;
}

bool TReconciliacao::EnviarStatusPagamento(const TDadosCaixa& caixa, const TTransacaoPendente& linha,
                                           std::int64_t idPagamento) {
  TStatusPagamento StatusPagamentoMFe;
  StatusPagamentoMFe.Clear();
  StatusPagamentoMFe.ChaveAcessoValidador = caixa.ChaveAcessoIntegrador();
  StatusPagamentoMFe.CodigoAutorizacao = linha.CodAutorizacao;
  StatusPagamentoMFe.Bin = linha.Bin;
  StatusPagamentoMFe.DonoCartao = linha.DonoCartao;
  StatusPagamentoMFe.DataExpiracao = linha.Expiracao;
  StatusPagamentoMFe.InstituicaoFinanceira = linha.InstituicaoFinanceira;
  StatusPagamentoMFe.Parcelas = linha.Parcelas;
  // The authorisation code again, not MFE_CODIGOPAGAMENTO.
  StatusPagamentoMFe.CodigoPagamento = linha.CodAutorizacao;
  StatusPagamentoMFe.ValorPagamento = static_cast<double>(linha.ValorPagamento) / 10000.0;
  StatusPagamentoMFe.IDFila = Baixos32(idPagamento);
  StatusPagamentoMFe.Tipo = linha.Tipo;
  StatusPagamentoMFe.UltimosQuatroDigitos = linha.UltQuatroDigitos;

  RespostaStatusPagamento = FIntegrador.EnviarStatusPagamento(StatusPagamentoMFe);

  const bool ok = RespostaStatusPagamento->IntegradorResposta.Codigo == kAprovado;
  if (!ok) DoSaveLog("Status Pagamento: " + StatusPagamentoMFe.AsXMLString());
  return ok;
}

std::string TReconciliacao::RespostaFiscal(const TDadosCaixa& caixa, const TTransacaoPendente& linha,
                                           std::int64_t idPagamento) {
  TRespostaFiscal Pedido;
  Pedido.Clear();
  Pedido.ChaveAcessoValidador = caixa.ChaveAcessoIntegrador();
  Pedido.IDFila = Baixos32(idPagamento);
  Pedido.ChaveAcesso = linha.ChaveSat;
  Pedido.Nsu = linha.CodAutorizacao;
  Pedido.NumerodeAprovacao = linha.CodigoPagamento;
  Pedido.Bandeira = linha.Tipo;
  Pedido.Adquirente = linha.InstituicaoFinanceira;
  Pedido.ImpressaoFiscal = linha.XmlSat;
  Pedido.NumeroDocumento = linha.NumCupom;
  Pedido.CNPJ = caixa.CNPJ();

  RetornoRespostaFiscal = FIntegrador.RespostaFiscal(Pedido);

  const std::string resultado = RetornoRespostaFiscal->IdRespostaFiscal;
  if (RetornoRespostaFiscal->IntegradorResposta.Codigo != kAprovado)
    DoSaveLog("Resposta Fiscal: " + Pedido.AsXMLString());
  return resultado;
}

}  // namespace pagvigia
