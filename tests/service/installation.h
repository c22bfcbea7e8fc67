// One installation for the operator's read-only looks (the status check and
// the explanation of one row): the program's folder with its three INI
// files, a log of twelve entries and a last cycle's state, the Integrador's
// folders and a database.
#pragma once
#include <filesystem>
#include <string>

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
    Write("Pagvigia.ini", "[Integrador]\r\nPastaInput=" + in + "\r\nPastaOutput=" + out +
                              "\r\nTimeout=30\r\n[Servico]\r\nIntervalo=60000\r\n[Caixa]\r\nPasta=" + dir + "\r\n");
    std::string log;
    for (int i = 1; i <= 12; ++i) log += "08/12/2026 10:00:" + std::to_string(10 + i) + " - linha " + std::to_string(i) + "\r\n";
    Write("Pagvigia.log", log);
    Write("Pagvigia_UltimoCiclo.txt", "08/12/2026 14:03:22 - \xDAltimo ciclo 14:03:22: 3 linhas conclu\xED" "das, 1 falha\r\n");
  }
  void Write(const std::string& name, const std::string& bytes) { platform::WriteFileBytes(dir + name, bytes); }
  void Folder(const std::string& name) {
    std::filesystem::remove(dir + name);
    std::filesystem::create_directories(dir + name);
  }
};

}  // namespace pagvigia::testing
