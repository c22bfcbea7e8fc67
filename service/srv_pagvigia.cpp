#include "service/srv_pagvigia.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include "db/fb_errors.h"
#include "integrador/comando_integrador.h"
#include "platform/event_log.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "service/conexao_banco.h"
#include "service/conselhos.h"
#include "service/log_rotation.h"

namespace pagvigia {
namespace {

std::string FolderOf(const TSrvPagvigiaOptions& o) {
  std::string dir = o.ExeDir.empty() ? platform::ExecutableDir() : o.ExeDir;
  return platform::WithTrailingDelim(dir);
}

// On one line; a database error as the server's message.
std::string MessageOf(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return TextoErroBanco(ex);
  } catch (...) {
    return "Unknown exception";
  }
}

// What ended a cycle, for its summary: a database error (a table the
// database lacks, a lost connection) with what to do about it.
std::string ErroDoCiclo(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const EFbISCError& ex) {
    return LinhaErroBanco(ex);
  } catch (...) {
    return MessageOf(e);
  }
}

}  // namespace

TSrvPagvigia::TSrvPagvigia(TSrvPagvigiaOptions options)
    : FExeDir(FolderOf(options)),
      FSettings(options.Settings ? *options.Settings
                                 : TServiceSettings::Load(FExeDir + kServiceSettingsName)),
      FClock(*options.Clock),
      FApagarLogs(options.ApagarLogs),
      FEcoLog(options.EcoLog),
      FEcoJournal(options.EcoJournal),
      IBGestalo("Gestalo"),
      IB_TransPrincipal(&IBGestalo, "IB_TransPrincipal"),
      IBTPrincipalRW(&IBGestalo, "IBTPrincipalRW"),
      TBEnviaMFEPendentes(&IBGestalo, nullptr, "TBEnviaMFEPendentes"),
      TBTransacaoPendente(&IBGestalo, nullptr, "TBTransacaoPendente"),
      QExec(&IBGestalo, &IBTPrincipalRW, "QExec"),
      IntegradorCliente(*options.Clock, *options.Sleeper),
      TBPadrao(&IBGestalo, nullptr, "TBPadrao"),
      TBMSAut(&IBGestalo, nullptr, "TBMSAut"),
      Statements(QExec),
      IntegradorCalls(IntegradorCliente),
      Diario(FExeDir + TDiario::kNomeArquivo),
      // The reconciliation's own entries (the Integrador's rejections, the
      // journal's settling) are warnings; a row's failure reaches the cycle
      // as an exception.
      Reconciliacao(Statements, IntegradorCalls, Diario,
                    [this](const std::string& msg) { DoSaveLog(msg, TGravidadeLog::Aviso); }),
      Timer1(*options.Clock, options.TimerSleeper ? *options.TimerSleeper : *options.Sleeper,
             options.TimerSliceMs) {
  // IBGestalo: the settings that stay in force; user name, password, server
  // and path are set by every ConectarBanco.
  ConfigurarConexao(IBGestalo);
  IBGestalo.DefaultTransaction = &IB_TransPrincipal;
  // A stop lets the step in flight be recorded and starts no other.
  Reconciliacao.SetPedidoParada([this] { return FStopRequested.load(); });
  // A stop that cannot wait ends the exchange in flight as well.
  IntegradorCliente.ComandoIntegrador().SetPedidoAbandono([this] { return FAbandonRequested.load(); });

  // Both transactions: automatic commit, read committed; only the second
  // one writes.
  for (TFbTransaction* t : {&IB_TransPrincipal, &IBTPrincipalRW}) {
    t->SetAutoCommit(true);
    t->Isolation = tiCommitted;
    t->TimeoutProps.AllowCheckOAT = 5;
    t->TimeoutProps.Attempt = 10;
    t->TimeoutProps.AttemptMaxRows = 250;
    t->TimeoutProps.AttemptTicks = 10;
    t->TimeoutProps.AttemptRetry = 1;
    t->TimeoutProps.PromptUser = 20;
    t->Clock = options.Clock;
  }
  IB_TransPrincipal.ReadOnly = true;
  IBTPrincipalRW.ReadOnly = false;

  // The cursors read in the connection's default transaction; QExec writes
  // in the read-write one. Their SQL is the reconciliation's.
  ConfigurarConsultas(TBEnviaMFEPendentes, TBTransacaoPendente, TBPadrao, TBMSAut);

  IntegradorCliente.SetPastaInput(FSettings.PastaInput);
  IntegradorCliente.SetPastaOutput(FSettings.PastaOutput);
  IntegradorCliente.SetTimeout(FSettings.Timeout);

  Timer1.SetEnabled(false);
  Timer1.SetInterval(FSettings.Intervalo);
  Timer1.SetOnTimer([this] { Timer1Timer(); });
  auto report = options.OnCycleException;
  if (!report) report = [](const std::string& m) { platform::SystemEventLog().Error(m); };
  Timer1.SetOnException([report](std::exception_ptr e) { report(MessageOf(e)); });

  ServiceCreate();
}

