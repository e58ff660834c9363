#include "rules/script_rules.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "common/os_error.h"
#include "common/text_bytes.h"
#include "output/printed_line.h"
#include "programs/find_program.h"
#include "rules/rule_fields.h"
#include "rules/rule_trust.h"
#include "rules/strict_modes.h"

namespace {

constexpr std::string_view kReplyArrow = "->";
constexpr std::string_view kRunArrow = "=>";
// The mark that the program takes the player's text as data only (see rule_trust.h).
constexpr std::string_view kMarkedRunArrow = "=>!";
std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Splits at spaces and tabs; double quotes group a word that holds spaces ("" is an empty word).
Result<std::vector<std::string>> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    bool quoted = false;
    for (; i < text.size() && (quoted || (text[i] != ' ' && text[i] != '\t')); ++i) {
      if (text[i] == '"') {
        quoted = !quoted;
      } else {
        word += text[i];
      }
    }
    if (quoted) return Reason{"a double quote is not closed"};
    words.push_back(std::move(word));
  }
  return words;
}

// A note for a program that is not there (yet) or cannot run (yet), from the one look at it.
std::string CannotRunYet(const ScriptRule& rule, const ProgramLook& look, Trust trust) {
  const std::string until = ": /" + rule.command + " cannot run until it ";
  if (look.located) return look.runnable.why() + until + "can";
  std::string note = (trust == Trust::kOwnOnceThere ? rule.program + " is not in " + rule.folder
                                                    : look.located.why()) +
                     until + "is there";
  const std::filesystem::path named = std::filesystem::u8path(rule.program);
  const std::string name = named.filename().u8string();
  if (const std::optional<std::string> near = NearestFileBeside(name, rule.folder)) {
    note += "; did you mean " + Excerpt(*near) + "?";
  }
  // A bare word without an extension may have been meant as a reply.
  const bool bare = rule.program == name || rule.program == "./" + name;
  if (bare && name.find('.') == std::string::npos) {
    note += " (a canned reply takes ->: " + rule.command + " -> TEXT)";
  }
  return note;
}

// Fills in a "=>" rule's program and words, with a note when the program is not there (yet) or
// cannot run (yet); refuses a rule that would give the player's text where it may not go. The
// program is looked up once, here; each run finds it again.
Result<Noted<>> ParseRunRule(std::string_view text, bool marked,
                             const std::filesystem::path& folder, ScriptRule& rule) {
  const Result<std::vector<std::string>> split = SplitWords(text);
  if (!split) return Reason{split.why()};
  std::vector<std::string> words = *split;
  if (words.empty() || words[0].empty()) return Reason{"=> needs a program to run"};
  if (HoldsField(words[0])) {
    return Reason{"the program cannot come from the player's line (" + Excerpt(words[0]) + ")"};
  }
  if (IsBatchFile(words[0])) {
    return Reason{"will not run " + Excerpt(words[0]) +
                  ": cmd.exe reads a batch file's arguments again, and no quoting makes a "
                  "player's text safe there; run a program instead"};
  }
  rule.folder = folder.u8string();
  const ProgramLook look = LookUpProgram(words[0], rule.folder);
  const Result<Noted<Trust>> trust = CheckPlayersText(words, rule.folder, marked, look);
  if (!trust) return Reason{rule.command + ": " + trust.why()};
  // Not there yet: it may run only from beside the rule file, never from the PATH.
  if (trust->value == Trust::kOwnOnceThere) words[0] = "./" + words[0];
  rule.program = words[0];
  rule.arguments.assign(words.begin() + 1, words.end());
  Noted<> parsed;
  parsed.notes = trust->notes;
  for (const std::string& file : OwnCodeFiles(words, rule.folder, look)) {
    const Result<Noted<>> writers = CheckWriters(std::filesystem::u8path(file));
    if (!writers) return Reason{rule.command + ": " + writers.why()};
    parsed.notes.insert(parsed.notes.end(), writers->notes.begin(), writers->notes.end());
  }
  for (Reason& note : parsed.notes) note.text = rule.command + ": " + note.text;
  rule.couldRun = trust->value != Trust::kOwnOnceThere && look.runnable;
  if (!rule.couldRun) parsed.Note(CannotRunYet(rule, look, trust->value));
  const std::string ruleFolder = rule.folder;
  rule.checkBeforeStart = [words, ruleFolder, marked] {
    return CheckBeforeRun(words, ruleFolder, marked);
  };
  return parsed;
}

