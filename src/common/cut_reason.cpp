#include "common/cut_reason.h"

std::string CutReason(std::string_view reason) {
  if (reason.size() <= kMaxReasonBytes) return std::string(reason);
  return std::string(reason.substr(0, kMaxReasonBytes)) + "... [cut, " +
         std::to_string(reason.size()) + " bytes in all]";
}
