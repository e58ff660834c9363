// The rule file that --script names: its first reading, and a new one whenever it changed. The
// file is looked at once a second and read again only once it has stayed the same over two looks
// (see stable_file.h), so that a file an editor is still writing is never applied half written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "rules/script_rules.h"
#include "rules/stable_file.h"
#include "server_clock.h"

// How often the rule file is looked at for a change.
constexpr auto kRuleFileCheck = std::chrono::seconds(1);

// What a look at the rule file found, for console-server to print and use.
struct RuleFileNews {
  std::optional<std::vector<ScriptRule>> rules;  // the new rules, when it changed and reads well
  std::vector<std::string> news;                 // for "*" lines
  std::vector<std::string> trouble;              // for "!" lines
};

class RuleFile {
 public:
  explicit RuleFile(std::string path);

  // The first reading: the rules with their warnings, or why the file cannot be used.
  Result<Noted<std::vector<ScriptRule>>> ReadFirst();

  // Looks at the file once kRuleFileCheck has passed since the last look, and reads it again when
  // it changed. Rules that do not read leave the ones in use, which inUse holds. A file that is
  // gone or no file now (a folder, a FIFO, a device) gets one "!" line each time it becomes so,
  // and the rules in use stay; a program of a rule that could not run and can now gets a "*" line.
  RuleFileNews Look(ServerClock::time_point now, const std::vector<ScriptRule>& inUse);

  const std::string& Path() const { return path_; }

 private:
  void NoteProgramsThatCannotRun(const std::vector<ScriptRule>& rules);

  std::string path_;
  FileLooks looks_;
  ServerClock::time_point checked_;
  // What is wrong with the file at the last look, and what a "!" line told last.
  std::string lastTrouble_;
  std::string toldTrouble_;
  // The commands whose program could not run when the rules were read.
  std::vector<std::string> cannotRun_;
};
