// Processing of one pending card transaction: payment, payment status of a
// "TEF" payment, fiscal response; each step's id and answer XML written back
// to the row at once.
#include "reconcile/reconciliacao.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <utility>

#include "db/fb_errors.h"
#include "util/texto.h"
#include "vfpe/vfpe_records.h"

namespace pagvigia {

namespace {

constexpr const char* kSerialTEF = "TEF";
constexpr const char* kNaoFeito = "0";
constexpr const char* kSalvoLocal = "SalvoEmArmazenamentoLocal";
constexpr const char* kAprovado = "AP";

// An error for the log's one line: a database error as the server's message.
std::string MensagemDe(const std::exception& e) {
  if (const auto* isc = dynamic_cast<const EFbISCError*>(&e)) return isc->ServerMessageLine();
  return e.what();
}

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

// One step's claim on its row: taken on construction, given up when the
// step leaves without committing it (an answer not to be recorded, a
// failure); after Confirmar, giving it up does nothing.
class TReservaEtapa {
 public:
  TReservaEtapa(TReconcileStatements& s, std::int64_t idInterno)
      : FStatements(s), FResultado(s.Reservar(idInterno, FIds)) {}
  ~TReservaEtapa() {
    if (FResultado == rrReservada) FStatements.Liberar();
  }
  TReservaEtapa(const TReservaEtapa&) = delete;
  TReservaEtapa& operator=(const TReservaEtapa&) = delete;

  TResultadoReserva Resultado() const { return FResultado; }
  bool Reservada() const { return FResultado == rrReservada; }
  // The row's ids as committed when the claim was taken.
  const TIdsLinha& Ids() const { return FIds; }

