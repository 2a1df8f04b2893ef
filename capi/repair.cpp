// plovik_repair: the repaired copy, with plovik-repair's options and JSON summary.
#include <string>

#include "boundary.h"
#include "plovik/repair.h"
#include "plovik/repair_cli.h"

namespace plovik::capi {
namespace {

constexpr unsigned kRepairFlags = PLOVIK_REPAIR_DRY_RUN | PLOVIK_REPAIR_FORCE;

plovik_status RepairStatusCode(RepairStatus status) {
    switch (status) {
        case RepairStatus::kWritten:
        case RepairStatus::kPlanned:
            return PLOVIK_OK;
        case RepairStatus::kNotRepairable:
            return PLOVIK_ERROR_NOT_REPAIRABLE;
        case RepairStatus::kRefused:
            return PLOVIK_ERROR_REFUSED;
        case RepairStatus::kStopped:
            return PLOVIK_ERROR_STOPPED;
        case RepairStatus::kFailed:
            break;
    }
    return PLOVIK_ERROR_REPAIR_FAILED;
}

}  // namespace
}  // namespace plovik::capi

using plovik::capi::Fail;

extern "C" plovik_status plovik_repair(const char* input, const char* output, const char* reference,
                                       unsigned flags, plovik_progress_fn progress, void* user,
                                       char** summary, size_t* length) {
    return plovik::capi::Guarded([&] {
        if (summary != nullptr) *summary = nullptr;
        if (length != nullptr) *length = 0;
        if (input == nullptr || output == nullptr || *input == '\0' || *output == '\0') {
            return Fail(PLOVIK_ERROR_ARGUMENT, "no input or output path");
        }
        if ((flags & ~plovik::capi::kRepairFlags) != 0) {
            return Fail(PLOVIK_ERROR_ARGUMENT, "unknown repair flags");
        }
        plovik::capi::ProgressRelay relay(progress, user);
        const plovik::RepairSummary result =
            plovik::RepairFile(input, output,
                               {.dryRun = (flags & PLOVIK_REPAIR_DRY_RUN) != 0,
                                .force = (flags & PLOVIK_REPAIR_FORCE) != 0,
                                .progress = relay.RepairCallback(),
                                .stop = relay.Flag(),
                                .reference = reference != nullptr ? reference : ""});
        if (summary != nullptr) {
            *summary =
                plovik::capi::HandedOut(plovik::RepairJsonSummary(result, input, output), length);
            if (*summary == nullptr) return Fail(PLOVIK_ERROR_NO_MEMORY, "out of memory");
        }
        const plovik_status status = plovik::capi::RepairStatusCode(result.status);
        if (status == PLOVIK_OK) return status;
        return Fail(status, result.message.empty() ? plovik_status_text(status) : result.message);
    });
}
