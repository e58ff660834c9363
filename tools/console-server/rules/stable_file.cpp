#include "rules/stable_file.h"

LookDecision DecideOnLook(const FileLooks& looks, const std::optional<FileLook>& now) {
  LookDecision decision;
  decision.looks = looks;
  decision.looks.last = now;
  if (!now || now != looks.last || now == looks.read) return decision;
  decision.looks.read = now;
  decision.readAgain = true;
  return decision;
}
