// Reconciliation of the shop's pending card transactions with the Integrador.
//
// TReconciliacao processes one pending row: payment (EnviaPagamento), payment
// status of a "TEF" payment (EnviarStatusPagamento) and fiscal response
// (RespostaFiscal), each id and answer XML written back to the row by its own
// update, committed at once, so that a row that stops half-way resumes at its
// missing step. It works through two narrow doors: the statements
// (TReconcileStatements, QExec in the service) and the Integrador's methods
// (TIntegradorCalls, the Integrador component in the service).
//
// A step never reaches the Integrador twice: it claims its row before it
// sends anything, and does not send what another instance recorded
// meanwhile (reconcile/reserva.h); the id and answer it gets are written to
// the journal before the update that records them (reconcile/diario.h); a
// step whose longest id its column cannot hold is not sent
// (reconcile/colunas_id.h).
//
// Before a command goes out, the journal records the step as an unfinished
// send (its session and command file). A send left unfinished (no answer in
// time, a stop, a crash) is settled at the start of the next cycle, before
// anything for its row is sent again: an answer found in the output folder
// is recorded as if it had come in time; a command still in the input folder
// is withdrawn and the step is free; otherwise the Integrador is asked about
// the session: the answer it kept is recorded, a session it never saw frees
// the step, and no reply holds the row (one line per cycle) until it does.
//
// How the service object uses it (service/):
//   - ConfigurarConsultas() gives TBEnviaMFEPendentes, TBTransacaoPendente,
//     TBPadrao and TBMSAut their SQL text (their design-time settings), once
//     after creating them;
//   - each cycle, once connected, calls PrepararCiclo() (which records what
//     the journal holds) and walks the pending rows only when it returns true;
//   - each cycle opens TBPadrao, TBMSAut and TBEnviaMFEPendentes (the pending
//     keys), reads the cash register's data once (TDadosCaixa::Ler), walks the
//     keys, reads each row by its key (LerTransacaoPendente: a row the server
//     cannot hand over is logged as "Envios Pendentes: " + message + its key
//     and skipped) and calls EnviaMFEPendentes() for it inside its own handler
//     ("Envios Pendentes: " + message). EnviaMFEPendentes raises whatever the
//     statements or the Integrador raise; everything it had committed before
//     stays committed.
//   - the three last answers (RespostaPagamentoMFe, RespostaStatusPagamento,
//     RetornoRespostaFiscal) live here and are replaced by the next call of
//     the same method.
// Not thread-safe: one cycle uses it at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reconcile/colunas_id.h"
#include "reconcile/diario.h"
#include "reconcile/integrador_calls.h"
#include "reconcile/reconcile_statements.h"
#include "reconcile/sql.h"
#include "reconcile/transacao_pendente.h"
#include "platform/clock.h"

namespace pagvigia {

class TFbQuery;

// Gives the cursors their SQL text (the pending keys, one pending row, the
// company defaults, the cash register's settings) and TBMSAut its column
// attributes and commit action.
void ConfigurarConsultas(TFbQuery& TBEnviaMFEPendentes, TFbQuery& TBTransacaoPendente, TFbQuery& TBPadrao,
                         TFbQuery& TBMSAut);

class TReconciliacao {
 public:
  // Writes one entry to the service log ("Pagvigia.log").
  using TDoSaveLog = std::function<void(const std::string& msg)>;

  // `statements`, `integrador` and `diario` are not owned and must outlive
  // this object.
  TReconciliacao(TReconcileStatements& statements, TIntegradorCalls& integrador, TDiario& diario,
                 TDoSaveLog doSaveLog);
  ~TReconciliacao();
  TReconciliacao(const TReconciliacao&) = delete;
  TReconciliacao& operator=(const TReconciliacao&) = delete;

  // Once connected, before the pending rows are walked: reads the journal
  // and records every entry whose row still shows "0" for its step (an entry
  // whose row is gone or already recorded is dropped with one log line; one
  // whose row another instance holds waits for the next cycle), settles the
  // unfinished sends, and reads the id columns' lengths. False, after one log line, when the journal
  // cannot be read: then no row may be walked, since none can be told safe.
  // Raises what the metadata look-up raises.
  bool PrepararCiclo();

  // Processes one pending row: payment when its MFE_IDPAGAMENTO is "0",
  // status of a "TEF" payment whose status is "0", then the fiscal response.
  // A row that another instance holds, or for which the journal still holds
  // an id, is passed over for this cycle without a line. Once a stop is
  // requested (SetPedidoParada), no further step starts: the step in flight
  // is recorded and the row resumes at its next step in a later cycle.
  void EnviaMFEPendentes(const TTransacaoPendente& linha, const TDadosCaixa& caixa);

  // This register's number (ConfCaixa.ini), which lists its unfinished sends
  // in the shop's table of them; given each cycle before the rows are walked.
  void SetCaixa(std::int32_t caixa) { FCaixa = caixa; }

  // The clock that dates unfinished sends (the system's by default; not
  // owned).
  void SetRelogio(platform::Clock& relogio) { FRelogio = &relogio; }

