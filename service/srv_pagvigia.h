// The service object: owns every long-lived component (database connection,
// its two transactions, the four queries, the Integrador client and the
// timer), runs the polling cycle and writes the service log.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "db/fb_connection.h"
#include "db/fb_query.h"
#include "db/fb_transaction.h"
#include "integrador/integrador_cliente.h"
#include "platform/clock.h"
#include "platform/service_host.h"
#include "reconcile/reconciliacao.h"
#include "service/resumo_ciclo.h"
#include "service/service_log.h"
#include "service/service_settings.h"
#include "service/timer.h"

namespace pagvigia {

// What the process gives the service object; the defaults are the running
// program's own.
struct TSrvPagvigiaOptions {
  // Folder of the logs and of "Gestalo.ini" and "Pagvigia.ini", with its
  // trailing delimiter; the executable's folder when empty.
  std::string ExeDir;
  // The settings; read from "Pagvigia.ini" in ExeDir when not given.
  std::optional<TServiceSettings> Settings;
  platform::Clock* Clock = &platform::SystemClock();
  // The Integrador's waits go through Sleeper; the timer waits for its next
  // event through TimerSleeper, or through Sleeper as well when not set (as a
  // manual clock's tests need).
  platform::Sleeper* Sleeper = &platform::SystemSleeper();
  platform::Sleeper* TimerSleeper = nullptr;
  // How often the timer looks at its schedule while waiting (milliseconds).
  std::int64_t TimerSliceMs = 50;
  // ServiceCreate deletes both logs; a manual job (one cycle, the checks)
  // keeps them and appends to them.
  bool ApagarLogs = true;
  // Receives the message of an exception that escapes a cycle run by the
  // timer; the system's event log when not set.
  std::function<void(const std::string&)> OnCycleException;
  // When set, every entry written to "Pagvigia.log" is also written here (a
  // single cycle's standard error, or the journal's), as EntradaConsole
  // gives it; for the journal with `EcoJournal`. Written from the cycle's
  // thread: nothing else may write to it while cycles run.
  std::ostream* EcoLog = nullptr;
  bool EcoJournal = false;
};

class TSrvPagvigia {
  // First, since the components are created from them.
  std::string FExeDir;
  TServiceSettings FSettings;
  platform::Clock& FClock;
  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FAbandonRequested{false};
  // Entries written to "Pagvigia.log" so far (for the cycle's summary).
  int FEntradasLog = 0;
  bool FApagarLogs;
  // The cash register's data, read once by the cycle in progress.
  TDadosCaixa FDadosCaixa;
  std::ostream* FEcoLog;
  bool FEcoJournal;
  // What the last cycle did.
  TResumoCiclo FUltimoResumo;

 public:
  static constexpr const char* kName = "SrvPagvigia";
  static constexpr const char* kDisplayName = "Pagvigia";

  // Creates every component with its design-time settings, then runs
  // ServiceCreate (which deletes both logs).
  explicit TSrvPagvigia(TSrvPagvigiaOptions options = {});
  // Runs ServiceDestroy and waits for a cycle that is still running.
  ~TSrvPagvigia();
  TSrvPagvigia(const TSrvPagvigia&) = delete;
  TSrvPagvigia& operator=(const TSrvPagvigia&) = delete;

  // Timer off, both logs deleted (unless the options keep them), the
  // Integrador's log pointed beside the executable.
  void ServiceCreate();
  // The body of the running service: timer on, control requests handled
  // until a stop request, timer off; then, while a cycle is still running,
  // the requests are handled on (WatchStop), so that a second stop abandons
  // the exchange in flight.
  void ServiceExecute(platform::ServiceThread& serviceThread);
  void ServiceDestroy();
  // One polling cycle (see the source for its steps). An exception outside
  // the per-row handling ends the cycle after its clean-up and is raised.
  void Timer1Timer();

