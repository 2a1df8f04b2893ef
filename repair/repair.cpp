#include "plovik/repair.h"

namespace plovik {

RepairSummary RepairFile(const std::string&, const std::string&, const RepairOptions&) {
    RepairSummary summary;
    summary.message = "repair is not available in this build";
    return summary;
}

}  // namespace plovik
