// Whether a repaired copy would mend what the data check found in a file.
#pragma once

#include "plovik/file_facts.h"

namespace plovik {

// True after a data check that found what the repair mends: a cut end, damaged regions, a
// missing index the file ought to have or an incomplete one, index entries that point at
// no chunk, another movie joined to the first, headers lost with the movie data found. A
// file that gave only a message, or whose movie data hold nothing to keep, has nothing to
// mend.
inline bool RepairWouldMend(const FileFacts& facts) {
    if (facts.lostHeaders) return true;
    if (!facts.scan || !HasHeaders(facts.status)) return false;
    const ScanFacts& scan = *facts.scan;
    if (scan.videoFrames == 0 && scan.audioBytes == 0) return false;
    const bool noIndex = facts.index.kind == IndexKind::kNone;
    const bool indexToMend = noIndex ? IndexExpected(facts) : !facts.index.complete;
    return facts.missingBytes > 0 || facts.structure.secondMovie != 0 || scan.damagedRegions > 0 ||
           indexToMend || scan.indexMismatches.value_or(0) > 0;
}

}  // namespace plovik