  // Asked between the steps of a row; true when the service is stopping.
  // Without one, a row always runs to its end.
  using TPedidoParada = std::function<bool()>;
  void SetPedidoParada(TPedidoParada pedidoParada) { FPedidoParada = std::move(pedidoParada); }
  // True when the last EnviaMFEPendentes left steps undone for a stop.
  bool Interrompida() const { return FInterrompida; }

  // The ASCII digits of `texto`, in order; everything else dropped.
  static std::string ExtraiNumero(std::string_view texto);

  // Submits one payment; returns the Integrador's payment id, negated when the
  // payment was only saved in the Integrador's local storage, 0 when the answer
  // carried none. `valorPagamento` is a fixed-point amount (four decimals).
  std::int64_t EnviaPagamento(const TDadosCaixa& caixa, std::int32_t codigoPOS, std::int64_t valorPagamento,
                              bool multiplosCartoes, const std::string& codigoEstabelecimento);

  // Reports the card data of the "TEF" payment `idPagamento` of `linha`;
  // true when the answer is "AP".
  bool EnviarStatusPagamento(const TDadosCaixa& caixa, const TTransacaoPendente& linha, std::int64_t idPagamento);

  // Ties the payment `idPagamento` to the fiscal coupon of `linha`; returns
  // the fiscal-response id of the answer, whatever its code.
  std::string RespostaFiscal(const TDadosCaixa& caixa, const TTransacaoPendente& linha, std::int64_t idPagamento);

  // Last answer of each Integrador method (empty until the first call).
  std::unique_ptr<TRespostaPagamento> RespostaPagamentoMFe;
  std::unique_ptr<TRespostaStatusPagamento> RespostaStatusPagamento;
  std::unique_ptr<TRetornoRespostaFiscal> RetornoRespostaFiscal;

 private:
  // The three steps of EnviaMFEPendentes; each claims the row and runs its
  // update, if any. False when the row is to be left for this cycle. The
  // payment step sets the payment id the later steps go on with.
  bool PassoPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa, std::int64_t& idPagamento);
  bool PassoStatusPagamento(const TTransacaoPendente& linha, const TDadosCaixa& caixa, std::int64_t idPagamento);
  void PassoRespostaFiscal(const TTransacaoPendente& linha, const TDadosCaixa& caixa, std::int64_t idPagamento);

  // Records a step's id and answer under the claim held: journal, update,
  // commit, journal entry dropped. False (the claim given up, one log line)
  // when the id does not fit its column: it stays in the journal.
  bool Registrar(const TEntradaDiario& entrada);
  void Atualizar(const TEntradaDiario& entrada);
  // Records or drops the journal's entries (PrepararCiclo).
  void AplicarDiario();
  // Settles one unfinished send (PrepararCiclo).
  void AcertarEnvio(const TEntradaDiario& envio);
  // Records the answer of an unfinished send's session under the claim held;
  // `origem` says where it came from, for the log line.
  void RegistrarRespostaAtrasada(const TEntradaDiario& envio, const std::string& resposta,
                                 const std::string& origem);
  // Runs one Integrador call of a row's step with the send journaled before
  // its command goes out (see the header's comment); the journal entry is
  // dropped when the call fails with its command withdrawn unanswered.
  template <class F>
  auto Enviar(std::int64_t idInterno, TEtapa etapa, F&& chamada);
  // Drops the row's unfinished send of the step once its answer has been
  // taken and holds nothing to record.
  void EnvioConcluido(std::int64_t idInterno, TEtapa etapa);
  // Under the claim held: ends it, deleting the step's listing in the shop's
  // table with it (committed), and drops the unfinished send.
  void ConcluirSemRegistro(std::int64_t idInterno, TEtapa etapa);
  // Under the claim held: true, after one line per cycle for the row, when
  // the shop's table lists a send of the row that this register's journal
  // does not hold (another register's, or one whose journal is gone).
  bool EnvioDeOutro(std::int64_t idInterno);
  // The payment id of an answer: negated when only saved locally.
  static std::int64_t IdDoPagamento(const TRespostaPagamento& resposta);
  // True, after one log line per cycle, when the step's longest id does not
  // fit its column.
  bool ColunaCurta(TEtapa etapa);

  void DoSaveLog(const std::string& msg);
  // True (and the row marked interrupted) once a stop has been requested.
  bool Parar();

  TReconcileStatements& FStatements;
  TIntegradorCalls& FIntegrador;
  TDiario& FDiario;
  TDoSaveLog FDoSaveLog;
  TPedidoParada FPedidoParada;
  platform::Clock* FRelogio = &platform::SystemClock();
  std::int32_t FCaixa = 0;
  bool FTabelaEnvios = false;           // the shop's table exists (this cycle)
  std::vector<std::int64_t> FAvisadasOutro;  // rows already said this cycle
  bool FInterrompida = false;
  TTamanhosColunasId FTamanhos;
  bool FAvisado[3] = {false, false, false};
  // A rejected payment's log line, written once its id is recorded (while
  // the payment step runs EnviaPagamento).
  bool FAdiarLinhaPagamento = false;
  std::string FLinhaAposRegistro;
};

}  // namespace pagvigia
