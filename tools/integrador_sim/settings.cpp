#include "tools/integrador_sim/settings.h"

#include <cstdint>
#include <fstream>
#include <sstream>

#include "platform/integer_text.h"

namespace pagvigia::sim {

void Behaviour::Overlay(const Behaviour& o) {
  if (o.code) code = o.code;
  if (o.message) message = o.message;
  if (o.idStart) idStart = o.idStart;
  if (o.status) status = o.status;
  if (o.paymentMessage) paymentMessage = o.paymentMessage;
  if (o.retorno) retorno = o.retorno;
  if (o.erro) erro = o.erro;
  if (o.body) body = o.body;
  if (o.delayMs) delayMs = o.delayMs;
  if (o.neverTake) neverTake = o.neverTake;
  if (o.noAnswer) noAnswer = o.noAnswer;
  if (o.encoding) encoding = o.encoding;
  if (o.indent) indent = o.indent;
  if (o.declaration) declaration = o.declaration;
  if (o.answerFile) answerFile = o.answerFile;
}

Resolved Settings::For(const std::string& method) const {
  Behaviour b = all;
  if (auto it = methods.find(method); it != methods.end()) b.Overlay(it->second);
  Resolved r;
  if (b.code) r.code = *b.code;
  if (b.message) r.message = *b.message;
  if (b.idStart) r.idStart = *b.idStart;
  if (b.status) r.status = *b.status;
  if (b.paymentMessage) r.paymentMessage = *b.paymentMessage;
  r.retorno = b.retorno;
  if (b.erro) r.erro = *b.erro;
  if (b.body) r.body = *b.body;
  if (b.delayMs) r.delayMs = *b.delayMs;
  if (b.neverTake) r.neverTake = *b.neverTake;
  if (b.noAnswer) r.noAnswer = *b.noAnswer;
  if (b.encoding) r.encoding = *b.encoding;
  if (b.indent) r.indent = *b.indent;
  if (b.declaration) r.declaration = *b.declaration;
  if (b.answerFile) r.answerFile = *b.answerFile;
  return r;
}

namespace {

std::int64_t ToInt(const std::string& key, const std::string& v, std::int64_t min) {
  // Decimal digits with an optional "-"; no "+".
  const auto n = v.starts_with('+') ? std::nullopt : platform::ParseInteger(v, min, INT64_MAX);
  if (!n) throw UsageError("invalid number for " + key + ": \"" + v + "\"");
  return *n;
}

bool ToBool(const std::string& key, const std::string& v) {
  if (v.empty() || v == "true" || v == "1" || v == "yes" || v == "on") return true;
  if (v == "false" || v == "0" || v == "no" || v == "off") return false;
  throw UsageError("invalid true/false for " + key + ": \"" + v + "\"");
}

bool IsFlag(const std::string& key) {
  return key == "saved-locally" || key == "never-take" || key == "no-answer" || key == "indent" ||
         key == "declaration";
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Applies one key to the general settings or to the behaviour `b`.
void Apply(Settings& s, Behaviour& b, const std::string& key, const std::string& v) {
  if (key == "input") s.input = v;
  else if (key == "output") s.output = v;
  else if (key == "record") s.record = v;
  else if (key == "ready-file") s.readyFile = v;
  else if (key == "poll-ms") s.pollMs = ToInt(key, v, 1);
  else if (key == "exit-after") s.exitAfter = ToInt(key, v, 0);
  else if (key == "on-failure") {
    if (v == "ee") s.onFailure = FailureMode::ErrorAnswer;
    else if (v == "none") s.onFailure = FailureMode::NoAnswer;
    else if (v == "answer") s.onFailure = FailureMode::Normal;
    else throw UsageError("on-failure must be ee, none or answer: \"" + v + "\"");
  } else if (key == "code") b.code = v;
  else if (key == "message") b.message = v;
  else if (key == "id-start") b.idStart = ToInt(key, v, INT64_MIN);
  else if (key == "status") b.status = v;
  else if (key == "saved-locally") {
    if (ToBool(key, v)) b.status = "SalvoEmArmazenamentoLocal";
  } else if (key == "payment-message") b.paymentMessage = v;
  else if (key == "retorno") b.retorno = v;
  else if (key == "erro") b.erro = v;
  else if (key == "body") {
    if (v == "accepted") b.body = BodyMode::WhenAccepted;
    else if (v == "always") b.body = BodyMode::Always;
    else if (v == "never") b.body = BodyMode::Never;
    else throw UsageError("body must be accepted, always or never: \"" + v + "\"");
  } else if (key == "delay-ms") b.delayMs = ToInt(key, v, 0);
  else if (key == "never-take") b.neverTake = ToBool(key, v);
  else if (key == "no-answer") b.noAnswer = ToBool(key, v);
  else if (key == "encoding") {
    if (v == "cp1252") b.encoding = AnswerEncoding::Cp1252;
    else if (v == "utf8bom") b.encoding = AnswerEncoding::Utf8Bom;
    else if (v == "utf8") b.encoding = AnswerEncoding::Utf8;
    else if (v == "utf16le") b.encoding = AnswerEncoding::Utf16LE;
    else throw UsageError("encoding must be cp1252, utf8bom, utf8 or utf16le: \"" + v + "\"");
  } else if (key == "indent") b.indent = ToBool(key, v);
  else if (key == "declaration") b.declaration = ToBool(key, v);
  else if (key == "answer-file") b.answerFile = v;
  else throw UsageError("unknown option: " + key);
}

Behaviour& Section(Settings& s, const std::string& method) {
  if (method.empty() || method == "*") return s.all;
  return s.methods[method];
}

}  // namespace

void ReadConfig(const std::string& path, Settings& s) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read config file: " + path);
  std::string line, section;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    if (n == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';') continue;
    if (t.front() == '[' && t.back() == ']') {
      section = Trim(t.substr(1, t.size() - 2));
      continue;
    }
    const auto eq = t.find('=');
    if (eq == std::string::npos)
      throw UsageError(path + ":" + std::to_string(n) + ": expected key=value");
    try {
      // The value keeps its inner blanks; only the blanks around "=" go.
      Apply(s, Section(s, section), Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
    } catch (const UsageError& e) {
      throw UsageError(path + ":" + std::to_string(n) + ": " + e.what());
    }
  }
}

std::optional<Settings> ParseArguments(const std::vector<std::string>& args) {
  Settings s;
  std::string method;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") return std::nullopt;
    if (a.rfind("--", 0) != 0) throw UsageError("unexpected argument: " + a);
    std::string key = a.substr(2), value;
    bool hasValue = false;
    if (const auto eq = key.find('='); eq != std::string::npos) {
      value = key.substr(eq + 1);
      key.erase(eq);
      hasValue = true;
    }
    if (!hasValue && !IsFlag(key)) {
      if (i + 1 >= args.size()) throw UsageError("missing value for --" + key);
      value = args[++i];
    }
    if (key == "method") method = value;
    else if (key == "config") ReadConfig(value, s);
    else Apply(s, Section(s, method), key, value);
  }
  if (s.input.empty() || s.output.empty()) throw UsageError("--input and --output are required");
  return s;
}

