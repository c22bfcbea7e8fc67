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
};

// "Último ciclo 14:03:22: 3 linhas concluídas, 1 falha" and the like.
std::string TextoResumoCiclo(const TResumoCiclo& r);

// Reports the cycle to the service manager and replaces the state file at
// `path` with the date, " - " and the text (Windows-1252, CR LF, as the
// logs). Never raises: a state that cannot be written must not end a cycle.
void PublicarResumoCiclo(const std::string& path, const TResumoCiclo& r);

}  // namespace pagvigia
