// One installation for the operator's read-only looks (the status check and
// the explanation of one row): the program's folder with its three INI
// files, a log of twelve entries and a last cycle's state, the Integrador's
// folders and a database.
#pragma once
#include <filesystem>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/firebird_db.h"
#include "tests/support/temp_dir.h"

namespace pagvigia::testing {

struct Installation {
  TempDir root{"pagvigia-status"};
  std::string dir = root / "app/";
  std::string in = root / "in/";
  std::string out = root / "out/";
  FirebirdDb* db = nullptr;
  int connectTimeoutSec = 10;

  explicit Installation(FirebirdDb& database) : db(&database) {
    for (const auto& d : {dir, in, out}) std::filesystem::create_directories(d);
    Write("Gestalo.ini", "[Gestalo]\r\nServidor=" + db->host() + "\r\nCaminho=" + db->path() + "\r\n");
    Write("ConfCaixa.ini", "[Caixa]\r\nIdCaixa=1\r\n");
    PagvigiaIni("30", "60000");
    std::string log;
    for (int i = 1; i <= 12; ++i) log += "08/12/2026 10:00:" + std::to_string(10 + i) + " - linha " + std::to_string(i) + "\r\n";
    Write("Pagvigia.log", log);
    UltimoCiclo("3 linhas concluídas, 1 recusada pelo Integrador");
  }
  // The last cycle's state file, as the service writes it (Windows-1252).
  void UltimoCiclo(const std::string& resumo) {
    Write("Pagvigia_UltimoCiclo.txt",
          platform::Utf8ToAnsi("08/12/2026 14:03:22 - Último ciclo 14:03:22: " + resumo + "\r\n"));
  }
  // Pagvigia.ini with these texts for Timeout and Intervalo.
  void PagvigiaIni(const std::string& timeout, const std::string& intervalo) {
    Write("Pagvigia.ini", "[Integrador]\r\nPastaInput=" + in + "\r\nPastaOutput=" + out + "\r\nTimeout=" + timeout +
                              "\r\n[Servico]\r\nIntervalo=" + intervalo + "\r\n[Caixa]\r\nPasta=" + dir + "\r\n");
  }
  void Write(const std::string& name, const std::string& bytes) { platform::WriteFileBytes(dir + name, bytes); }
  void Folder(const std::string& name) {
    std::filesystem::remove(dir + name);
    std::filesystem::create_directories(dir + name);
  }
};

}  // namespace pagvigia::testing
