// The one way a step says why not: a Result holds the step's value, or the reason it has none.
// A step that was done but not in full says so with Noted: its value, and a note for each part it
// left undone. The plugin logs the reasons and notes and the tools print them, each at one place;
// the steps below them only return them.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

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

// A step that was done, with a note for each part of it that was not: lines left out or cut, a
// rule skipped, a folder entry that could not be read. The caller uses the value, then reads the
// notes in one loop.
template <typename T = Done>
struct Noted {
  T value;
  std::vector<Reason> notes;

  void Note(std::string text) { notes.push_back(Reason{std::move(text)}); }
};
