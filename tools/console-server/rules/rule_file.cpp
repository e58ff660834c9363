#include "rules/rule_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/text_bytes.h"
#include "programs/find_program.h"

namespace {

namespace fs = std::filesystem;

// What a look at the rule file sees: its time and size, or what is wrong with it now. Neither
// while it cannot be looked at (an editor may be replacing it): the reading after a change tells.
struct Sight {
  std::optional<FileLook> look;
  std::string trouble;
};

Sight LookAt(const std::string& path) {
  std::error_code status;
  const fs::path file = fs::u8path(path);
  // Through a link, as the file is read.
  const fs::file_type type = fs::status(file, status).type();
  switch (type) {
    case fs::file_type::regular:
      break;
    case fs::file_type::not_found:
      return {std::nullopt, "is gone (deleted, renamed or a link to nothing)"};
    case fs::file_type::directory:
      return {std::nullopt, "is a folder now"};
    case fs::file_type::none:
    case fs::file_type::unknown:
      return {};
    default:
      return {std::nullopt, "is no file now (a FIFO, a socket or a device)"};
  }
  Sight sight;
  FileLook look;
  look.written = fs::last_write_time(file, status);
  if (status) return sight;
  look.size = fs::file_size(file, status);
  if (status) return sight;
  sight.look = look;
  return sight;
}

std::string Plural(std::size_t count, const std::string& thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// The lines an edit changed, from RuleChanges' "- " and "+ " lines: a line replaced is one of
// each, and counts once.
std::size_t ChangedLines(const std::vector<std::string>& changes) {
  const auto removed = static_cast<std::size_t>(
      std::count_if(changes.begin(), changes.end(),
                    [](const std::string& change) { return StartsWith(change, "- "); }));
  return std::max(removed, changes.size() - removed);
}

}  // namespace

RuleFile::RuleFile(std::string path) : path_(std::move(path)) {}

Result<Noted<std::vector<ScriptRule>>> RuleFile::ReadFirst() {
  looks_.read = LookAt(path_).look;
  looks_.last = looks_.read;
  Result<Noted<std::vector<ScriptRule>>> read = ReadScriptRules(path_);
  if (read) NoteProgramsThatCannotRun(read->value);
  return read;
}

void RuleFile::NoteProgramsThatCannotRun(const std::vector<ScriptRule>& rules) {
  cannotRun_.clear();
  for (const ScriptRule& rule : rules) {
    if (!rule.program.empty() && !rule.couldRun) {
      cannotRun_.push_back(rule.command);
    }
  }
}

RuleFileNews RuleFile::Look(ServerClock::time_point now, const std::vector<ScriptRule>& inUse) {
  RuleFileNews found;
  if (now < checked_ + kRuleFileCheck) return found;
  checked_ = now;
  // A program given the execute permission, or put in place, runs from now on: say so.
  for (const ScriptRule& rule : inUse) {
    const auto waiting = std::find(cannotRun_.begin(), cannotRun_.end(), rule.command);
    if (waiting == cannotRun_.end() || rule.program.empty()) continue;
    if (const Result<std::string> runs = FindProgram(rule.program, rule.folder)) {
      found.news.push_back("/" + rule.command + " can run now: " + *runs);
      cannotRun_.erase(waiting);
    }
  }
  const Sight sight = LookAt(path_);
  // Told once it was seen so at two looks, so that an editor replacing the file is not told.
  if (!sight.trouble.empty() && sight.trouble == lastTrouble_ && sight.trouble != toldTrouble_) {
    found.trouble.push_back(path_ + " " + sight.trouble + ": the " + Plural(inUse.size(), "rule") +
                            " before stay");
    toldTrouble_ = sight.trouble;
  }
  lastTrouble_ = sight.trouble;
  if (sight.trouble.empty()) toldTrouble_.clear();
  const FileLooks before = looks_;
  const LookDecision decision = DecideOnLook(before, sight.look);
  looks_ = decision.looks;
  if (!decision.readAgain) return found;
  Result<Noted<std::vector<ScriptRule>>> read = ReadScriptRules(path_);
  // Written to while it was read: read again once it has stayed the same.
  if (LookAt(path_).look != decision.looks.read) {
    looks_.read = before.read;
    return found;
  }
  if (!read) {
    found.trouble.push_back("rules not read again, the " + Plural(inUse.size(), "rule") +
                            " before stay: " + read.why());
    return found;
  }
  for (const Reason& note : read->notes) found.trouble.push_back(note.text);
  const std::vector<std::string> changes = RuleChanges(inUse, read->value);
  found.news.push_back("rules read again: " + Plural(read->value.size(), "rule") + ", " +
                       Plural(ChangedLines(changes), "line") + " changed");
  found.news.insert(found.news.end(), changes.begin(), changes.end());
  NoteProgramsThatCannotRun(read->value);
  found.rules = std::move(read->value);
  return found;
}
