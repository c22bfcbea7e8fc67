// What the simulator does: the folders it watches and writes, and how it
// answers each method. Chosen by command-line options or a small config file.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pagvigia::sim {

// Raised for a bad option or config line; the message says which.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class AnswerEncoding { Cp1252, Utf8Bom, Utf8, Utf16LE };
enum class BodyMode { WhenAccepted, Always, Never };
enum class FailureMode { ErrorAnswer, NoAnswer, Normal };

// How one method is answered. Every member is optional so that a method's own
// settings can be laid over the settings given for all methods.
struct Behaviour {
  std::optional<std::string> code;            // IntegradorResposta/Codigo
  std::optional<std::string> message;         // IntegradorResposta/Valor
  std::optional<std::int64_t> idStart;        // first id of the method's counter
  std::optional<std::string> status;          // StatusPagamento (EnviarPagamento)
  std::optional<std::string> paymentMessage;  // Mensagem (EnviarPagamento)
  std::optional<std::string> retorno;         // retorno value (placeholders allowed)
  std::optional<std::string> erro;            // adds an Erro group when not empty
  std::optional<BodyMode> body;
  std::optional<std::int64_t> delayMs;
  std::optional<bool> neverTake;
  std::optional<bool> noAnswer;
  std::optional<AnswerEncoding> encoding;
  std::optional<bool> indent;
  std::optional<bool> declaration;          // begins the answer with <?xml ...?>
  std::optional<std::string> answerFile;      // answer with this file's text instead

  // Members set in `over` replace ours.
  void Overlay(const Behaviour& over);
};

// A behaviour with every member decided.
struct Resolved {
  std::string code = "AP";
  std::string message;  // empty: the default text for the code
  std::int64_t idStart = 1;
  std::string status = "Processado";
  std::string paymentMessage = "Pagamento recebido pelo validador; sessão {sessao}";
  std::optional<std::string> retorno;  // unset: the method's default
  std::string erro;
  BodyMode body = BodyMode::WhenAccepted;
  std::int64_t delayMs = 0;
  bool neverTake = false;
  bool noAnswer = false;
  AnswerEncoding encoding = AnswerEncoding::Cp1252;
  bool indent = false;
  bool declaration = false;
  std::string answerFile;
};

struct Settings {
  std::string input;
  std::string output;
  std::string record;      // empty: no record file
  std::string readyFile;   // written once the simulator watches its folder
  std::int64_t pollMs = 10;
  std::int64_t exitAfter = 0;  // 0: run until a signal
  FailureMode onFailure = FailureMode::ErrorAnswer;
  Behaviour all;                             // for every method
  std::map<std::string, Behaviour> methods;  // by method name, exact case

  Resolved For(const std::string& method) const;
};

// Parses the command line (without the program name). "--config FILE" reads
// the file at that point, so later options override it. "--help" makes the
// result empty.
std::optional<Settings> ParseArguments(const std::vector<std::string>& args);
// Reads a config file into `settings`.
void ReadConfig(const std::string& path, Settings& settings);
// The usage text.
const char* UsageText();

}  // namespace pagvigia::sim
