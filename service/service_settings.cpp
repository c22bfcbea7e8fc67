#include "service/service_settings.h"

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "service/ini_file.h"

namespace pagvigia {
namespace {

void ReadFolder(const TIniFile& ini, const char* section, const char* key, std::string& value) {
  const std::string v = ini.ReadString(section, key, "");
  if (!v.empty()) value = platform::WithTrailingDelim(v);
}

}  // namespace

TServiceSettings::TServiceSettings() : PastaCaixa(platform::DriveRoot()) {}

TServiceSettings TServiceSettings::Load(const std::string& path) {
  TServiceSettings s;
  const TIniFile ini(path);
  ReadFolder(ini, "Integrador", "PastaInput", s.PastaInput);
  ReadFolder(ini, "Integrador", "PastaOutput", s.PastaOutput);
  s.Timeout = ini.ReadInteger("Integrador", "Timeout", s.Timeout);
  const int intervalo = ini.ReadInteger("Servico", "Intervalo", s.Intervalo);
  if (intervalo > 0) s.Intervalo = intervalo;
  ReadFolder(ini, "Caixa", "Pasta", s.PastaCaixa);
  const int logMax = ini.ReadInteger("Log", "TamanhoMaximoKB", s.LogMaxKB);
  if (logMax >= 0) s.LogMaxKB = logMax;
  return s;
}

int TServiceSettings::NumeroCaixa() const {
  const TIniFile ini(PastaCaixa + "ConfCaixa.ini");
  return ini.ReadInteger("Caixa", "IdCaixa", 0);
}

}  // namespace pagvigia
