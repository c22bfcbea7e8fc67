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

}  // namespace



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

bool ConectarLeitura(TRelatorio& relatorio, const std::shared_ptr<TBancoLeitura>& db, const TGestaloIni& gestalo,
                     int connectTimeoutSec) {
  try {
    db->conn.ClientLib->Open();
    relatorio.Ok("Biblioteca cliente do Firebird: " + db->conn.ClientLib->LoadedFile());
  } catch (const std::exception& e) {
    relatorio.Fail("Biblioteca cliente do Firebird não carregada: " + TextoErroBanco(e), kConselhoBibliotecaCliente);
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
                   ConselhoConexao(TFalhaConexao::ServidorInalcancado, gestalo.Servidor));
    return false;
  }
  if (*error) {
    try {
      std::rethrow_exception(*error);
    } catch (const std::exception& e) {
      const TFalhaConexao falha = ClassificarFalhaConexao(e);
      const std::string todo = ConselhoConexao(falha, gestalo.Servidor);
      if (falha != TFalhaConexao::ServidorInalcancado && falha != TFalhaConexao::Outra)
        relatorio.Ok("Servidor " + server + " alcançado");
      switch (falha) {
        case TFalhaConexao::ServidorInalcancado:
          relatorio.Fail("Servidor " + server + " não alcançado: " + TextoErroBanco(e), todo);
          break;
        case TFalhaConexao::LoginRecusado:
          relatorio.Fail("Login do usuário " + std::string(kUsuarioBanco) + " recusado: " + TextoErroBanco(e), todo);
          break;
        case TFalhaConexao::BancoNaoAberto:
          relatorio.Fail("O servidor não abriu o banco " + gestalo.Caminho + ": " + TextoErroBanco(e), todo);
          break;
        case TFalhaConexao::Outra:
          relatorio.Fail("Conexão com o banco falhou: " + TextoErroBanco(e), todo);
          break;
      }
    } catch (...) {
      relatorio.Fail("Conexão com o banco falhou", "Confira Servidor e Caminho no Gestalo.ini");
    }
    return false;
  }
  relatorio.Ok("Servidor " + server + " alcançado");
  relatorio.Ok("Login do usuário " + std::string(kUsuarioBanco) + " aceito; banco " + gestalo.Caminho + " aberto");
  return true;
}

}  // namespace pagvigia
