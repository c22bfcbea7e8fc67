// The Pagvigia executable. Without switches it runs as the service: on POSIX
// in the foreground until SIGTERM or SIGINT, on Windows under the Service
// Control Manager; "CONSOLE" runs it in the foreground on Windows as well
// (until Ctrl+C). "INSTALL" and "UNINSTALL" (with "SILENT") register and
// remove it; "ONCE" runs one polling cycle at once (stopped by SIGTERM,
// SIGINT or Ctrl+C as the service is), shows on standard error the entries
// it logs and its summary, and exits 1 when it could not do its work or a
// row failed; "STATUS" checks the set-up for the operator and changes
// nothing; "LINHA N" shows row N and why its next step waits, changing
// nothing; "?", "h" or "help" list the switches and "VERSAO" names the
// version. A word the program does not know lists the switches on standard
// error (exit status 2).
#include <atomic>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/dynlib.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/service_host.h"
#include "service/explica_linha.h"
#include "service/linha_comando.h"
#include "service/resumo_ciclo.h"
#include "service/srv_pagvigia.h"
#include "service/status_check.h"

int main(int argc, char** argv) {
  using namespace pagvigia;
  platform::UseUtf8CharacterType();
  platform::RestrictLibrarySearch();
  const TLinhaComando linha = LerLinhaComando(argc, argv);
  switch (linha.Modo) {
    case TModoExecucao::Invalida:
      platform::ConsoleErr() << "Pagvigia: " << linha.Erro << "\n" << TextoAjuda() << std::flush;
      return 2;
    case TModoExecucao::Ajuda:
      platform::ConsoleOut() << TextoAjuda() << std::flush;
      return 0;
    case TModoExecucao::Versao:
      platform::ConsoleOut() << TextoVersao() << std::flush;
      return 0;
    default:
      break;
  }
  if (linha.Modo == TModoExecucao::Status || linha.Modo == TModoExecucao::Linha) {
    // Before the service object, which would delete the logs; no instance
    // lock, as both only read.
    const TStatusCheckResult r = linha.Modo == TModoExecucao::Status
                                     ? RunStatusCheck({}, platform::ConsoleOut())
                                     : ExplicarLinha({}, linha.Linha, platform::ConsoleOut());
    platform::ConsoleOut().flush();
    // A client-library thread may still wait for a silent server: end
    // without the exit-time clean-up that would unload the library under it.
    if (r.AttachAbandoned) std::_Exit(r.ExitCode);
    return r.ExitCode;
  }
  const bool install = linha.Modo == TModoExecucao::Instalar;
  const bool uninstall = linha.Modo == TModoExecucao::Desinstalar;
  const bool silent = linha.Silencioso;
  const bool once = linha.Modo == TModoExecucao::Ciclo;
  const bool console = linha.Modo == TModoExecucao::Console;
  const bool serve = linha.Modo == TModoExecucao::Servico || console;
  platform::EventLog& eventLog = platform::SystemEventLog();

  // The control signals become requests, for the service and for a single
  // cycle alike; this must come before any other thread starts (the service
  // object's timer thread, the database client library's threads), since
  // each inherits the blocked signals. A thread that did not block them
  // would run the client library's own handler, which shuts the library
  // down under the cycle.
  std::optional<platform::ServiceThread> serviceThread;
  if (serve || once) serviceThread.emplace(true);

  // One copy per folder runs cycles: a second one would send the same rows
  // again and delete the first one's logs. It stops before touching them.
  platform::InstanceLock instanceLock;
  if (serve || once) {
    try {
      if (!instanceLock.TryAcquire(platform::InstanceLockPath())) {
        const std::string text = "Pagvigia: outra cópia já está rodando a partir de " + platform::ExecutableDir();
        platform::ConsoleErr() << text << std::endl;
        // Under the service manager nobody reads standard error.
        eventLog.Error(text);
        return 1;
      }
    } catch (const std::exception& e) {
      platform::ConsoleErr() << e.what() << std::endl;
      eventLog.Error(e.what());
      return 1;
    }
  }

  try {
    // Creating the service object deletes both logs, also when installing;
    // a single cycle keeps them and appends to them.
    TSrvPagvigiaOptions options;
    options.ApagarLogs = linha.ApagaLogs();
    // A single cycle shows the technician what it logs; under systemd the
    // journal gets every entry, with its priority (the log file stays).
    options.EcoJournal = platform::UnderSystemd();
    if (once || (serve && options.EcoJournal)) options.EcoLog = &platform::ConsoleErr();
    TSrvPagvigia SrvPagvigia(std::move(options));
    platform::ServiceDefinition definition{TSrvPagvigia::kName, TSrvPagvigia::kDisplayName,
                                           [&](platform::ServiceThread& thread) {
                                             SrvPagvigia.ServiceExecute(thread);
                                             // A cycle still running ends before
                                             // the service is reported stopped.
                                             SrvPagvigia.Timer1.Shutdown();
                                           },
                                           SrvPagvigia.StopTimeoutSec()};
    if (install)
      return platform::InstallService(definition, platform::ExecutablePath(), silent, platform::ConsoleOut(),
                                      platform::ConsoleErr());
    if (uninstall) return platform::UninstallService(definition, silent, platform::ConsoleOut(), platform::ConsoleErr());
    if (once) {
      // The cycle runs on a thread of its own while this one handles the
      // stop requests as the service does: the first lets the step in flight
      // be recorded and starts no other, a second abandons the exchange.
      std::atomic<bool> ended{false};
      std::exception_ptr failure;
      std::thread cycle([&] {
        try {
          SrvPagvigia.Timer1Timer();
        } catch (...) {
          failure = std::current_exception();
        }
        ended = true;
        serviceThread->Wake();
      });
      SrvPagvigia.WatchStop(*serviceThread, [&] { return !ended.load(); });
      cycle.join();
      // The summary names an error that ended the cycle.
      const TResumoCiclo& resumo = SrvPagvigia.UltimoResumo();
      platform::ConsoleErr() << TextoResumoCiclo(resumo) << std::endl;
      if (failure) {
        try {
          std::rethrow_exception(failure);
        } catch (const std::exception& e) {
          eventLog.Error(e.what());
        } catch (...) {
          eventLog.Error("Unknown exception");
        }
        return 1;
      }
      return CicloFalhou(resumo) ? 1 : 0;
    }
    if (console) return platform::RunServiceInForeground(definition, *serviceThread, eventLog);
    return platform::RunService(definition, *serviceThread, eventLog);
  } catch (const std::exception& e) {
    // The service object could not be created.
    platform::ConsoleErr() << e.what() << std::endl;
    eventLog.Error(e.what());
    return 1;
  }
}
