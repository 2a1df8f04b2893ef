// The millisecond clock that the index scan polls for its time limit. Internal to
// the analyser; tests put their own clock in its place to place a time-out exactly.
#pragma once

#include <cstdint>

namespace plovik {

using TickSource = std::uint32_t (*)();
// Null brings back the system clock.
void SetTickSource(TickSource source);

}  // namespace plovik