TSrvPagvigia::~TSrvPagvigia() {
  ServiceDestroy();
  // A cycle still running ends normally; no other follows.
  Timer1.Shutdown();
}

std::string TSrvPagvigia::ArquivoLog() const { return FExeDir + kServiceLogName; }

void TSrvPagvigia::ServiceCreate() {
  Timer1.SetEnabled(false);
  const std::string integradorLog = FExeDir + kIntegradorLogName;
  if (FApagarLogs) {
    if (platform::FileExists(integradorLog)) platform::DeleteFile(integradorLog);
    if (platform::FileExists(ArquivoLog())) platform::DeleteFile(ArquivoLog());
  }
  IntegradorCliente.ArqLOG = integradorLog;
}

void TSrvPagvigia::ServiceExecute(platform::ServiceThread& serviceThread) {
  // The first cycle comes one interval after the start, never at once.
  Timer1.SetEnabled(true);
  while (!serviceThread.Terminated()) serviceThread.ProcessRequests(true);
  // A cycle in progress finishes its step in flight and starts no other.
  RequestStop();
  Timer1.SetEnabled(false);
  WatchStop(serviceThread, [this] { return Timer1.Busy(); });
}

void TSrvPagvigia::WatchStop(platform::ServiceThread& serviceThread, const std::function<bool()>& running) {
  while (running()) {
    if (serviceThread.StopCannotWait())
      RequestAbandon();
    else if (serviceThread.Terminated())
      RequestStop();
    serviceThread.ProcessRequestsFor(kStopWatchSliceMs);
  }
}

int TSrvPagvigia::StopTimeoutSec(const TServiceSettings& settings) {
  constexpr int kMarginSec = 30;
  return std::max<int>(settings.Timeout, TComandoIntegrador::kTimeoutMinimo) + kMarginSec;
}

void TSrvPagvigia::ServiceDestroy() { Timer1.SetEnabled(false); }

