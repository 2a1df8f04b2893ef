// Runs the analyser, the movie-data scan and the conformance check on arbitrary bytes held
// in memory, once as they are and once as a file that shrank after opening (its reads end
// three quarters in); then repairs the bytes into memory. Most inputs are no AVI file: their
// check and repair search them for movie data from the first byte, as for lost headers. Every input
// must end in time, without a crash, a leak or a sanitizer report, and the results must hold
// together: a copy has the size its plan gave, and a copy that passes its check is repaired into
// itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_source.h"
#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "repair_core.h"
#include "scan_reader.h"

namespace {

// One analysis serves every input and every step of it: a new parser (with its 800 KB
// key-time array) would dominate the time of each run.
plovik::CFileAnalysis& Analysis() {
    static plovik::CFileAnalysis analysis;
    return analysis;
}

// Regions in file order, apart from one another; counts that contain each other.
bool HoldsTogether(const plovik::CMovieScan& scan, const plovik::StreamTallies& streams) {
    for (const plovik::StreamTally& stream : streams) {
        if (stream.data.emptyChunks > stream.data.chunks) return false;
    }
    std::uint64_t keptBytes = 0;
    std::uint64_t lastEnd = 0;
    for (const plovik::DAMAGEDREGION& region : scan.m_arDamagedRegions) {
        if (region.qwLength == 0 || (keptBytes > 0 && region.qwPosition <= lastEnd)) return false;
        keptBytes += region.qwLength;
        lastEnd = region.qwPosition + region.qwLength;
    }
    return scan.m_arDamagedRegions.size() <= plovik::kScanKeptRegions &&
           scan.m_arDamagedRegions.size() ==
               std::min<std::uint64_t>(scan.m_qwDamagedRegions, plovik::kScanKeptRegions) &&
           keptBytes <= scan.m_qwDamagedBytes && scan.m_qwIndexMismatches <= scan.m_qwIndexEntries;
}

// A verdict that says what its findings say.
bool VerdictFits(const plovik::FileFacts& facts) {
    bool error = false;
    for (const plovik::Finding& finding : facts.findings) {
        error = error || finding.severity == plovik::Severity::kError;
    }
    return facts.verdict == plovik::Verdict::kUnreadable ||
           error == (facts.verdict == plovik::Verdict::kDamaged);
}

// The copy of bytes, empty when none was written; trapped when it is not the size planned.
std::string Repaired(std::string_view bytes, bool& passes) {
    const auto file = plovik::MakeMemoryRawFile(bytes);
    plovik::StringSink sink;
    const plovik::RepairSummary summary = plovik::RepairInto(*file, &sink, {}, Analysis());
    passes = false;
    if (summary.status != plovik::RepairStatus::kWritten) return {};
    if (sink.out.size() != summary.outputSize) __builtin_trap();
    const auto copy = plovik::MakeMemoryRawFile(sink.out);
    passes = plovik::VerifyRepairedCopy(*copy, "copy.avi", summary, {}, Analysis()).Ok();
    return std::move(sink.out);
}

void CheckRepair(std::string_view bytes) {
    bool passes = false;
    const std::string copy = Repaired(bytes, passes);
    if (!passes) return;
    bool again = false;
    if (Repaired(copy, again) != copy || !again) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    plovik::CFileAnalysis& analysis = Analysis();
    for (const std::size_t readable : {size, size - size / 4}) {
        const auto file = plovik::MakeMemoryRawFile(bytes.substr(0, readable), size);
        plovik::CFileAnalysis::Options options;
        options.scan = true;
        options.data.progress = [](std::uint64_t done, std::uint64_t total) {
            if (done > total) __builtin_trap();
        };
        analysis.AnalyseOpen(*file, "input.avi", options);
        if (analysis.m_bScanned && !HoldsTogether(analysis.m_scan, analysis.m_parser.m_arStreams))
            __builtin_trap();
        if (!VerdictFits(plovik::FillFacts("input.avi", analysis))) __builtin_trap();
    }
    CheckRepair(bytes);
    return 0;
}
