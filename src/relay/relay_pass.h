// One pass of the relay loop: console messages into the chat, chat commands out.
#pragma once

#include <array>

#include "net/wire.h"

// One receive, plus a zero byte that a full receive cannot overwrite.
using ReceiveBuffer = std::array<char, kReceiveLength + 1>;

// When the relay runs its next pass.
enum class NextPass {
  kAfterPause,  // after the pause between passes, as almost always
  kAtOnce,      // without the pause
};

// Runs one pass and says when the next one follows.
NextPass RunRelayPass(ReceiveBuffer& buffer, bool& captureArmed);
