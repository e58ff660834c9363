// One pass of the relay loop: console messages into the chat, chat commands out.
#pragma once

#include <array>

#include "net/wire.h"

// One receive, plus a zero byte that a full receive cannot overwrite.
using ReceiveBuffer = std::array<char, kReceiveLength + 1>;

// Runs one pass. Returns false when the pause before the next pass is to be skipped.
bool RunRelayPass(ReceiveBuffer& buffer, bool& captureArmed);
