// The one way a step says why not: a Result holds the step's value, or the reason it has none.
// The plugin logs the reason and the tools print it, each at one place; the steps below them only
// return it.
#pragma once

#include <string>
#include <utility>
#include <variant>

// Why a step could not be done, as one sentence for a log line or a report.
struct Reason {
  std::string text;
  bool operator==(const Reason& other) const { return text == other.text; }
};

// The value of a step that has none to give: Result<> only says whether it went.
struct Done {};

template <typename T = Done>
class [[nodiscard]] Result {
 public:
  Result(T value) : outcome_(std::move(value)) {}
  Result(Reason reason) : outcome_(std::move(reason)) {}

  explicit operator bool() const { return outcome_.index() == 0; }
  T& operator*() { return std::get<0>(outcome_); }
  const T& operator*() const { return std::get<0>(outcome_); }
  T* operator->() { return &std::get<0>(outcome_); }
  const T* operator->() const { return &std::get<0>(outcome_); }
  // Only for a Result that holds no value.
  const std::string& why() const { return std::get<1>(outcome_).text; }

 private:
  std::variant<T, Reason> outcome_;
};
