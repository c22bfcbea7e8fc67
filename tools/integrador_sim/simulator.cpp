#include "tools/integrador_sim/simulator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/clock.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "tools/integrador_sim/answer.h"

namespace pagvigia::sim {

namespace {

std::string Timestamp() {
  const platform::DateTime t = platform::SystemClock().LocalNow();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.millisecond);
  return buf;
}

}  // namespace

bool IsConsultation(const Command& c) { return c.componente == "ConsultaNumeroSessao" && c.metodo == "numeroSessao"; }

std::string EscapeField(std::string_view s, bool parameter) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    switch (ch) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '|':
      case '=':
        if (parameter) out += '\\';
        out += ch;
        break;
      default: out += ch;
    }
  }
  return out;
}

Simulator::Simulator(Settings settings) : FSettings(std::move(settings)) {
  FInDir = platform::WithTrailingDelim(FSettings.input);
  FOutDir = platform::WithTrailingDelim(FSettings.output);
  if (!platform::ForceDirectories(FInDir)) throw UsageError("cannot create the input folder " + FInDir);
  if (!platform::ForceDirectories(FOutDir)) throw UsageError("cannot create the output folder " + FOutDir);
  std::error_code ec;
  if (std::filesystem::equivalent(FInDir, FOutDir, ec))
    throw UsageError("the input and output folders are the same folder");
  if (!FSettings.record.empty()) {
    const bool fresh = !platform::FileExists(FSettings.record) || platform::StatFile(FSettings.record).size == 0;
    FRecord.open(FSettings.record, std::ios::binary | std::ios::app);
    if (!FRecord) throw UsageError("cannot open the record file " + FSettings.record);
    if (fresh) FRecord << kRecordHeader << '\n' << std::flush;
  }
}

int Simulator::Run(const volatile std::sig_atomic_t& stop) {
  while (!stop) {
    Step();
    if (Finished()) return 0;
    platform::SystemSleeper().SleepMs(FSettings.pollMs);
  }
  // Stopped: answers still waiting for their delay are never written.
  for (const auto& p : FPending) Record(p.command, "no-answer", "", "", p.time);
  FPending.clear();
  return 0;
}

void Simulator::Step() {
  const auto names = platform::ListFolder(FInDir + "*.xml");
  // Forget commands left in place that are gone now (the client removed them).
  for (auto it = FLeft.begin(); it != FLeft.end();) {
    if (std::find(names.begin(), names.end(), *it) == names.end()) it = FLeft.erase(it);
    else ++it;
  }
  for (const auto& name : names) {
    if (FSettings.exitAfter > 0 && FReceived >= FSettings.exitAfter) break;
    if (!name.ends_with(".xml") || FLeft.count(name)) continue;
    Take(name);
  }
  WriteDue(false);
}