 private:
  TReconcileStatements& FStatements;
  TIdsLinha FIds;
  TResultadoReserva FResultado;
};

const std::string& IdDaEtapa(const TIdsLinha& ids, TEtapa etapa) {
  switch (etapa) {
    case etPagamento: return ids.IdPagamento;
    case etStatusPagamento: return ids.IdStatusValidador;
    case etRespostaFiscal: break;
  }
  return ids.IdRespostaFiscal;
}

// The local time as YYYYMMDDHHMMSS.
std::string Carimbo(platform::Clock& relogio) {
  const platform::DateTime t = relogio.LocalNow();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

// The log line's words for a send: "row 7 MFE_IDPAGAMENTO, session 4021".
std::string Envio(const TEntradaDiario& e) {
  return "row " + std::to_string(e.IdInterno) + " " + std::string(ColunaDaEtapa(e.Etapa)) + ", session " +
         std::to_string(e.Sessao);
}

}  // namespace

TReconciliacao::TReconciliacao(TReconcileStatements& statements, TIntegradorCalls& integrador, TDiario& diario,
                               TDoSaveLog doSaveLog)
    : FStatements(statements), FIntegrador(integrador), FDiario(diario), FDoSaveLog(std::move(doSaveLog)) {}

TReconciliacao::~TReconciliacao() = default;

void TReconciliacao::DoSaveLog(const std::string& msg) {
  if (FDoSaveLog) FDoSaveLog(msg);
}

std::string TReconciliacao::ExtraiNumero(std::string_view texto) { return OnlyNumber(texto); }

// ---------------------------------------------------------------------------

bool TReconciliacao::PrepararCiclo() {
  for (bool& a : FAvisado) a = false;
  try {
    FDiario.Carregar();
  } catch (const EDiarioIlegivel& e) {
    DoSaveLog(std::string("Envios Pendentes: ") + e.what() +
              "; nothing is sent until it is repaired or removed");
    return false;
  }
  FTamanhos = FStatements.TamanhosColunasId();
  FTabelaEnvios = FStatements.TabelaEnvios();
  FAvisadasOutro.clear();
  AplicarDiario();
  return true;
}

void TReconciliacao::AplicarDiario() {
  const std::vector<TEntradaDiario> entradas = FDiario.Entradas();
  for (const TEntradaDiario& e : entradas) {
    if (e.Enviando) continue;
    const std::string onde = "row " + std::to_string(e.IdInterno) + " " + std::string(ColunaDaEtapa(e.Etapa));
    try {
      TReservaEtapa reserva(FStatements, e.IdInterno);
      // Another instance holds the row: the entry waits for the next cycle,
      // and the row is not sent meanwhile.
      if (reserva.Resultado() == rrOutraInstancia) continue;
      if (reserva.Resultado() == rrLinhaAusente) {
        FDiario.Remover(e.IdInterno, e.Etapa);
        DoSaveLog("Envios Pendentes: journal: " + onde + ": the row no longer exists; the id \"" + e.Id +
                  "\" kept for it is dropped");
        continue;
      }
      const std::string& atual = IdDaEtapa(reserva.Ids(), e.Etapa);
      if (atual != kNaoFeito) {
        FStatements.Liberar();
        FDiario.Remover(e.IdInterno, e.Etapa);
        DoSaveLog("Envios Pendentes: journal: " + onde + " already holds \"" + atual + "\"; the id \"" + e.Id +
                  "\" kept for it is dropped");
        continue;
      }
      Registrar(e);
    } catch (const std::exception& ex) {
      // The entry stays for the next cycle; its row is not sent meanwhile.
      DoSaveLog(std::string("Envios Pendentes: ") + MensagemDe(ex));
    }
  }
  for (const TEntradaDiario& e : entradas) {
    if (!e.Enviando) continue;
    try {
      AcertarEnvio(e);
    } catch (const std::exception& ex) {
      // The send stays unfinished; its row is not sent meanwhile.
      DoSaveLog(std::string("Envios Pendentes: ") + MensagemDe(ex));
    }
  }
}

void TReconciliacao::AcertarEnvio(const TEntradaDiario& e) {
  TReservaEtapa reserva(FStatements, e.IdInterno);
  // Another instance holds the row: settled in a later cycle.
  if (reserva.Resultado() == rrOutraInstancia) return;
  if (reserva.Resultado() == rrLinhaAusente) {
    FIntegrador.RetirarComando(e.ArquivoComando);
    if (FTabelaEnvios) FStatements.ApagarEnvio(e.IdInterno, e.Etapa);
    FDiario.Remover(e.IdInterno, e.Etapa);
    DoSaveLog("Envios Pendentes: unfinished send of " + Envio(e) + ": the row no longer exists; dropped");
    return;
  }
  const std::string& atual = IdDaEtapa(reserva.Ids(), e.Etapa);
 if (atual != kNaoFeito) {
    ConcluirSemRegistro(e.IdInterno, e.Etapa);
    DoSaveLog("Envios Pendentes: unfinished send of " + Envio(e) + ": the row already holds \"" + atual +
              "\"; dropped");
    return;
  }
  if (auto resposta = FIntegrador.RespostaAtrasada(e.Sessao)) {
    RegistrarRespostaAtrasada(e, *resposta, "late answer");
    return;
  }
  if (FIntegrador.RetirarComando(e.ArquivoComando)) {
    ConcluirSemRegistro(e.IdInterno, e.Etapa);
    DoSaveLog("Envios Pendentes: unfinished send of " + Envio(e) +
              ": the Integrador never took its command, withdrawn; the step may be sent again");
    return;
  }
  std::optional<std::string> guardada;
  try {
    guardada = FIntegrador.ConsultarSessao(e.Sessao);
  } catch (const std::exception& ex) {
    DoSaveLog("Envios Pendentes: unfinished send of " + Envio(e) + " since " + e.Desde +
              ": the Integrador took its command but did not say what became of it (" + ex.what() +
              "); nothing is sent for this row until it does");
    return;
  }
  if (!guardada) {
    ConcluirSemRegistro(e.IdInterno, e.Etapa);
    DoSaveLog("Envios Pendentes: unfinished send of " + Envio(e) +
              ": the Integrador never saw the session; the step may be sent again");
    return;
  }
  RegistrarRespostaAtrasada(e, *guardada, "answer kept by the Integrador");
}

void TReconciliacao::RegistrarRespostaAtrasada(const TEntradaDiario& e, const std::string& resposta,
                                               const std::string& origem) {
  std::string id;
  std::string xml;
  std::string codigo;
  switch (e.Etapa) {
    case etPagamento: {
      auto r = std::make_unique<TRespostaPagamento>();
      r->SetXMLString(resposta);
      const std::int64_t idPagamento = IdDoPagamento(*r);
      if (idPagamento > 0) id = std::to_string(idPagamento);
      codigo = r->IntegradorResposta.Codigo;
      xml = r->XML;
      RespostaPagamentoMFe = std::move(r);
      break;
    }
    case etStatusPagamento: {
      auto r = std::make_unique<TRespostaStatusPagamento>();
      r->SetXMLString(resposta);
      codigo = r->IntegradorResposta.Codigo;
      if (codigo == kAprovado) id = std::to_string(r->IntegradorResposta.Identificador);
      xml = r->XML;
      RespostaStatusPagamento = std::move(r);
      break;
    }
    case etRespostaFiscal: {
      auto r = std::make_unique<TRetornoRespostaFiscal>();
      r->SetXMLString(resposta);
      codigo = r->IntegradorResposta.Codigo;
      xml = r->XML;
      const bool aprovada = codigo == kAprovado;
      if (aprovada) id = r->IdRespostaFiscal;
      RetornoRespostaFiscal = std::move(r);
      if (aprovada) {
        DoSaveLog("Envios Pendentes: " + origem + " of " + Envio(e) + " recorded: id \"" + id + "\"");
        Registrar({e.IdInterno, e.Etapa, id, xml});
        return;
      }
      break;
    }
  }
  if (id.empty()) {
    // The same as an answer in time with nothing to record: the step is free.
    ConcluirSemRegistro(e.IdInterno, e.Etapa);
    DoSaveLog("Envios Pendentes: " + origem + " of " + Envio(e) + " (code \"" + codigo +
              "\") holds no id to record; the step may be sent again");
    return;
  }
  DoSaveLog("Envios Pendentes: " + origem + " of " + Envio(e) + " recorded: id \"" + id + "\"");
  Registrar({e.IdInterno, e.Etapa, id, xml});
}

template <class F>
auto TReconciliacao::Enviar(std::int64_t idInterno, TEtapa etapa, F&& chamada) {
  FIntegrador.SetAoPublicar([this, idInterno, etapa](std::int32_t sessao, const std::string& arquivo) {
    // A re-send under a new name keeps the time of the first.
    const TEntradaDiario* atual = FDiario.Entrada(idInterno, etapa);
    const bool reenvio = atual && atual->Enviando && atual->Sessao == sessao;
    std::string desde = reenvio ? atual->Desde : Carimbo(*FRelogio);
    FDiario.Gravar(EnvioPendente(idInterno, etapa, sessao, arquivo, std::move(desde)));
    if (!FTabelaEnvios || reenvio) return;
    try {
      FStatements.InserirEnvio(FCaixa, idInterno, etapa, sessao);
    } catch (...) {
      // Not published: nothing is left to settle.
      try {
        FDiario.Remover(idInterno, etapa);
      } catch (...) {
      }
      throw;
    }
  });
  struct TFim {
    TIntegradorCalls& i;
    ~TFim() { i.SetAoPublicar({}); }
  } fim{FIntegrador};
  try {
    return chamada();
  } catch (...) {
    // A command the Integrador never took leaves nothing to settle; any
    // other failure after the publish leaves the send unfinished, settled
    // next cycle. (A failure before any publish left no entry.)
    const TEntradaDiario* envio = FDiario.Entrada(idInterno, etapa);
    if (envio && envio->Enviando && FIntegrador.ComandoRetirado()) {
      try {
        ConcluirSemRegistro(idInterno, etapa);
      } catch (...) {
      }
    }
    throw;
  }
}

void TReconciliacao::EnvioConcluido(std::int64_t idInterno, TEtapa etapa) {
  const TEntradaDiario* e = FDiario.Entrada(idInterno, etapa);
  if (e && e->Enviando) ConcluirSemRegistro(idInterno, etapa);
}

void TReconciliacao::ConcluirSemRegistro(std::int64_t idInterno, TEtapa etapa) {
  if (FTabelaEnvios) {
    FStatements.ApagarEnvio(idInterno, etapa);
    FStatements.Confirmar();
  } else {
    FStatements.Liberar();
  }
  FDiario.Remover(idInterno, etapa);
}

bool TReconciliacao::EnvioDeOutro(std::int64_t idInterno) {
  if (!FTabelaEnvios) return false;
  const std::vector<TEnvioListado> envios = FStatements.EnviosDaLinha(idInterno);
  if (envios.empty()) return false;
  if (std::find(FAvisadasOutro.begin(), FAvisadasOutro.end(), idInterno) == FAvisadasOutro.end()) {
    FAvisadasOutro.push_back(idInterno);
    const TEnvioListado& e = envios.front();
    DoSaveLog("Envios Pendentes: row " + std::to_string(idInterno) + " " + e.Coluna + " was sent by register " +
              std::to_string(e.Caixa) + " (session " + std::to_string(e.Sessao) + ", since " + e.Desde +
              ") and is not settled yet (" + kTabelaEnvios + "); nothing is sent for the row until that register "
              "settles it");
  }
  return true;
}

std::int64_t TReconciliacao::IdDoPagamento(const TRespostaPagamento& resposta) {
  const std::int64_t id = resposta.IDPagamento;
  return resposta.StatusPagamento == kSalvoLocal ? -id : id;
}

bool TReconciliacao::ColunaCurta(TEtapa etapa) {
  const auto aviso = AvisoColunaCurta(etapa, FTamanhos);
  if (!aviso) return false;
  if (!FAvisado[etapa]) {
    FAvisado[etapa] = true;
    DoSaveLog(*aviso);
  }
  return true;
}

void TReconciliacao::Atualizar(const TEntradaDiario& e) {
  bool substituido = false;
  switch (e.Etapa) {
    case etPagamento: substituido = FStatements.AtualizaPagamento(e.IdInterno, e.Id, e.XML); break;
    case etStatusPagamento: substituido = FStatements.AtualizaStatusValidador(e.IdInterno, e.Id, e.XML); break;
    case etRespostaFiscal: substituido = FStatements.AtualizaRespostaFiscal(e.IdInterno, e.Id, e.XML); break;
  }
  // The id is recorded whatever the answer's text holds; what its column
  // cannot hold is said once.
  if (substituido)
    DoSaveLog("Envios Pendentes: row " + std::to_string(e.IdInterno) + " " + std::string(ColunaDaEtapa(e.Etapa)) +
              ": characters of the answer that the row's columns cannot hold were written as \"?\"");
}

bool TReconciliacao::Registrar(const TEntradaDiario& entrada) {
  // The journal first: should the update or its commit not happen (a lost
  // connection, a killed process), the next cycle records what it holds.
  std::exception_ptr erroDiario;
  try {
    FDiario.Gravar(entrada);
  } catch (...) {
    erroDiario = std::current_exception();
  }
  if (const auto aviso = AvisoIdNaoCabe(entrada, FTamanhos)) {
    FStatements.Liberar();
    if (erroDiario) std::rethrow_exception(erroDiario);
    DoSaveLog(*aviso);
    return false;
  }
  // A journal that cannot be written (a full disk) does not hold the update
  // back: the row is the record that matters, and once it is committed the
  // entry would have gone anyway. Only when the update fails too is the id
  // lost (as it was before there was a journal).
  Atualizar(entrada);
  if (FTabelaEnvios) FStatements.ApagarEnvio(entrada.IdInterno, entrada.Etapa);
  FStatements.Confirmar();
  if (!erroDiario) FDiario.Remover(entrada.IdInterno, entrada.Etapa);
  return true;
}

// ---------------------------------------------------------------------------

void TReconciliacao::EnviaMFEPendentes(const TTransacaoPendente& linha, const TDadosCaixa& caixa) {
  FInterrompida = false;
  // Without the journal read whole no row can be told safe to send.
  if (!FDiario.Legivel()) throw EDiarioIlegivel("journal \"" + FDiario.Arquivo() + "\" has not been read whole");
  // An id the Integrador gave for this row waits in the journal: nothing is
  // sent for the row until it is recorded.
  if (FDiario.TemEntrada(linha.IdentificadorInterno)) return;
  std::int64_t IdPagamento = 0;
  // Each step is committed by itself, so a stop between two steps loses
  // nothing: the row stays pending from the step not yet taken.
  if (!PassoPagamento(linha, caixa, IdPagamento) || Parar()) return;
  if (!PassoStatusPagamento(linha, caixa, IdPagamento) || Parar()) return;
  PassoRespostaFiscal(linha, caixa, IdPagamento);
}

bool TReconciliacao::Parar() {
  if (FPedidoParada && FPedidoParada()) FInterrompida = true;
  return FInterrompida;
}

bool TReconciliacao::PassoPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa,
                                    std::int64_t& IdPagamento) {
  if (linha.IdPagamento != kNaoFeito) {
    IdPagamento = TextoParaInt64(linha.IdPagamento);
    return true;
  }
  if (ColunaCurta(etPagamento)) return false;
  TReservaEtapa reserva(FStatements, linha.IdentificadorInterno);
  if (!reserva.Reservada() || EnvioDeOutro(linha.IdentificadorInterno)) return false;
  if (reserva.Ids().IdPagamento != kNaoFeito) {
    // Another instance recorded the payment since the row was selected.
    IdPagamento = TextoParaInt64(reserva.Ids().IdPagamento);
    return true;
  }
  const std::int32_t CodigoPOS = FStatements.CodigoPOSPorSerial(linha.SerialPOS);
  FAdiarLinhaPagamento = true;
  try {
    IdPagamento = Enviar(linha.IdentificadorInterno, etPagamento, [&] {
      return EnviaPagamento(caixa, CodigoPOS, linha.ValorPagamento, false, std::string());
    });
  } catch (...) {
    FAdiarLinhaPagamento = false;
    throw;
  }
  FAdiarLinhaPagamento = false;
  if (IdPagamento <= 0) {
    EnvioConcluido(linha.IdentificadorInterno, etPagamento);
    return true;
  }
  // A payment id is recorded before anything else may fail, the rejection's
  // log line included.
  bool registrado = false;
  std::exception_ptr falha;
  try {
    registrado =
        Registrar({linha.IdentificadorInterno, etPagamento, std::to_string(IdPagamento), RespostaPagamentoMFe->XML});
  } catch (...) {
    falha = std::current_exception();
  }
  if (!FLinhaAposRegistro.empty()) DoSaveLog(std::exchange(FLinhaAposRegistro, std::string()));
  if (falha) std::rethrow_exception(falha);
  return registrado;
}

// Only a payment made through the cash register's own card integration has
// its status reported, once.
bool TReconciliacao::PassoStatusPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa,
                                          std::int64_t IdPagamento) {
  if (linha.SerialPOS != kSerialTEF || linha.IdStatusValidador != kNaoFeito || IdPagamento <= 0) return true;
  // Not sent: the re-read of the fiscal step then finds the status "0".
  if (ColunaCurta(etStatusPagamento)) return true;
  TReservaEtapa reserva(FStatements, linha.IdentificadorInterno);
  if (!reserva.Reservada() || EnvioDeOutro(linha.IdentificadorInterno)) return false;
  // Recorded by another instance since the row was selected.
  if (reserva.Ids().IdStatusValidador != kNaoFeito) return true;
  if (!Enviar(linha.IdentificadorInterno, etStatusPagamento,
              [&] { return EnviarStatusPagamento(caixa, linha, IdPagamento); })) {
    EnvioConcluido(linha.IdentificadorInterno, etStatusPagamento);
    return true;
  }
  return Registrar({linha.IdentificadorInterno, etStatusPagamento,
                    std::to_string(RespostaStatusPagamento->IntegradorResposta.Identificador),
                    RespostaStatusPagamento->XML});
}

