#include <string>

#include "host/loader.h"
#include "sim_report.h"
#include "sim_report_internal.h"

namespace loader {

LOG::LOG(LogLevel level) : level(level) {}

// Every line is reported with its level, even one below MinLogLevel and even an empty one: the
// tests check which pieces the plugin itself left out.
LOG::~LOG() {
  try {
    std::string payload = std::to_string(static_cast<std::int32_t>(level));
    const std::string text = s.str();
    if (!text.empty()) {
      payload += ' ';
      AppendEscaped(payload, text);
    }
    SimReport("log", payload.c_str());
  } catch (...) {
    // A destructor must not throw; the line is lost.
  }
}

}  // namespace loader