const char* UsageText() {
  return R"(integrador-sim: plays the Integrador over its input and output folders.

  integrador-sim --input DIR --output DIR [options] [--method NAME options]...

General options:
  --input DIR            folder watched for commands (*.xml; created if missing)
  --output DIR           folder the answers are written into (created if missing)
  --record FILE          appends one line per command received (UTF-8)
  --ready-file FILE      written once the folders are being watched
  --poll-ms N            pause between two looks at the input folder (10)
  --exit-after N         exit after N commands, once their answers are written
  --on-failure MODE      for a command that fails the checks: ee (an "EE"
                         answer when the session is known; default), none,
                         or answer (answer as if it were sound)
  --config FILE          reads options from FILE (key=value, [Method] sections)

Behaviour options (for every method, or for the method named by the last
--method NAME; "--method *" goes back to every method):
  --code TEXT            IntegradorResposta/Codigo (AP)
  --message TEXT         IntegradorResposta/Valor (a Portuguese default)
  --id-start N           first id of the method's counter (1)
  --status TEXT          StatusPagamento of EnviarPagamento (Processado)
  --saved-locally        StatusPagamento SalvoEmArmazenamentoLocal
  --payment-message TEXT Mensagem of EnviarPagamento
  --retorno TEXT         retorno value ({id}, {sessao}, {metodo} are replaced)
  --erro TEXT            adds an Erro group with this Descricao
  --body MODE            method body: accepted (only with AP; default),
                         always, never
  --delay-ms N           wait N ms before answering
  --never-take           leave the commands in the input folder, never answer
  --no-answer            take the commands but never answer
  --encoding ENC         cp1252 (default), utf8bom, utf8 (no mark), utf16le
  --indent               answer on several lines, indented
  --declaration          begin the answer with an XML declaration naming its encoding
  --answer-file FILE     answer with FILE's text (UTF-8; {sessao} replaced)
)";
}

}  // namespace pagvigia::sim
