#include "service/resumo_ciclo.h"

#include <cstdio>
#include <exception>

#include "platform/files.h"
#include "platform/service_host.h"
#include "service/service_log.h"

namespace pagvigia {
namespace {

constexpr const char* kSemConexao = "sem conexão com o banco";
constexpr const char* kCaixaNaoIdentificado = "caixa não identificado, nada enviado";
constexpr const char* kInterrompido = "; interrompido: ";
// After the count: "1 falha", "2 falhas".
constexpr const char* kFalhas = " falha";

std::string Count(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
  return out;
}

}  // namespace

std::string TextoResumoCiclo(const TResumoCiclo& r) {
  char hora[16];
  std::snprintf(hora, sizeof hora, "%02d:%02d:%02d", r.Fim.hour, r.Fim.minute, r.Fim.second);
  std::string text = std::string("Último ciclo ") + hora + ": ";
  if (!r.Conectado) {
    text += kSemConexao;
  } else if (!r.CaixaIdentificado) {
    text += kCaixaNaoIdentificado;
  } else if (r.Concluidas + r.Recusadas + r.Falhas == 0) {
    text += "nenhuma linha pendente";
  } else {
    text += Count(r.Concluidas, "linha concluída", "linhas concluídas");
    if (r.Recusadas) text += ", " + Count(r.Recusadas, "recusada pelo Integrador", "recusadas pelo Integrador");
    if (r.Falhas) text += ", " + Count(r.Falhas, "falha", "falhas");
  }
  if (!r.Erro.empty()) text += kInterrompido + OneLine(r.Erro);
  return text;
}

bool CicloFalhou(const TResumoCiclo& r) {
  return !r.Conectado || !r.CaixaIdentificado || !r.Erro.empty() || r.Falhas > 0;
}

TGravidadeResumo GravidadeResumo(const std::string& texto) {
  for (const char* frase : {kSemConexao, kCaixaNaoIdentificado, kInterrompido})
    if (texto.find(frase) != std::string::npos) return TGravidadeResumo::Falha;
  const std::size_t falha = texto.find(kFalhas);
  // "falha" or "falhas" as a count's word, not part of a longer one.
  if (falha != std::string::npos && falha > 0 && texto[falha - 1] >= '0' && texto[falha - 1] <= '9')
    return TGravidadeResumo::Aviso;
  return TGravidadeResumo::Ok;
}

void PublicarResumoCiclo(const std::string& path, const TResumoCiclo& r) {
  const std::string text = TextoResumoCiclo(r);
  try {
    platform::NotifyServiceManager("STATUS=" + text);
  } catch (const std::exception&) {
  }
  try {
    const std::string line = FormatServiceLogTime(r.Fim) + " - " + text + "\r\n";
    const std::string tmp = path + ".tmp";
    platform::WriteFileBytes(tmp, platform::EncodeText(line, platform::TextEncoding::Ansi),
                             platform::FileAccess::Private);
    // Replaces the earlier state at once.
    if (!platform::RenameReplacing(tmp, path)) platform::DeleteFile(tmp);
  } catch (const std::exception&) {
    platform::DeleteFile(path + ".tmp");
  }
}

}  // namespace pagvigia
