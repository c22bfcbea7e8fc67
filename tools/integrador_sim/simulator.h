// The simulator's loop: looks at the input folder every few milliseconds,
// takes each complete ".xml" command (never a ".tmp"), checks it, writes its
// answer into the output folder under a temporary name and renames it to
// ".xml", and appends one line per command to the record.
#pragma once
#include <csignal>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tools/integrador_sim/command.h"
#include "tools/integrador_sim/settings.h"

namespace pagvigia::sim {

// The first line of a record file: the names of its tab-separated fields.
inline constexpr const char* kRecordHeader =
    "# time\tfile\tcheck\taction\tmethod\tcomponent\tsession\tchave\tparameters\tanswer\tcode\tfailures\txml";

// Escapes a record field: backslash, tab, CR and LF; in a parameter name or
// value also "|" and "=".
std::string EscapeField(std::string_view s, bool parameter = false);

// The generic call that asks about an earlier session (parameter
// numeroSessao): answered with the answer that session was given, XML
// escaped as the retorno text, or "<session>|Sessão <n> não encontrada".
bool IsConsultation(const Command& c);

class Simulator {
 public:
  // Creates the folders and opens the record; raises UsageError when it cannot.
  explicit Simulator(Settings settings);

  // Runs until `stop` becomes non-zero or the --exit-after count is reached
  // and every answer is written. Returns the process exit status.
  int Run(const volatile std::sig_atomic_t& stop);
  // One look at the input folder, then writes the answers that are due.
  void Step();
  // Commands recorded so far.
  std::int64_t Received() const { return FReceived; }
  bool Finished() const { return FSettings.exitAfter > 0 && FReceived >= FSettings.exitAfter && FPending.empty(); }

 private:
  struct Pending {
    std::int64_t dueMs;
    std::string name;   // answer file name
    std::string bytes;
    Command command;    // recorded once the answer is in place
    std::string code;
    std::string time;
  };

  void Take(const std::string& name);
  void WriteDue(bool all);
  void Record(const Command& c, const std::string& action, const std::string& answer, const std::string& code,
              const std::string& time);
  std::string AnswerName(const Command& c) const;

  Settings FSettings;
  std::string FInDir, FOutDir;  // with a trailing delimiter
  std::ofstream FRecord;
  std::set<std::string> FLeft;  // commands seen and deliberately left in place
  std::map<std::string, std::int64_t> FNextId;
  // The answer of every VFP-e session processed, by session number.
  std::map<std::string, std::string> FKept;
  std::vector<Pending> FPending;
  std::int64_t FReceived = 0;
  std::int64_t FAnswerSeq = 0;
};

}  // namespace pagvigia::sim
