#include "service/conexao_banco.h"

#include "db/fb_connection.h"
#include "service/ini_file.h"

namespace pagvigia {

TGestaloIni LerGestaloIni(const std::string& exeDir) {
  const TIniFile ini(exeDir + kGestaloIniName);
  return {ini.ReadString("Gestalo", "Servidor", "localhost"),
          ini.ReadString("Gestalo", "Caminho", exeDir + "GESTALO.FDB")};
}

void ConfigurarConexao(TFbConnection& conexao) {
  conexao.SetDatabaseName("Gestalo");
  conexao.CacheStatementHandles = false;
  conexao.PasswordStorage = psNotSecure;
  conexao.Params.Clear();
  conexao.Params.Add("CHARACTER SET=ISO8859_1");
  conexao.Params.Add("PAGE SIZE=8192");
  conexao.Params.Add("PROTOCOL=TCP/IP");
  conexao.Params.Add("USER NAME=SYSDBA");
  conexao.Params.Add("SERVER=localhost");
  conexao.Params.Add("SQL DIALECT=3");
  conexao.Params.Add("BUFFERS=<default>");
  // A database made with WIN1252 holds characters that ISO8859_1 lacks
  // (’, €, Œ...): the server could not hand them over in ISO8859_1.
  conexao.DatabaseCharSetsUsed = {"WIN1252"};
}

void PrepararLogin(TFbConnection& conexao, const TGestaloIni& ini) {
  conexao.Disconnect();
  conexao.SetUsername(kUsuarioBanco);
  conexao.SetPassword(kSenhaBanco);
  conexao.SetServer(ini.Servidor);
  conexao.SetPath(ini.Caminho);
}

}  // namespace pagvigia