void TSrvPagvigia::Timer1Timer() {
  Timer1.SetEnabled(false);
  // The Integrador's log grows with every exchange; it changes generation
  // between cycles, never in the middle of one.
  RotateLogIfFull(IntegradorCliente.ArqLOG, static_cast<std::uint64_t>(FSettings.LogMaxKB) * 1024);
  std::exception_ptr failure;
  TResumoCiclo resumo;
  try {
    bool ConexaoBanco = false;
    try {
      ConexaoBanco = ConectarBanco();
    } catch (...) {
      // ConectarBanco logs its own connection failures; anything else (an
      // unreadable setting, a log that cannot be written) is dropped here.
      ConexaoBanco = false;
    }
    resumo.Conectado = ConexaoBanco;
    if (ConexaoBanco) {
      // What the journal holds is recorded before any row is looked at; an
      // unreadable journal leaves every row alone.
      const bool enviar = Reconciliacao.PrepararCiclo();
      TBPadrao.Open();
      const bool temConfCaixa = platform::FileExists(ArquivoConfCaixa());
      const int NumCaixa = NumeroCaixa();
      Reconciliacao.SetCaixa(NumCaixa);
      // Opened first and given the cash register afterwards: the change of
      // the parameter refreshes the open query.
      if (!TBMSAut.Active()) TBMSAut.Open();
      TBMSAut.ParamByName("CAIXA").SetAsInteger(NumCaixa);
      if (!TBEnviaMFEPendentes.Active()) TBEnviaMFEPendentes.Open();
      TBEnviaMFEPendentes.ParamByName("CAIXA").SetAsInteger(NumCaixa);
      // A row statement the server refuses (a table or column missing) ends
      // every cycle here, not each row.
      TBTransacaoPendente.Prepare();
      FDadosCaixa = TDadosCaixa::Ler(TBMSAut, TBPadrao);
      // Without its number or its MSAUT row the register has no Integrador
      // key: its requests (and the old rows of other registers it takes)
      // would all be refused. Nothing is sent until it is set up.
      std::string semCaixa;
      if (!temConfCaixa)
        semCaixa = ArquivoConfCaixa() + " não existe; nada é enviado ao Integrador — " + kConselhoConfCaixa;
      else if (TBMSAut.IsEmpty())
        semCaixa = "MSAUT não tem linha para o caixa " + std::to_string(NumCaixa) +
                   " (IdCaixa de " + ArquivoConfCaixa() + "); nada é enviado ao Integrador — " +
                   ConselhoMSAut(NumCaixa);
      resumo.CaixaIdentificado = semCaixa.empty();
      if (!semCaixa.empty()) {
        DoSaveLog("Caixa: " + semCaixa);
      } else if (enviar && !TBEnviaMFEPendentes.IsEmpty()) {
        TBEnviaMFEPendentes.First();
        while (!TBEnviaMFEPendentes.Eof() && !FStopRequested) {
          ProcessarChaveAtual(NumCaixa, resumo);
          TBEnviaMFEPendentes.Next();
        }
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }

  // Clean-up, in this order, each step also when an earlier one failed; the
  // timer is switched on again last, unless the service is stopping (no
  // cycle follows one that a stop ended). The first failure is raised.
  const auto step = [&failure](auto&& f) {
    try {
      f();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  step([this] { TBMSAut.Close(); });
  step([this] { TBPadrao.Close(); });
  step([this] { TBEnviaMFEPendentes.Close(); });
  step([this] { TBTransacaoPendente.Close(); });
  step([this] { IBGestalo.Disconnect(); });
  if (failure) resumo.Erro = ErroDoCiclo(failure);
  resumo.Fim = FClock.LocalNow();
  FUltimoResumo = resumo;
  PublicarResumoCiclo(FExeDir + kResumoCicloName, resumo);
  if (!FStopRequested) Timer1.SetEnabled(true);
  if (failure) std::rethrow_exception(failure);
}

void TSrvPagvigia::ProcessarChaveAtual(int NumCaixa, TResumoCiclo& resumo) {
  const std::int64_t chave = TBEnviaMFEPendentes.FieldByName("MFE_IDENTIFICADORINTERNO").AsInt64();
  std::optional<TTransacaoPendente> linha;
  try {
    linha = LerTransacaoPendente(TBTransacaoPendente, chave, NumCaixa);
  } catch (const ETransacaoIlegivel& e) {
    ++resumo.Falhas;
    DoSaveLog(std::string("Envios Pendentes: ") + e.what() + " — " + kConselhoLinhaIlegivel);
    return;
  }
  if (!linha) return;  // no longer pending
  // A row that logged a line without raising had a request rejected.
  const int entradas = FEntradasLog;
  try {
    EnviaMFEPendentes(*linha);
    // A row left half done by a stop counts in none of the totals.
    if (!Reconciliacao.Interrompida()) ++(FEntradasLog == entradas ? resumo.Concluidas : resumo.Recusadas);
  } catch (const std::exception& e) {
    // A row whose exchange a stop abandoned resumes in a later cycle: it is
    // not a failure.
    if (!FAbandonRequested) ++resumo.Falhas;
    DoSaveLog(std::string("Envios Pendentes: ") + TextoFalhaLinha(e, chave));
  }
}

std::string TSrvPagvigia::TextoFalhaLinha(const std::exception& e, std::int64_t chave) const {
  if (dynamic_cast<const EFbISCError*>(&e)) return LinhaErroBanco(e);
  if (!dynamic_cast<const EComandoIntegradorException*>(&e)) return e.what();
  // The Integrador's two failures a technician can mend: each names the row
  // and the folder to look at.
  const std::string texto = e.what();
  const std::string linha = " (linha " + std::to_string(chave) + ")";
  if (texto == kSemRespostaIntegrador)
    return texto + linha + " — " + kConselhoSemResposta + " (" + FSettings.PastaInput + ")";
  if (texto.rfind(kErroCriarArquivo, 0) == 0) return texto + linha + " — " + kConselhoPastaInput;
  return texto;
}

bool TSrvPagvigia::ConectarBanco() {
  const TGestaloIni ini = LerGestaloIni(FExeDir);
  PrepararLogin(IBGestalo, ini);
  try {
    IBGestalo.ClientLib->Open();
  } catch (const std::exception& e) {
    DoSaveLog(std::string("Conexão do Banco: ") + TextoErroBanco(e) + " — " + kConselhoBibliotecaCliente);
    return false;
  }
  try {
    IBGestalo.Connect(false);
  } catch (const std::exception& e) {
    DoSaveLog(std::string("Conexão do Banco: ") + LinhaErroConexao(e, ini.Servidor));
    IBGestalo.Disconnect();
  }
  return IBGestalo.Connected();
}

std::string TSrvPagvigia::ArquivoConfCaixa() const { return FSettings.PastaCaixa + "ConfCaixa.ini"; }

int TSrvPagvigia::NumeroCaixa() { return FSettings.NumeroCaixa(); }

void TSrvPagvigia::DoSaveLog(const std::string& Msg, TGravidadeLog gravidade) {
  ++FEntradasLog;
  const platform::DateTime quando = FClock.LocalNow();
  // The echo comes first: it shows the entry also when the file cannot be
  // written.
  if (FEcoLog) *FEcoLog << EntradaConsole(quando, Msg, gravidade, FEcoJournal) << std::flush;
  RotateLogIfFull(ArquivoLog(), static_cast<std::uint64_t>(FSettings.LogMaxKB) * 1024);
  SaveServiceLog(ArquivoLog(), Msg, quando);
}

void TSrvPagvigia::EnviaMFEPendentes(const TTransacaoPendente& linha) {
  Reconciliacao.EnviaMFEPendentes(linha, FDadosCaixa);
}

}  // namespace pagvigia
