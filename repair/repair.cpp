#include "plovik/repair.h"

#include "output_file.h"
#include "plovik/file_facts.h"
#include "raw_file.h"
#include "repair_core.h"

namespace plovik {
namespace {

// The summary of a written copy that failed at its last steps.
RepairSummary FailedAfterWriting(RepairSummary summary, RepairOutcome outcome) {
    summary.status = outcome.status;
    summary.message = std::move(outcome.why);
    return summary;
}

RepairOutcome Failure(std::string why) { return {RepairStatus::kFailed, std::move(why)}; }

// The copy written to a temporary file, flushed and checked, then given its name.
RepairSummary WriteAndCheck(RawFile& in, const std::string& output, const RepairOptions& options) {
    std::string why;
    const std::unique_ptr<TempOutput> temp = TempOutput::CreateBeside(output, why);
    if (!temp)
        return EndedWith(RepairStatus::kFailed, "cannot write beside " + output + ": " + why);
    RepairSummary summary = RepairInto(in, temp.get(), options);
    if (summary.status != RepairStatus::kWritten) return summary;
    if (!temp->Sync())
        return FailedAfterWriting(summary, Failure("write failed: " + temp->Error()));
    OpenedFile written = OpenRawFile(temp->Path());
    if (!written.file) {
        return FailedAfterWriting(summary, Failure("cannot read the copy: " + written.error));
    }
    RepairOutcome checked = VerifyRepairedCopy(*written.file, output, summary, options);
    written.file.reset();
    if (!checked.Ok()) return FailedAfterWriting(summary, std::move(checked));
    if (!temp->RenameTo(output)) {
        return FailedAfterWriting(summary, Failure("rename failed: " + temp->Error()));
    }
    return summary;
}

// The positions of a later movie's summary made positions in its file.
void PlaceInFile(RepairSummary& summary, std::uint64_t movieAt, const RawFile& file) {
    for (DAMAGEDREGION& region : summary.regions) region.qwPosition += movieAt;
    if (summary.secondMovie != 0) summary.secondMovie += movieAt;
    if (file.Failure() && summary.status == RepairStatus::kFailed) {
        summary.message = ReadFailureText(*file.Failure());
    }
}

}  // namespace

std::optional<std::string> RefusalOf(const std::string& input, const std::string& output,
                                     bool force) {
    if (input == output || SameFile(input, output)) return "the output is the input file";
    if (!force && PathExists(output)) return "the output exists (--force replaces it)";
    return std::nullopt;
}

RepairSummary RepairFile(const std::string& input, const std::string& output,
                         const RepairOptions& options) {
    if (input.empty() || output.empty()) return EndedWith(RepairStatus::kRefused, "no file name");
    if (auto why = RefusalOf(input, output, options.force)) {
        return EndedWith(RepairStatus::kRefused, std::move(*why));
    }
    OpenedFile in = OpenRawFile(input);
    if (!in.file) return EndedWith(RepairStatus::kFailed, "cannot open: " + in.error);
    std::unique_ptr<RawFile> tail;
    if (options.movieAt != 0) tail = MakeTailRawFile(*in.file, options.movieAt);
    RawFile& movie = tail ? *tail : *in.file;
    RepairSummary summary = options.dryRun ? RepairInto(movie, nullptr, options)
                                           : WriteAndCheck(movie, output, options);
    if (tail) PlaceInFile(summary, options.movieAt, *in.file);
    return summary;
}

}  // namespace plovik
