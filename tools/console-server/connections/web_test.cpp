#include "connections/web_test.h"

WebStart BeginsWebRequest(std::string_view bytes) {
  if (bytes.empty()) return WebStart::kMaybe;
  if (bytes[0] == '\x16') {
    if (bytes.size() == 1) return WebStart::kMaybe;
    return bytes[1] == '\x03' ? WebStart::kYes : WebStart::kNo;
  }
  const std::size_t method = bytes.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  if (method == std::string_view::npos) return WebStart::kMaybe;
  if (method == 0 || bytes[method] != ' ') return WebStart::kNo;
  const std::size_t target = bytes.find_first_of(" \n", method + 1);
  if (target == std::string_view::npos) return WebStart::kMaybe;
  if (target == method + 1 || bytes[target] != ' ') return WebStart::kNo;
  constexpr std::string_view kVersion = "HTTP/";
  const std::string_view rest = bytes.substr(target + 1);
  if (rest.substr(0, kVersion.size()) != kVersion.substr(0, rest.size())) return WebStart::kNo;
  return rest.find('\n') != std::string_view::npos ? WebStart::kYes : WebStart::kMaybe;
}