// The row as committed now decides whether a "TEF" payment has its status
// recorded (in this pass or an earlier one).
void TReconciliacao::PassoRespostaFiscal(const TTransacaoPendente& linha, const TDadosCaixa& caixa,
                                         std::int64_t IdPagamento) {
  if (IdPagamento <= 0) {
    FStatements.RelerTransacao(linha.IdentificadorInterno);
    return;
  }
  // The re-read runs inside the claim (one transaction for both).
  TReservaEtapa reserva(FStatements, linha.IdentificadorInterno);
  if (!reserva.Reservada() || EnvioDeOutro(linha.IdentificadorInterno)) return;
  const TTransacaoRelida relida = FStatements.RelerTransacao(linha.IdentificadorInterno);
  if (relida.SerialPOS == kSerialTEF && relida.IdStatusValidador == kNaoFeito) return;
  // Recorded by another instance since the row was selected.
  if (reserva.Ids().IdRespostaFiscal != linha.IdRespostaFiscal) return;
  const std::string IdRespostaFiscal =
      Enviar(linha.IdentificadorInterno, etRespostaFiscal, [&] { return RespostaFiscal(caixa, linha, IdPagamento); });
  if (RetornoRespostaFiscal->IntegradorResposta.Codigo != kAprovado) {
    EnvioConcluido(linha.IdentificadorInterno, etRespostaFiscal);
    return;
  }
  Registrar({linha.IdentificadorInterno, etRespostaFiscal, IdRespostaFiscal, RetornoRespostaFiscal->XML});
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

  const std::int64_t resultado = IdDoPagamento(*RespostaPagamentoMFe);
  if (RespostaPagamentoMFe->IntegradorResposta.Codigo != kAprovado) {
    // With an id that the payment step records, the line waits until then.
    std::string linha = "Pagamento MFE: " + PagamentoMFe.AsXMLString();
    if (resultado > 0 && FAdiarLinhaPagamento)
      FLinhaAposRegistro = std::move(linha);
    else
      DoSaveLog(linha);
  }
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
