// A help file and the argument of a request for it: the first line of the input is the argument,
// the rest is the file. Read through the stream functions (every failure must come back as a
// result, never as an exception), checked against the rules of README.md, and then shown by
// ShowHelp from a real file, which must agree with the stream functions.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "fake_host.h"
#include "fuzz_check.h"
#include "help_folder.h"
#include "relay/cut_reason.h"
#include "relay/help_file.h"
#include "relay/show_help.h"

namespace {

constexpr const char* kCommand = "fuzz";

struct Shown {
  std::vector<std::string> lines;
  std::string problem;      // empty when the entry did not stop at a line that is no string
  std::size_t leftOut = 0;  // elements past the line bound
};

Shown ShowThroughStreams(const nlohmann::json& value, const std::string& argument,
                         std::size_t maxLines) {
  Shown shown;
  const HelpLines selected = SelectHelpLines(value, argument, maxLines);
  shown.lines.assign(selected.lines.begin(), selected.lines.end());
  shown.problem = selected.problem;
  shown.leftOut = selected.leftOut;
  return shown;
}

// The same rules, written out once more from what the README promises.
Shown ExpectedLines(const nlohmann::json& value, const std::string& argument,
                    std::size_t maxLines) {
  Shown expected;
  if (value.is_null()) return expected;
  if (!value.is_object()) {
    expected.problem =
        "the top-level value is " + std::string(value.type_name()) + ", not an object";
    return expected;
  }
  const nlohmann::json* entry = nullptr;
  if (value.contains(argument)) {
    entry = &value.at(argument);
  } else if (value.contains(std::string(kDefaultEntry))) {
    entry = &value.at(std::string(kDefaultEntry));
  } else {
    return expected;
  }
  if (entry->is_null()) return expected;

  std::vector<const nlohmann::json*> lines;
  if (entry->is_array() || entry->is_object()) {
    for (const nlohmann::json& line : *entry) lines.push_back(&line);
  } else {
    lines.push_back(entry);
  }
  for (const nlohmann::json* line : lines) {
    if (expected.lines.size() == maxLines) {
      expected.leftOut = lines.size() - maxLines;
      break;
    }
    if (!line->is_string()) {
      expected.problem = "a line must be a string, but is " + std::string(line->type_name());
      break;
    }
    expected.lines.push_back(line->get<std::string>());
  }
  return expected;
}

void CheckShowHelp(const std::string& file, const std::string& argument, bool read,
                   const std::string& readError, const Shown& shown) {
  EnterHelpFolder();
  WriteHelpFileHere(kCommand, file);
  FakeGame game;
  ResetFakeHost(game);
  ShowHelp(kCommand, argument);
  LeaveHelpFolder();

  const std::string problemLine = "[Console] Help file " + HelpFilePath(kCommand) + ": ";
  std::vector<std::string> expectedLog;
  if (!read) {
    expectedLog.push_back(problemLine + readError);
  } else {
    // A piece of a log line ends at its first zero byte.
    const std::string piece = "] [" + argument + "]";
    expectedLog.push_back(std::string("[Console] Show help [") + kCommand +
                          piece.substr(0, piece.find('\0')));
    if (!shown.problem.empty()) expectedLog.push_back(problemLine + shown.problem);
    if (shown.leftOut > 0) expectedLog.push_back(problemLine + LeftOutReason(shown.leftOut));
  }
  FUZZ_CHECK(LoggedTexts() == expectedLog);
  FUZZ_CHECK(ChatLines == (read ? shown.lines : std::vector<std::string>{}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = input.find('\n');
  const std::string argument(input.substr(0, lineEnd));
  const std::string file(lineEnd == std::string_view::npos ? std::string_view()
                                                           : input.substr(lineEnd + 1));

  std::istringstream in(file);
  nlohmann::json value;
  std::string error;
  const bool read = ReadHelpValue(in, value, error);
  if (!read) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(value.is_null());
  } else {
    FUZZ_CHECK(error.empty());
    // Whatever follows a value is never examined.
    std::istringstream followed(file + " {\"help\": [");
    nlohmann::json again;
    std::string againError;
    FUZZ_CHECK(ReadHelpValue(followed, again, againError));
    FUZZ_CHECK(again == value);
  }

  // Every log line stays short, whatever the file quotes.
  FUZZ_CHECK(error.size() <= kMaxReasonBytes + 40);

  const Shown shown = read ? ShowThroughStreams(value, argument, kMaxHelpLines) : Shown{};
  if (read) {
    const Shown expected = ExpectedLines(value, argument, kMaxHelpLines);
    FUZZ_CHECK(shown.lines == expected.lines);
    FUZZ_CHECK(shown.problem == expected.problem);
    FUZZ_CHECK(shown.leftOut == expected.leftOut);
    // A small bound, so that short inputs reach it too.
    const Shown few = ShowThroughStreams(value, argument, 2);
    const Shown fewExpected = ExpectedLines(value, argument, 2);
    FUZZ_CHECK(few.lines == fewExpected.lines);
    FUZZ_CHECK(few.problem == fewExpected.problem);
    FUZZ_CHECK(few.leftOut == fewExpected.leftOut);
  }
  CheckShowHelp(file, argument, read, error, shown);
  return 0;
}
