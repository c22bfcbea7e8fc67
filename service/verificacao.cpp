// The pieces the operator's read-only checks share.
#include "service/verificacao.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "db/fb_client_lib.h"
#include "db/fb_errors.h"
#include "service/conexao_banco.h"
#include "service/service_log.h"

namespace pagvigia {
namespace {

// Client error codes the report tells apart.
constexpr std::int64_t kIscNetworkError = 335544721;   // server not reached
constexpr std::int64_t kIscConnectReject = 335544421;  // no answer in time, or not a Firebird server
constexpr std::int64_t kIscLogin = 335544472;          // user name or password refused
constexpr std::int64_t kIscIoError = 335544344;        // database file not opened

bool HasCode(const std::exception& e, std::int64_t code) {
  const auto* isc = dynamic_cast<const EFbISCError*>(&e);
  return isc && std::find(isc->ErrorCodes.begin(), isc->ErrorCodes.end(), code) != isc->ErrorCodes.end();
}

}  // namespace

std::string OneLine(std::string text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (blank || out.empty())) continue;
    blank = c == ' ';
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string ErrorText(const std::exception& e) {
  if (const auto* isc = dynamic_cast<const EFbISCError*>(&e)) {
    std::string text;
    bool inMessage = false;
    for (const std::string& line : isc->ErrorMessage) {
      if (line == "ISC ERROR MESSAGE:") {
        inMessage = true;
        continue;
      }
      if (!inMessage || line.empty()) continue;
      if (!text.empty()) text += "; ";
      text += line;
    }
    if (!text.empty()) return OneLine(text);
  }
  return OneLine(e.what());
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string DateBr(const std::string& iso) {
  if (iso.size() < 10) return iso;
  return iso.substr(8, 2) + "/" + iso.substr(5, 2) + "/" + iso.substr(0, 4);
}

std::string MomentoDoDiario(const std::string& d) {
  if (d.size() != 14 || !std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; })) return d;
  return d.substr(6, 2) + "/" + d.substr(4, 2) + "/" + d.substr(0, 4) + " " + d.substr(8, 2) + ":" + d.substr(10, 2) +
         ":" + d.substr(12, 2);
}

void TRelatorio::Line(const std::string& msg) {
  FOut << FormatServiceLogTime(FClock.LocalNow()) << " - " << msg << "\n";
  FOut.flush();
}

TBancoLeitura::TBancoLeitura() {
  ConfigurarConexao(conn);
  conn.DefaultTransaction = &tr;
  tr.ReadOnly = true;
  tr.Isolation = tiCommitted;
  tr.SetAutoCommit(false);
}

bool ConectarLeitura(TRelatorio& relatorio, const std::shared_ptr<TBancoLeitura>& db, const std::string& caminho,
                     int connectTimeoutSec) {
  try {
    db->conn.ClientLib->Open();
    relatorio.Ok("Biblioteca cliente do Firebird: " + db->conn.ClientLib->LoadedFile());
  } catch (const std::exception& e) {
    relatorio.Fail("Biblioteca cliente do Firebird não carregada: " + ErrorText(e),
                   "Instale a biblioteca cliente do Firebird (pacote libfbclient2 no Debian, fbclient.dll no Windows)");
    return false;
  }
  const std::string server = db->conn.Server().empty() ? "localhost" : db->conn.Server();
  db->conn.Params.Add("CONNECT TIMEOUT=" + std::to_string(connectTimeoutSec));
  // The client waits up to the time limit itself; the thread is a second
  // guard for a server that accepts the connection and then says nothing.
  auto error = std::make_shared<std::exception_ptr>();
  std::packaged_task<void()> task([db, error] {
    try {
      db->conn.Connect(false);
    } catch (...) {
      *error = std::current_exception();
    }
  });
  std::future<void> done = task.get_future();
  std::thread(std::move(task)).detach();
  if (done.wait_for(std::chrono::seconds(connectTimeoutSec + 5)) != std::future_status::ready) {
    relatorio.result.AttachAbandoned = true;
    relatorio.Fail("Servidor " + server + " não respondeu em " + std::to_string(connectTimeoutSec + 5) + " s",
                   "Verifique se o Firebird está rodando nessa máquina, se a porta 3050 está liberada e Servidor no "
                   "Gestalo.ini");
    return false;
  }
  if (*error) {
    try {
      std::rethrow_exception(*error);
    } catch (const std::exception& e) {
      if (HasCode(e, kIscNetworkError) || HasCode(e, kIscConnectReject)) {
        relatorio.Fail("Servidor " + server + " não alcançado: " + ErrorText(e),
                       "Verifique se o Firebird está rodando nessa máquina, se a porta 3050 está liberada e Servidor "
                       "no Gestalo.ini");
      } else if (HasCode(e, kIscLogin)) {
        relatorio.Ok("Servidor " + server + " alcançado");
        relatorio.Fail("Login do usuário " + std::string(kUsuarioBanco) + " recusado: " + ErrorText(e),
                       "Crie no servidor o usuário " + std::string(kUsuarioBanco) +
                           " com a senha que o Pagvigia usa (veja o README)");
      } else if (HasCode(e, kIscIoError)) {
        relatorio.Ok("Servidor " + server + " alcançado");
        relatorio.Fail("O servidor não abriu o banco " + caminho + ": " + ErrorText(e),
                       "Corrija Caminho no Gestalo.ini (caminho do arquivo na máquina do servidor, ou seu apelido)");
      } else {
        relatorio.Fail("Conexão com o banco falhou: " + ErrorText(e),
                       "Confira Servidor e Caminho no Gestalo.ini e o servidor Firebird");
      }
    } catch (...) {
      relatorio.Fail("Conexão com o banco falhou", "Confira Servidor e Caminho no Gestalo.ini");
    }
    return false;
  }
  relatorio.Ok("Servidor " + server + " alcançado");
  relatorio.Ok("Login do usuário " + std::string(kUsuarioBanco) + " aceito; banco " + caminho + " aberto");
  return true;
}

}  // namespace pagvigia
