// Writes the planned copy to a sink in one pass: the input's bytes in large blocks, runs of
// adjacent chunks copied as one, the new indexes made from the kept chunks.
#pragma once

#include <string>
#include <vector>

#include "copy_plan.h"
#include "plovik/repair.h"
#include "repair_core.h"

namespace plovik {

class RawFile;

// Ok when the whole copy was written; else why not.
RepairOutcome WriteCopy(RawFile& input, RepairSink& sink, CopyPlan& plan,
                        const std::vector<KeptChunk>& chunks, const RepairOptions& options);

}  // namespace plovik
