#include "service/conselhos.h"

#include <algorithm>
#include <cstdint>

#include "db/fb_errors.h"
#include "service/conexao_banco.h"

namespace pagvigia {
namespace {

// Client error codes the advice tells apart.
constexpr std::int64_t kIscNetworkError = 335544721;   // server not reached
constexpr std::int64_t kIscConnectReject = 335544421;  // no answer in time, or not a Firebird server
constexpr std::int64_t kIscLogin = 335544472;          // user name or password refused
constexpr std::int64_t kIscIoError = 335544344;        // database file not opened

bool HasCode(const std::exception& e, std::int64_t code) {
  const auto* isc = dynamic_cast<const EFbISCError*>(&e);
  return isc && std::find(isc->ErrorCodes.begin(), isc->ErrorCodes.end(), code) != isc->ErrorCodes.end();
}

}  // namespace

std::string UmaLinha(const std::string& text) {
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

TFalhaConexao ClassificarFalhaConexao(const std::exception& e) {
  if (HasCode(e, kIscNetworkError) || HasCode(e, kIscConnectReject)) return TFalhaConexao::ServidorInalcancado;
  if (HasCode(e, kIscLogin)) return TFalhaConexao::LoginRecusado;
  if (HasCode(e, kIscIoError)) return TFalhaConexao::BancoNaoAberto;
  return TFalhaConexao::Outra;
}

std::string TextoErroBanco(const std::exception& e) {
  if (const auto* isc = dynamic_cast<const EFbISCError*>(&e)) return isc->ServerMessageLine();
  return UmaLinha(e.what());
}

std::string PortaServidor(const std::string& servidor) {
  const std::size_t barra = servidor.rfind('/');
  if (barra == std::string::npos || barra + 1 == servidor.size()) return "3050";
  return servidor.substr(barra + 1);
}

std::string ConselhoConexao(TFalhaConexao falha, const std::string& servidor) {
  switch (falha) {
    case TFalhaConexao::ServidorInalcancado:
      return "Verifique se o Firebird está rodando nessa máquina, se a porta " + PortaServidor(servidor) +
             " está liberada e Servidor no Gestalo.ini";
    case TFalhaConexao::LoginRecusado:
      return std::string("Crie no servidor o usuário ") + kUsuarioBanco +
             " com a senha que o Pagvigia usa (veja o README, \"Login no banco\")";
    case TFalhaConexao::BancoNaoAberto:
      return "Corrija Caminho no Gestalo.ini (caminho do arquivo na máquina do servidor, ou seu apelido)";
    case TFalhaConexao::Outra: break;
  }
  return "Confira Servidor e Caminho no Gestalo.ini e o servidor Firebird";
}

std::string ConselhoMSAut(int caixa) {
  const std::string n = std::to_string(caixa);
  return "Cadastre o caixa " + n + " no Gestalo, ou corrija IdCaixa no ConfCaixa.ini";
}

std::string LinhaErroConexao(const std::exception& e, const std::string& servidor) {
  return TextoErroBanco(e) + " — " + ConselhoConexao(ClassificarFalhaConexao(e), servidor);
}

std::string LinhaErroBanco(const std::exception& e) { return TextoErroBanco(e) + " — " + kConselhoErroBanco; }

}  // namespace pagvigia
