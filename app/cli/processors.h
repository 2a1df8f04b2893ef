// How many files plovik-report analyses at once unless told.
#pragma once

namespace plovik {

// The processors this process may run on (its affinity), at least 1.
unsigned UsableProcessors();

}  // namespace plovik
