#include "programs/run_program_shared.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The C runtime's split of a quoted argument: 2n backslashes before a quote give n and the quote
// opens or closes; 2n+1 give n and a literal quote; backslashes before anything else stay.
std::wstring ParsedByTheRuntime(std::wstring_view quoted) {
  std::wstring argument;
  std::size_t backslashes = 0;
  for (const wchar_t c : quoted) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      argument.append(backslashes / 2, L'\\');
      if (backslashes % 2 == 1) argument.push_back(L'"');
    } else {
      argument.append(backslashes, L'\\');
      argument.push_back(c);
    }
    backslashes = 0;
  }
  argument.append(backslashes, L'\\');
  return argument;
}

TEST(QuotedArgument, TheRuntimeGivesEachArgumentBackWhole) {
  struct Row {
    std::wstring argument;
    std::wstring quoted;
  };
  const Row rows[] = {
      {L"", L"\"\""},
      {L"two words", L"\"two words\""},
      {L"tab\there", L"\"tab\there\""},
      {L"a\"b", L"\"a\\\"b\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
      {L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},
      {L"dir\\file", L"\"dir\\file\""},
      {L"dir\\", L"\"dir\\\\\""},
      {L"dir\\\\", L"\"dir\\\\\\\\\""},
      {L"\"", L"\"\\\"\""},
      {L"\\", L"\"\\\\\""},
  };
  for (const Row& row : rows) {
    const std::wstring quoted = QuotedArgument(row.argument);
    EXPECT_EQ(quoted, row.quoted);
    EXPECT_EQ(ParsedByTheRuntime(quoted), row.argument);
  }
}

TEST(IsAdded, NamesCompareAsTheSystemCompares) {
  const AddedVariables added = {{"CONSOLE_ARGS", "x"}};
  EXPECT_TRUE(IsAdded("CONSOLE_ARGS", added, NameCase::kSensitive));
  EXPECT_FALSE(IsAdded("console_args", added, NameCase::kSensitive));
  EXPECT_TRUE(IsAdded("console_args", added, NameCase::kIgnored));
  EXPECT_FALSE(IsAdded("CONSOLE_ARG", added, NameCase::kIgnored));
}

}  // namespace