// The whole file, unless it is larger than a rule file can sensibly be.
Result<std::string> ReadBounded(const std::string& path) {
  const std::string cannot = "cannot read " + path + ": ";
  // A folder opens as a file on POSIX and then reads as empty: say what it is instead.
  std::error_code status;
  const std::filesystem::file_type type =
      std::filesystem::status(std::filesystem::u8path(path), status).type();
  if (type == std::filesystem::file_type::directory)
    return Reason{cannot + RuntimeErrorText(EISDIR)};
  // Opening a FIFO would wait for a writer, for ever.
  if (type == std::filesystem::file_type::fifo || type == std::filesystem::file_type::socket) {
    return Reason{cannot + "it is a FIFO or a socket, not a file"};
  }
  errno = 0;
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  if (!file) {
    // The stream keeps no reason of its own; the C runtime's is in errno.
    const int reason = errno;
    return Reason{cannot + (reason != 0 ? RuntimeErrorText(reason) : "cannot open the file")};
  }
  // One byte more than allowed tells a file at the limit from a larger one (or an endless one,
  // such as /dev/zero), without reading more.
  std::string text(kLargestRuleFile + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (file.bad()) return Reason{cannot + RuntimeErrorText(errno)};
  if (text.size() > kLargestRuleFile) {
    return Reason{cannot + "larger than 1 MiB, which no rule file needs"};
  }
  return text;
}

// The comments between rules: the one directly above a rule describes it, and one that blank
// lines part from its rule is kept for a warning, but for the file's opening ones.
struct Comments {
  std::string_view above;   // the comment on the line just above, if that was one
  std::string_view parted;  // the last comment above blank lines, but the file's opening ones
  bool opening = true;      // only comments so far: the file's opening ones

  // Whether the line is a comment or blank, taken here; else it is a rule's, which takes above.
  bool Take(std::string_view line) {
    const std::string_view last = std::exchange(above, std::string_view());
    if (line.empty()) {
      if (!last.empty() && !opening) parted = last;
      opening = false;
      return true;
    }
    if (line[0] == '#') {
      above = Trimmed(line.substr(1));
      parted = {};
      return true;
    }
    opening = false;
    above = last;
    return false;
  }
};

// One rule's line, with its notes; or why it is no rule.
Result<Noted<ScriptRule>> ParseRule(std::string_view line, const std::filesystem::path& folder) {
  const std::size_t arrow = std::min(line.find(kReplyArrow), line.find(kRunArrow));
  const std::string_view command = Trimmed(line.substr(0, arrow));
  if (arrow == std::string_view::npos || command.empty() ||
      command.find_first_of(" \t") != std::string_view::npos) {
    return Reason{"expected COMMAND -> REPLY or COMMAND => PROGRAM ARG..., got: " + Excerpt(line)};
  }
  Noted<ScriptRule> rule;
  rule.value.text = line;
  rule.value.command = command;
  const bool marked = StartsWith(line.substr(arrow), kMarkedRunArrow);
  const std::string_view after =
      Trimmed(line.substr(arrow + (marked ? kMarkedRunArrow.size() : kRunArrow.size())));
  if (const Result<> fields = CheckFields(after); !fields) {
    return Reason{rule.value.command + ": " + fields.why()};
  }
  if (StartsWith(line.substr(arrow), kReplyArrow)) {
    rule.value.reply = after;
    return rule;
  }
  const Result<Noted<>> parsed = ParseRunRule(after, marked, folder, rule.value);
  if (!parsed) return Reason{parsed.why()};
  rule.notes = parsed->notes;
  return rule;
}

}  // namespace

Result<Noted<std::vector<ScriptRule>>> ReadScriptRules(const std::string& path) {
  const Result<std::string> content = ReadBounded(path);
  if (!content) return Reason{content.why()};
  if (IsUtf16(*content)) return Reason{path + ": " + kUtf16RuleFile};
  std::string_view rest = WithoutUtf8ByteOrderMark(*content);
  const std::filesystem::path folder =
      std::filesystem::absolute(std::filesystem::u8path(path)).parent_path();
  Noted<std::vector<ScriptRule>> read;
  for (const std::filesystem::path& steering : {std::filesystem::u8path(path), folder}) {
    const Result<Noted<>> writers = CheckWriters(steering);
    if (!writers) return Reason{writers.why()};
    read.notes.insert(read.notes.end(), writers->notes.begin(), writers->notes.end());
  }
  int catchAllLine = 0;
  Comments comments;
  for (int number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    const std::string_view text = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const std::string_view line = Trimmed(text);
    if (comments.Take(line)) continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    Result<Noted<ScriptRule>> rule = ParseRule(line, folder);
    if (!rule) return Reason{where + rule.why()};
    rule->value.description = std::exchange(comments.above, std::string_view());
    rule->value.partedDescription = std::exchange(comments.parted, std::string_view());
    for (const Reason& note : rule->notes) read.Note(where + note.text);
    if (catchAllLine != 0) {
      read.Note(where + "never applies: the * rule of line " + std::to_string(catchAllLine) +
                " answers every line first");
    } else if (rule->value.command == "*") {
      catchAllLine = number;
    }
    read.value.push_back(std::move(rule->value));
  }
  return read;
}

std::vector<std::string> RuleChanges(const std::vector<ScriptRule>& before,
                                     const std::vector<ScriptRule>& after) {
  const auto holds = [](const std::vector<ScriptRule>& rules, const ScriptRule& rule) {
    return std::any_of(rules.begin(), rules.end(),
                       [&](const ScriptRule& other) { return other.text == rule.text; });
  };
  std::vector<std::string> changes;
  for (const ScriptRule& rule : before) {
    if (!holds(after, rule)) changes.push_back("- " + Excerpt(rule.text));
  }
  for (const ScriptRule& rule : after) {
    if (!holds(before, rule)) changes.push_back("+ " + Excerpt(rule.text));
  }
  return changes;
}

std::optional<ScriptAnswer> ScriptAnswerTo(const std::vector<ScriptRule>& rules,
                                           std::string_view line) {
  const std::size_t space = line.find(' ');
  const std::string_view command = line.substr(0, space);
  const std::string_view args = space == std::string_view::npos ? "" : line.substr(space + 1);
  for (const ScriptRule& rule : rules) {
    if (rule.command != command && rule.command != "*") continue;
    ScriptAnswer answer;
    if (rule.program.empty()) {
      if (rule.reply.empty()) return std::nullopt;
      answer.reply = FilledIn(rule.reply, {line, command, args});
      return answer;
    }
    // A program's arguments and environment are C strings: they end at a zero byte anyway.
    const std::string_view cut = line.substr(0, line.find('\0'));
    answer.line = cut;
    answer.command = cut.substr(0, space);
    answer.args = space < cut.size() ? cut.substr(space + 1) : "";
    answer.run = &rule;
    for (const std::string& word : rule.arguments) {
      answer.arguments.push_back(FilledIn(word, {answer.line, answer.command, answer.args}));
    }
    return answer;
  }
  return std::nullopt;
}
