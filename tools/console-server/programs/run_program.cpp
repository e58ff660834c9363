#include "programs/run_program_shared.h"

#include <algorithm>
#include <cctype>

#include "programs/best_fit.h"

bool IsAdded(std::string_view name, const AddedVariables& added, NameCase names) {
  const auto same = [&](char a, char b) {
    if (names == NameCase::kSensitive) return a == b;
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
  };
  return std::any_of(added.begin(), added.end(), [&](const auto& entry) {
    return std::equal(name.begin(), name.end(), entry.first.begin(), entry.first.end(), same);
  });
}

std::wstring QuotedArgument(std::wstring_view argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : WithoutBestFitLookalikes(argument)) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows: then each one needs a second, and the
    // quote its own.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    out.push_back(c);
    backslashes = 0;
  }
  // Before the closing quote, too.
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}