  // Reads "Gestalo.ini" and connects; a failed connect is logged as
  // "Conexão do Banco: " + the server's message + " — " + what to do (as the
  // status check advises). True when connected afterwards.
  bool ConectarBanco();
  // The cash register's number from "ConfCaixa.ini" (0 when missing).
  int NumeroCaixa();
  // "ConfCaixa.ini" in the folder the settings name.
  std::string ArquivoConfCaixa() const;
  // Appends one entry to "Pagvigia.log" (and to the echo, if any). An entry
  // is an error unless told otherwise.
  void DoSaveLog(const std::string& Msg, TGravidadeLog gravidade = TGravidadeLog::Erro);
  // Processes one pending row, read by the key that is the current row of
  // TBEnviaMFEPendentes, with the cash register's data read at the start of
  // the cycle.
  void EnviaMFEPendentes(const TTransacaoPendente& linha);

  // Reads the pending row whose key is the current row of
  // TBEnviaMFEPendentes and processes it, counting the outcome in `resumo`:
  // a row that cannot be read or that raises is logged as "Envios
  // Pendentes: " + message and the cycle goes on; a failure that is not
  // about the row (a lost connection) raises.
  void ProcessarChaveAtual(int NumCaixa, TResumoCiclo& resumo);
  // The log's text for the failure of the row `chave`: a database error on
  // one line with what to do; the Integrador's silence or a command file
  // that cannot be made with the row and what to check; else the message.
  std::string TextoFalhaLinha(const std::exception& e, std::int64_t chave) const;

  // Asks the cycle in progress to end once the step in flight is finished
  // and recorded: no further step or row starts. The running service
  // asks this when it is told to stop. Thread-safe.
  void RequestStop() { FStopRequested = true; }
  bool StopRequested() const { return FStopRequested; }
  // A stop that cannot wait for the exchange in flight: as RequestStop, and
  // the exchange is abandoned at once, its command withdrawn when the
  // Integrador has not taken it (the row then fails with that message and
  // resumes at that step in a later cycle). Thread-safe.
  void RequestAbandon() {
    FStopRequested = true;
    FAbandonRequested = true;
  }
  bool AbandonRequested() const { return FAbandonRequested; }
  // Handles the requests of `serviceThread` for as long as `running()`
  // holds (a cycle is in progress): a stop request becomes RequestStop, a
  // stop that cannot wait RequestAbandon. Looks at `running()` at least every
  // kStopWatchSliceMs; a thread that ends the work may Wake the service
  // thread to have it looked at at once.
  static constexpr std::int64_t kStopWatchSliceMs = 100;
  void WatchStop(platform::ServiceThread& serviceThread, const std::function<bool()>& running);
  // What a stop may take, in seconds: one whole exchange with the Integrador
  // (its time limit, 25 s at least) and a margin for the database; for the
  // service's settings, or for the given ones.
  int StopTimeoutSec() const { return StopTimeoutSec(FSettings); }
  static int StopTimeoutSec(const TServiceSettings& settings);

  // What the last cycle did (its summary was published at its end).
  const TResumoCiclo& UltimoResumo() const { return FUltimoResumo; }

  const std::string& ExeDir() const { return FExeDir; }
  const TServiceSettings& Settings() const { return FSettings; }
  std::string ArquivoLog() const;

  // The components. They are declared so that each is created after and
  // destroyed before the components it uses; the timer comes last, so that
  // it stops (after a running cycle) before anything else goes.
  TFbConnection IBGestalo;
  TFbTransaction IB_TransPrincipal;
  TFbTransaction IBTPrincipalRW;
  TFbQuery TBEnviaMFEPendentes;
  TFbQuery TBTransacaoPendente;
  TFbQuery QExec;
  TIntegradorCliente IntegradorCliente;
  TFbQuery TBPadrao;
  TFbQuery TBMSAut;
  TQExecStatements Statements;
  TIntegradorClienteCalls IntegradorCalls;
  // The journal of recorded steps beside the executable (kept when the
  // service starts, unlike the logs).
  TDiario Diario;
  TReconciliacao Reconciliacao;
  TTimer Timer1;
};

}  // namespace pagvigia
