#include "service/resumo_ciclo.h"

#include <cstdio>
#include <exception>

#include "platform/files.h"
#include "platform/service_host.h"
#include "service/service_log.h"

namespace pagvigia {
namespace {

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
    text += "sem conexão com o banco";
  } else if (r.Concluidas + r.Recusadas + r.Falhas == 0) {
    text += "nenhuma linha pendente";
  } else {
    text += Count(r.Concluidas, "linha concluída", "linhas concluídas");
    if (r.Recusadas) text += ", " + Count(r.Recusadas, "recusada pelo Integrador", "recusadas pelo Integrador");
    if (r.Falhas) text += ", " + Count(r.Falhas, "falha", "falhas");
  }
  if (!r.Erro.empty()) text += "; interrompido: " + OneLine(r.Erro);
  return text;
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
    platform::WriteFileBytes(tmp, platform::EncodeText(line, platform::TextEncoding::Ansi));
    // Replaces the earlier state at once.
    if (!platform::RenameReplacing(tmp, path)) platform::DeleteFile(tmp);
  } catch (const std::exception&) {
    platform::DeleteFile(path + ".tmp");
  }
}

}  // namespace pagvigia
