#include "service/linha_comando.h"

#include <charconv>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/service_host.h"

#ifndef PAGVIGIA_VERSION
#error "PAGVIGIA_VERSION comes from the project's version"
#endif

namespace pagvigia {
namespace {

std::string Minusculas(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

}  // namespace

TLinhaComando LerLinhaComando(int argc, const char* const* argv) {
  bool ajuda = false, versao = false, status = false, linha = false, instalar = false, desinstalar = false,
       ciclo = false, console = false, silencioso = false;
  TLinhaComando r;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    std::string_view nome = arg;
    if (nome.substr(0, 2) == "--")
      nome.remove_prefix(2);
    else if (!nome.empty() && (nome.front() == '-' || nome.front() == '/'))
      nome.remove_prefix(1);
    else {
      r.Modo = TModoExecucao::Invalida;
      r.Erro = "argumento desconhecido: " + std::string(arg);
      return r;
    }
    const std::string n = Minusculas(nome);
    if (n == "h" || n == "help" || n == "?" || n == "ajuda")
      ajuda = true;
    else if (n == "versao" || n == "version")
      versao = true;
    else if (n == "status")
      status = true;
    else if (n == "linha") {
      // The row number follows: digits only, not zero, within 64 bits.
      const std::string_view numero = i + 1 < argc && argv[i + 1] ? argv[i + 1] : "";
      std::int64_t valor = 0;
      const auto [fim, erro] = std::from_chars(numero.data(), numero.data() + numero.size(), valor);
      if (erro != std::errc() || fim != numero.data() + numero.size() || valor <= 0) {
        r.Modo = TModoExecucao::Invalida;
        r.Erro = std::string(arg) + " pede o número da linha (MFE_IDENTIFICADORINTERNO), um inteiro positivo" +
                 (numero.empty() ? std::string() : ", não \"" + std::string(numero) + "\"");
        return r;
      }
      linha = true;
      r.Linha = valor;
      ++i;
    } else if (n == "install")
      instalar = true;
    else if (n == "uninstall")
      desinstalar = true;
    else if (n == "once")
      ciclo = true;
    else if (n == "console")
      console = true;
    else if (n == "silent")
      silencioso = true;
    else {
      r.Modo = TModoExecucao::Invalida;
      r.Erro = "opção desconhecida: " + std::string(arg);
      return r;
    }
  }
  r.Silencioso = silencioso;
  r.Modo = ajuda         ? TModoExecucao::Ajuda
           : versao      ? TModoExecucao::Versao
           : status      ? TModoExecucao::Status
           : linha       ? TModoExecucao::Linha
           : instalar    ? TModoExecucao::Instalar
           : desinstalar ? TModoExecucao::Desinstalar
           : ciclo       ? TModoExecucao::Ciclo
           : console     ? TModoExecucao::Console
                         : TModoExecucao::Servico;
  return r;
}

std::string TextoAjuda() {
  const std::string p = platform::kSwitchPrefix;
  const std::pair<std::string, std::string> linhas[] = {
      {"(sem opção)", platform::kSwitchPrefix[0] == '/' ? "roda o serviço (iniciado pelo gerenciador de serviços)"
                                                        : "roda o serviço em primeiro plano (systemd)"},
      {p + "CONSOLE", "roda o serviço em primeiro plano, até Ctrl+C"},
      {p + "ONCE", "roda um ciclo agora e sai (os logs são mantidos)"},
      {p + "STATUS", "confere a instalação e diz o que corrigir"},
      {p + "LINHA N", "mostra a linha N (MFE_IDENTIFICADORINTERNO) e por que ainda não foi enviada"},
      {p + "INSTALL [" + p + "SILENT]", "registra o serviço (apaga os logs)"},
      {p + "UNINSTALL [" + p + "SILENT]", "remove o serviço (apaga os logs)"},
      {p + "VERSAO", "mostra a versão e a plataforma"},
      {p + "?, " + p + "h, --help", "mostra esta lista"}};
  std::string out = "Uso: " + std::string(platform::kProgramName) + " [opção]\n";
  for (const auto& [opcao, texto] : linhas) {
    std::string linha = "  " + opcao;
    // Columns counted in characters: "ç" and "ã" take two bytes each.
    std::size_t largura = 0;
    for (char c : linha) largura += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    out += linha + std::string(largura < 26 ? 26 - largura : 1, ' ') + texto + "\n";
  }
  return out;
}

std::string TextoVersao() { return std::string("Pagvigia ") + PAGVIGIA_VERSION + " (" + platform::BuildPlatform() + ")\n"; }

}  // namespace pagvigia
