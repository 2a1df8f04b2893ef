// The repair's parts below RepairFile: the plan made from one scan of the input, the copy
// written to any sink, and the check of what was written. Internal to the repair (the
// tests and the fuzz target reach it too, to repair into memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "plovik/repair.h"

namespace plovik {

class CFileAnalysis;
class RawFile;

// Where the copy goes, in order, from its first byte.
class RepairSink {
  public:
    virtual ~RepairSink() = default;
    // False when the bytes could not be written; Error() then says why.
    virtual bool Write(const std::uint8_t* bytes, std::size_t n) = 0;
    virtual std::string Error() const = 0;
    // Up to n bytes of from at position, copied by the system without passing through this
    // process: the count copied, 0 where it cannot (then they are read and written), -1 on
    // an error (Error() says which).
    virtual std::int64_t CopyFrom(const RawFile& /*from*/, std::uint64_t /*position*/,
                                  std::uint64_t /*n*/) {
        return 0;
    }
};

// The copy held in memory (the tests and the fuzz target repair into one).
class StringSink final : public RepairSink {
  public:
    bool Write(const std::uint8_t* bytes, std::size_t n) override {
        out.append(reinterpret_cast<const char*>(bytes), n);
        return true;
    }
    std::string Error() const override { return {}; }
    std::string out;
};

// How a step of a repair ended: kWritten when it did what it was to do, else the status the
// repair ends with and why.
struct RepairOutcome {
    RepairStatus status = RepairStatus::kWritten;
    std::string why;
    bool Ok() const { return status == RepairStatus::kWritten; }
};

// A repair that ended without a copy, and why.
inline RepairSummary EndedWith(RepairStatus status, std::string why) {
    RepairSummary summary;
    summary.status = status;
    summary.message = std::move(why);
    return summary;
}

// Scans input, plans the copy and, unless options.dryRun, writes it to sink (which may be
// null for a dry run). The summary's status is kPlanned or kWritten when it succeeded; the
// output is not checked here.
RepairSummary RepairInto(RawFile& input, RepairSink* sink, const RepairOptions& options);
// The same, analysing the input into `analysis`: a caller that repairs input after input
// (the fuzz target) keeps one, and with it the parser's storage, instead of making a new one
// for each.
RepairSummary RepairInto(RawFile& input, RepairSink* sink, const RepairOptions& options,
                         CFileAnalysis& analysis);

// The written copy analysed and scanned as `plovik-report --check` would: Ok when it passes
// (no error finding) and holds what the summary says was kept.
RepairOutcome VerifyRepairedCopy(RawFile& output, const std::string& name,
                                 const RepairSummary& summary, const RepairOptions& options);
// The same, analysing the copy into `analysis` (kept from one check to the next).
RepairOutcome VerifyRepairedCopy(RawFile& output, const std::string& name,
                                 const RepairSummary& summary, const RepairOptions& options,
                                 CFileAnalysis& analysis);

}  // namespace plovik
