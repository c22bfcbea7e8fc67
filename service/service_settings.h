// The service's settings that do not change while it runs: the Integrador's
// folders and time limit, the polling interval and the folder of
// "ConfCaixa.ini". They are compiled-in defaults that an optional
// "Pagvigia.ini" beside the executable may override, read once when the
// service object is created.
#pragma once
#include <string>

#include "integrador/integrador_padroes.h"

namespace pagvigia {

inline constexpr const char* kServiceSettingsName = "Pagvigia.ini";

struct TServiceSettings {
  std::string PastaInput = kPastaInputPadrao;
  std::string PastaOutput = kPastaOutputPadrao;
  int Timeout = kTimeoutPadrao;  // seconds
  int Intervalo = 60000;      // milliseconds between the end of a cycle and the next
  std::string PastaCaixa;     // folder of "ConfCaixa.ini"; the drive root by default
  int LogMaxKB = 10240;       // size at which a log becomes "<name>.1"; 0: no limit

  TServiceSettings();
  // The defaults overridden by the keys present in the INI file at `path`:
  //   [Integrador] PastaInput, PastaOutput, Timeout
  //   [Servico]    Intervalo (a positive number of milliseconds)
  //   [Caixa]      Pasta
  //   [Log]        TamanhoMaximoKB (kilobytes, 0 for no limit)
  // A key that is missing, empty or not a valid number keeps its default.
  static TServiceSettings Load(const std::string& path);

  // This register's number: [Caixa] IdCaixa of "ConfCaixa.ini" in
  // PastaCaixa, read now; 0 when the file, the key or a number is missing.
  int NumeroCaixa() const;
};

}  // namespace pagvigia