void Simulator::Take(const std::string& name) {
  const std::string path = FInDir + name;
  std::string bytes;
  try {
    // Commands appear under their ".xml" name complete (written, then
    // renamed), so one read gives the whole command.
    bytes = platform::ReadFileBytes(path);
  } catch (const platform::FileError& e) {
    // Gone meanwhile (the client removed it to send it again): nothing to
    // record. Still there but unreadable: recorded once and left in place.
    if (platform::PathExists(path)) {
      Command c;
      c.fileName = name;
      c.fileSessao = CheckCommand(name, "").fileSessao;
      c.falhas.push_back(std::string("cannot read the file: ") + e.what());
      FLeft.insert(name);
      ++FReceived;
      Record(c, "left", "", "", Timestamp());
    }
    return;
  }
  const Command c = CheckCommand(name, bytes);
  const std::string method = c.metodo.empty() ? MethodFromFileName(name) : c.metodo;
  const Resolved r = FSettings.For(method);
  if (r.neverTake) {
    FLeft.insert(name);
    ++FReceived;
    Record(c, "left", "", "", Timestamp());
    return;
  }
  // Taking is one rename, so that a command the client removes at the same
  // moment is either taken whole by us or not at all.
  const std::string taken = path + ".sim-taken";
  if (std::rename(path.c_str(), taken.c_str()) != 0) return;
  platform::DeleteFile(taken);

  const auto sessao = c.AnswerSession();
  std::string xml;
  if (!c.Ok() && FSettings.onFailure != FailureMode::Normal) {
    if (FSettings.onFailure == FailureMode::ErrorAnswer && sessao) xml = FailureXml(c, *sessao, r.indent);
  } else if (sessao && c.envelope && IsConsultation(c)) {
    // Asked about an earlier session: the answer it was given (whether or not
    // it was ever written), or word that the session is unknown.
    Resolved consulta = r;
    const std::string* numero = c.Param("numeroSessao");
    const auto guardada = numero ? FKept.find(*numero) : FKept.end();
    consulta.retorno = guardada != FKept.end() ? guardada->second
                                                : "{sessao}|Sessão " + (numero ? *numero : std::string()) +
                                                      " não encontrada";
    if (!r.noAnswer) xml = AnswerXml(c, consulta, *sessao, 0);
  } else if (sessao && c.envelope && (!r.noAnswer || c.componente == "VFP-e")) {
    // A VFP-e method taken but not answered was still processed: its answer
    // is kept for a consultation.
    auto [it, fresh] = FNextId.try_emplace(method, r.idStart);
    const std::int64_t id = it->second++;
    if (!r.answerFile.empty()) {
      try {
        xml = Expand(platform::ReadFileBytes(r.answerFile), c, *sessao, id);
      } catch (const platform::FileError& e) {
        std::cerr << "integrador-sim: " << e.what() << '\n';
      }
    } else {
      xml = AnswerXml(c, r, *sessao, id);
    }
    if (!xml.empty()) FKept[std::to_string(*sessao)] = xml;
    if (r.noAnswer) xml.clear();
  }
  ++FReceived;
  if (!xml.empty() && r.declaration && r.answerFile.empty())
    xml = Declaration(r.encoding) + (r.indent ? "\r\n" : "") + xml;
  if (xml.empty()) {
    Record(c, "no-answer", "", "", Timestamp());
    return;
  }
  const std::string code = c.Ok() || FSettings.onFailure == FailureMode::Normal ? r.code : "EE";
  FPending.push_back({platform::SystemClock().NowMs() + r.delayMs, AnswerName(c), Encode(xml, r.encoding), c,
                      r.answerFile.empty() ? code : "", Timestamp()});
}

std::string Simulator::AnswerName(const Command& c) const {
  std::string stem = c.fileName.substr(0, c.fileName.size() - 4);
  return stem + "-resposta.xml";
}

void Simulator::WriteDue(bool all) {
  const std::int64_t now = platform::SystemClock().NowMs();
  for (auto it = FPending.begin(); it != FPending.end();) {
    if (!all && it->dueMs > now) {
      ++it;
      continue;
    }
    // Written under a name that does not end in ".xml", then renamed, so the
    // client never reads half an answer.
    const std::string tmp = FOutDir + it->name + ".part";
    std::string written = it->name;
    try {
      platform::WriteFileBytes(tmp, it->bytes);
      for (int n = 2; !platform::RenameNoReplace(tmp, FOutDir + written); ++n) {
        if (n > 1000) throw platform::FileError("cannot rename " + tmp, 0);
        written = it->name.substr(0, it->name.size() - 4) + "-" + std::to_string(n) + ".xml";
      }
    } catch (const platform::FileError& e) {
      std::cerr << "integrador-sim: cannot write the answer " << it->name << ": " << e.what() << '\n';
      platform::DeleteFile(tmp);
      written.clear();
    }
    // The record line follows the answer, so that a reader of the record
    // finds the answer in place.
    Record(it->command, written.empty() ? "no-answer" : "answer", written, written.empty() ? "" : it->code, it->time);
    it = FPending.erase(it);
  }
}

void Simulator::Record(const Command& c, const std::string& action, const std::string& answer,
                       const std::string& code, const std::string& time) {
  if (!FRecord.is_open()) return;
  std::string params;
  for (const auto& p : c.parametros) {
    if (!params.empty()) params += '|';
    params += EscapeField(p.nome, true) + "=" + EscapeField(p.valor, true);
  }
  std::string falhas;
  for (const auto& f : c.falhas) falhas += (falhas.empty() ? "" : "; ") + f;
  const auto sessao = c.AnswerSession();
  // One write per line, so that a reader never sees half a line end.
  const std::string line = time + '\t' + EscapeField(c.fileName) + '\t' + (c.Ok() ? "ok" : "failed") + '\t' + action +
                           '\t' + EscapeField(c.metodo) + '\t' + EscapeField(c.componente) + '\t' +
                           (sessao ? std::to_string(*sessao) : "") + '\t' + EscapeField(c.chave.value_or("")) + '\t' +
                           params + '\t' + EscapeField(answer) + '\t' + EscapeField(code) + '\t' +
                           EscapeField(falhas) + '\t' + EscapeField(c.xml) + '\n';
  FRecord.write(line.data(), static_cast<std::streamsize>(line.size()));
  FRecord.flush();
}

}  // namespace pagvigia::sim
