// The bytes of one receive from the console program: through the wire rules, then through a whole
// relay pass with the stand-in host. A full receive is the first kReceiveLength bytes of a longer
// input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_bytes.h"
#include "fake_host.h"
#include "fuzz_check.h"
#include "net/wire.h"
#include "relay/relay_pass.h"

namespace {

constexpr std::string_view kConsoleLine = "[Console] ";

void CheckWireRules(std::string_view bytes) {
  // MessageInBuffer reads within the length it is given, whatever the bytes.
  const std::string_view whole = MessageInBuffer(bytes.data(), bytes.size());
  FUZZ_CHECK(whole.data() == bytes.data());
  FUZZ_CHECK(whole == bytes.substr(0, bytes.find('\0')));

  const std::string_view received = bytes.substr(0, kReceiveLength);
  const std::string_view message = MessageInBuffer(received.data(), received.size());
  FUZZ_CHECK(message == received.substr(0, received.find('\0')));

  const bool isConsole = IsConsoleMessage(message);
  FUZZ_CHECK(isConsole ==
             (message.size() >= kShortestConsoleMessage && StartsWith(message, kConsolePrefix)));

  const std::string_view text = ConsoleText(message);
  FUZZ_CHECK(EndsWith(message, text));
  const std::size_t space = message.find(' ');
  FUZZ_CHECK(text == (space == std::string_view::npos ? message : message.substr(space + 1)));
}

void CheckRelayPass(std::string_view bytes) {
  FakeGame game;
  ResetFakeHost(game);
  PendingReceives.emplace_back(bytes);

  ReceiveBuffer buffer;
  buffer.fill('x');  // the pass must clear what an earlier receive left
  bool armed = false;
  FUZZ_CHECK(RunRelayPass(buffer, armed) == NextPass::kAfterPause);
  FUZZ_CHECK(!armed);
  FUZZ_CHECK(buffer[kReceiveLength] == 0);
  FUZZ_CHECK(SentBytes.empty());

  const std::string_view received = bytes.substr(0, kReceiveLength);
  const std::string_view message = received.substr(0, received.find('\0'));
  FUZZ_CHECK(ChatLines.size() <= 1);
  FUZZ_CHECK(ChatLines.size() == LoggedLines.size());
  if (ChatLines.empty()) {
    // Dropped: no console message, or one without text.
    FUZZ_CHECK(!IsConsoleMessage(message) || ConsoleText(message).empty());
    return;
  }
  const std::string& shown = ChatLines[0];
  FUZZ_CHECK(!shown.empty());
  FUZZ_CHECK(shown.size() <= kReceiveLength);
  FUZZ_CHECK(StartsWith(message, kConsolePrefix));
  FUZZ_CHECK(EndsWith(message, shown));
  FUZZ_CHECK(shown == ConsoleText(message));
  FUZZ_CHECK(LoggedLines[0].level == loader::INFO);
  FUZZ_CHECK(LoggedLines[0].text == std::string(kConsoleLine) + shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckWireRules(bytes);
  CheckRelayPass(bytes);
  return 0;
}
