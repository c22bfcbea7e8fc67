// The database connection as the service sets it up: the design-time
// settings of IBGestalo that stay in force, the login, and the server and
// path that "Gestalo.ini" names. Shared by the polling cycle and the
// operator's status check, so that both attach the very same way.
#pragma once
#include <string>

namespace pagvigia {

class TFbConnection;

inline constexpr const char* kGestaloIniName = "Gestalo.ini";
// The login of the service's connection.
inline constexpr const char* kUsuarioBanco = "USUARIO";
inline constexpr const char* kSenhaBanco = "quorix";

// What "Gestalo.ini" says, with the defaults for a missing file or key.
struct TGestaloIni {
  std::string Servidor;  // "localhost" by default
  std::string Caminho;   // exeDir + "GESTALO.FDB" by default
};
// Reads [Gestalo] Servidor and Caminho of "Gestalo.ini" in `exeDir` (a folder
// with its trailing delimiter). A missing or unreadable file reads as empty.
TGestaloIni LerGestaloIni(const std::string& exeDir);

// The settings of IBGestalo that no cycle changes: character set (ISO8859_1,
// or WIN1252 for a database whose default it is), page size, protocol,
// dialect and buffers, password kept out of Params.
void ConfigurarConexao(TFbConnection& conexao);
// Disconnects, then sets the login, server and path for the next Connect.
void PrepararLogin(TFbConnection& conexao, const TGestaloIni& ini);

}  // namespace pagvigia
