#include "rules/rule_file.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// The file's time and size now; none while it cannot be looked at (an editor may be replacing
// it), which the reading that follows a change would tell.
std::optional<FileLook> LookAt(const std::string& path) {
  std::error_code status;
  const std::filesystem::path file = std::filesystem::u8path(path);
  FileLook look;
  look.written = std::filesystem::last_write_time(file, status);
  if (status) return std::nullopt;
  look.size = std::filesystem::file_size(file, status);
  if (status) return std::nullopt;
  return look;
}

}  // namespace

RuleFile::RuleFile(std::string path) : path_(std::move(path)) {}

Result<Noted<std::vector<ScriptRule>>> RuleFile::ReadFirst() {
  looks_.read = LookAt(path_);
  looks_.last = looks_.read;
  return ReadScriptRules(path_);
}

RuleFileNews RuleFile::Look(std::chrono::steady_clock::time_point now,
                            const std::vector<ScriptRule>& inUse) {
  RuleFileNews found;
  if (now < checked_ + kRuleFileCheck) return found;
  checked_ = now;
  const FileLooks before = looks_;
  const LookDecision decision = DecideOnLook(before, LookAt(path_));
  looks_ = decision.looks;
  if (!decision.readAgain) return found;
  Result<Noted<std::vector<ScriptRule>>> read = ReadScriptRules(path_);
  // Written to while it was read: read again once it has stayed the same.
  if (LookAt(path_) != decision.looks.read) {
    looks_.read = before.read;
    return found;
  }
  if (!read) {
    found.trouble.push_back("rules not read again, the " + std::to_string(inUse.size()) +
                            " rules before stay: " + read.why());
    return found;
  }
  for (const Reason& note : read->notes) found.trouble.push_back(note.text);
  const std::vector<std::string> changes = RuleChanges(inUse, read->value);
  found.news.push_back("rules read again: " + std::to_string(read->value.size()) + " rules, " +
                       std::to_string(changes.size()) + " lines changed");
  found.news.insert(found.news.end(), changes.begin(), changes.end());
  found.rules = std::move(read->value);
  return found;
}
