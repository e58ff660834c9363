// Time of one help request through the plugin's own code (ShowHelp with the fakes, reading the
// help file from a temporary folder), against nlohmann json parsing the same file alone. The help
// file is 1 MiB of 20,000 lines, each one chat line of the entry "help"; a request parses it all
// and shows the first kMaxHelpLines of them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "fake_host.h"
#include "help/help_file.h"
#include "help/help_selection.h"
#include "relay/show_help.h"

namespace {

constexpr const char* kCommand = "big";
constexpr std::size_t kHelpLines = 20000;
constexpr std::size_t kHelpFileBytes = 1 << 20;

// {"help": [ then one string a line, padded so that the whole file is exactly kHelpFileBytes.
std::string HelpFileText() {
  const std::string head = "{\"help\": [\n";
  const std::string tail = "]}\n";
  // Each line is two spaces, the quoted text, a comma (not on the last) and a line end.
  const std::size_t framing = head.size() + tail.size() + kHelpLines * 5 + (kHelpLines - 1);
  const std::size_t textBytes = kHelpFileBytes - framing;
  std::string file = head;
  for (std::size_t line = 0; line < kHelpLines; ++line) {
    const std::size_t length = textBytes / kHelpLines + (line < textBytes % kHelpLines ? 1 : 0);
    char number[32];
    std::snprintf(number, sizeof(number), "Line %05zu: ", line + 1);
    std::string text = number;
    const std::string words = "the quick brown fox jumps over the lazy dog ";
    while (text.size() < length) text += words[text.size() % words.size()];
    text.resize(length);
    file += "  \"" + text + "\"" + (line + 1 < kHelpLines ? "," : "") + "\n";
  }
  return file + tail;
}

void ShowHelpRequest(benchmark::State& state) {
  for (auto _ : state) {
    ShowHelp(kCommand, "help");
    // The chat routine keeps nothing: freeing the shown lines belongs to the request.
    ChatLines.clear();
    LoggedLines.clear();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kHelpFileBytes));
}

// The baseline: what no way of showing this file can skip, opening and parsing it.
void ParseHelpFile(benchmark::State& state) {
  const std::string path = HelpFilePath(kCommand);
  for (auto _ : state) {
    std::ifstream file(path);
    nlohmann::json value;
    file >> value;
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kHelpFileBytes));
}

// For comparison only: the file read whole, then parsed from memory.
void ParseHelpFileFromMemory(benchmark::State& state) {
  const std::string path = HelpFilePath(kCommand);
  for (auto _ : state) {
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    nlohmann::json value = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kHelpFileBytes));
}

BENCHMARK(ShowHelpRequest)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseHelpFile)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseHelpFileFromMemory)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::filesystem::path home = std::filesystem::current_path();
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  const std::filesystem::path folder = std::filesystem::current_path();
  const std::string text = HelpFileText();
  WriteHelpFile(kCommand, text);

  // One request before timing: it must read the whole file and show as many lines as a request
  // may, or the figures mean nothing.
  ShowHelp(kCommand, "help");
  const bool showsAll =
      text.size() == kHelpFileBytes && ChatLines.size() == kMaxHelpLines &&
      LoggedLines.size() == 2 &&
      LoggedLines[1].text.find(
          LinesLeftOutNote(kHelpLines - kMaxHelpLines, kMaxHelpLines, false).text) !=
          std::string::npos;
  ChatLines.clear();
  LoggedLines.clear();
  if (showsAll) benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::filesystem::current_path(home);
  std::filesystem::remove_all(folder);
  if (!showsAll) {
    std::fprintf(stderr, "help_request_bench: the request did not show the first %zu lines\n",
                 kMaxHelpLines);
    return 1;
  }
  return 0;
}
