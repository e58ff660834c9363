// Reasons quoted from errors, kept to a size that suits one log line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Room for any message of the JSON library or the standard library about itself; what runs
// longer quotes the input it failed on.
constexpr std::size_t kMaxReasonBytes = 300;

// The reason as it is when it fits, else its first kMaxReasonBytes bytes and a marker that says
// how long it was.
std::string CutReason(std::string_view reason);
