// What the last polling cycle did, where an operator looks for it: the
// service manager's status line (systemd "STATUS=") and a one-line state file
// beside the logs, "Pagvigia_UltimoCiclo.txt", replaced after every cycle and
// shown by the status check.
#pragma once
#include <string>

#include "platform/clock.h"

namespace pagvigia {

inline constexpr const char* kResumoCicloName = "Pagvigia_UltimoCiclo.txt";

struct TResumoCiclo {
  platform::DateTime Fim;     // local time the cycle ended
  bool Conectado = false;     // the database connection opened
  int Concluidas = 0;         // rows handled without error or rejection
  int Recusadas = 0;          // rows with a request the Integrador rejected
  int Falhas = 0;             // rows that ended with an error
  std::string Erro;           // the error that ended the cycle, if any
  // Connected, but the cash register has no "ConfCaixa.ini" or no MSAUT row,
  // so nothing was sent.
  bool CaixaIdentificado = true;
};

// "Último ciclo 14:03:22: 3 linhas concluídas, 1 falha" and the like.
std::string TextoResumoCiclo(const TResumoCiclo& r);

// True when the cycle could not do its work (no connection, an error that
// ended it, a cash register it could not identify) or a row failed with an
// error. A row whose request the Integrador rejected is not a failure: the
// log says why, and the row waits for the data to be corrected.
bool CicloFalhou(const TResumoCiclo& r);

// How a summary reads to the operator, from its text (the state file's line):
// Falha when the cycle could not do its work, Aviso when rows failed.
enum class TGravidadeResumo { Ok, Aviso, Falha };
TGravidadeResumo GravidadeResumo(const std::string& texto);

// Reports the cycle to the service manager and replaces the state file at
// `path` with the date, " - " and the text (Windows-1252, CR LF, as the
// logs). Never raises: a state that cannot be written must not end a cycle.
void PublicarResumoCiclo(const std::string& path, const TResumoCiclo& r);

}  // namespace pagvigia
