// The analyser's one diagnostic line (an index scan out of time) goes to a sink the
// application installs; the core knows nothing of the channel behind it.
#pragma once

namespace plovik {

// Receives the analyser's diagnostic lines (the index scan's time-out). The
// application installs its trace channel here; without one the lines are dropped.
using TraceSink = void (*)(const char* text);
void SetTraceSink(TraceSink sink);

}  // namespace plovik
