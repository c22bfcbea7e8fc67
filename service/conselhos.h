// What to do about a failure, for the person who has to fix it: one text for
// the status check's report and for "Pagvigia.log", so that both give the
// same advice for the same failure. A database error comes with the server's
// own message on one line.
#pragma once
#include <exception>
#include <string>

namespace pagvigia {

// The kinds of failed attach the advice tells apart.
enum class TFalhaConexao {
  ServidorInalcancado,  // nothing answered at the server's address and port
  LoginRecusado,        // the server refused the service's user name or password
  BancoNaoAberto,       // the server did not open the file that Caminho names
  Outra
};
TFalhaConexao ClassificarFalhaConexao(const std::exception& e);

// The text with its line breaks and runs of blanks made one blank, trimmed.
std::string UmaLinha(const std::string& text);

// The server's messages of a client error ("ISC ERROR MESSAGE:" and what
// follows), joined with "; " on one line; any other exception's message on
// one line.
std::string TextoErroBanco(const std::exception& e);

// The port of a "Servidor" value: what follows "/" in "host/3051", else the
// server's default, 3050.
std::string PortaServidor(const std::string& servidor);

// What to do about a failed attach to `servidor` (Gestalo.ini's value).
std::string ConselhoConexao(TFalhaConexao falha, const std::string& servidor);
// What to do about any other database error (a statement the server refused
// in the middle of a cycle).
inline constexpr const char* kConselhoErroBanco =
    "Rode o Pagvigia com -status para verificar o banco; se persistir, veja o servidor Firebird";
// What to do when the client library cannot be loaded.
inline constexpr const char* kConselhoBibliotecaCliente =
    "Instale a biblioteca cliente do Firebird (pacote libfbclient2 no Debian, fbclient.dll no Windows)";

// An Integrador that does not take the commands.
inline constexpr const char* kConselhoSemResposta =
    "Verifique se o Integrador está rodando e se PastaInput é a pasta que ele lê";
// A command file that cannot be written in the input folder.
inline constexpr const char* kConselhoPastaInput =
    "Verifique se PastaInput existe, se o usuário do serviço pode escrever nela e se o disco não está cheio";
// A pending row the server cannot hand over.
inline constexpr const char* kConselhoLinhaIlegivel =
    "Corrija o valor nessa linha (ou o conjunto de caracteres da coluna); ela é lida de novo a cada ciclo";
// A missing "ConfCaixa.ini", or one without IdCaixa.
inline constexpr const char* kConselhoConfCaixa = "Crie-o com a seção [Caixa] e a chave IdCaixa=<número deste caixa>";
// A cash register without its MSAUT row.
std::string ConselhoMSAut(int caixa);

// The log's text for a database error: the server's message, " — " and the
// advice; for an attach, the advice for its kind of failure.
std::string LinhaErroConexao(const std::exception& e, const std::string& servidor);
std::string LinhaErroBanco(const std::exception& e);

}  // namespace pagvigia
