// When a changed rule file is read again: a step table of looks at the file.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "rules/stable_file.h"

namespace {

// A look by its size and time in seconds; a size of -1 is a file that could not be looked at.
struct Step {
  int size;
  int seconds;
  bool readAgain;
};

std::optional<FileLook> Look(int size, int seconds) {
  if (size < 0) return std::nullopt;
  return FileLook{std::filesystem::file_time_type() + std::chrono::seconds(seconds),
                  static_cast<std::uintmax_t>(size)};
}

void RunSteps(const std::vector<Step>& steps) {
  FileLooks looks;
  looks.read = looks.last = Look(10, 1);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const LookDecision decision = DecideOnLook(looks, Look(steps[i].size, steps[i].seconds));
    EXPECT_EQ(decision.readAgain, steps[i].readAgain) << "step " << i;
    looks = decision.looks;
  }
}

TEST(StableRuleFile, AFileUnchangedIsNotReadAgain) {
  RunSteps({{10, 1, false}, {10, 1, false}});
}

TEST(StableRuleFile, AChangeIsReadOnceItStayedTheSameOverTwoLooks) {
  RunSteps({{20, 2, false}, {20, 2, true}, {20, 2, false}});
}

TEST(StableRuleFile, AFileHalfWrittenAtOneLookIsNeverRead) {
  // Written in two steps: the half of the first look changed by the next, and only the whole read.
  RunSteps({{15, 2, false}, {20, 3, false}, {20, 3, true}});
}

TEST(StableRuleFile, EitherTheSizeOrTheTimeIsAChange) {
  RunSteps({{10, 2, false}, {10, 2, true}, {11, 2, false}, {11, 2, true}});
}

TEST(StableRuleFile, AFileThatCannotBeLookedAtWaitsForTwoLooksAgain) {
  RunSteps({{20, 2, false}, {-1, 0, false}, {20, 2, false}, {20, 2, true}});
}

TEST(StableRuleFile, AChangeBackToTheReadingInUseIsNoChange) {
  RunSteps({{20, 2, false}, {10, 1, false}, {10, 1, false}});
}

}  // namespace
