// The program's command line: which job a start does, and the help and
// version texts. Switches are written after "-", "--" or "/", letters in any
// case; anything else on the line is a mistake, answered with the list of
// switches on standard error and exit status 2, so that a mistyped switch
// never starts the service in the foreground.
#pragma once
#include <cstdint>
#include <string>

namespace pagvigia {

enum class TModoExecucao {
  Servico,      // no switch: the service (Windows: under the service manager)
  Console,      // "CONSOLE": the service in the foreground (Windows)
  Instalar,     // "INSTALL"
  Desinstalar,  // "UNINSTALL"
  Ciclo,        // "ONCE": one polling cycle at once
  Status,       // "STATUS": the operator's check of the set-up
  Linha,        // "LINHA N": one row's state and why its next step waits
  Ajuda,        // "h", "help", "?": the list of switches
  Versao,       // "VERSAO", "version"
  Invalida      // a word the program does not know (see Erro)
};

struct TLinhaComando {
  TModoExecucao Modo = TModoExecucao::Servico;
  bool Silencioso = false;  // "SILENT" beside "INSTALL" or "UNINSTALL"
  std::int64_t Linha = 0;   // for Linha: the row's MFE_IDENTIFICADORINTERNO
  std::string Erro;         // for Invalida: what was wrong, in one line

  // Starts of the service (and registering or removing it) delete both logs
  // at start; every other job keeps them.
  bool ApagaLogs() const {
    return Modo == TModoExecucao::Servico || Modo == TModoExecucao::Console || Modo == TModoExecucao::Instalar ||
           Modo == TModoExecucao::Desinstalar;
  }
};

// Reads the arguments after the program's name. "LINHA" takes the next
// argument as its row number, a positive integer (else Invalida). When
// several jobs are named, the first of: help, version, status, linha,
// install, uninstall, once, console.
TLinhaComando LerLinhaComando(int argc, const char* const* argv);

// The switches, one line each, for standard output (help) or standard error
// (a mistake).
std::string TextoAjuda();
// "Pagvigia <version> (<platform>)".
std::string TextoVersao();

}  // namespace pagvigia
