// The repair of one open file: one scan finds the chunks to keep and the damage; the plan
// places everything; the copy is written in one pass.
#include <algorithm>

#include "copy_plan.h"
#include "copy_writer.h"
#include "kept_chunks.h"
#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "raw_file.h"
#include "repair_core.h"

namespace plovik {
namespace {

constexpr FOURCC kList = MakeFourCC("LIST");
constexpr FOURCC kHdrl = MakeFourCC("hdrl");
constexpr FOURCC kMovi = MakeFourCC("movi");
constexpr FOURCC kIdx1 = MakeFourCC("idx1");

RepairSummary Unrepairable(std::string why) {
    return EndedWith(RepairStatus::kNotRepairable, std::move(why));
}

// The first RIFF part's top-level chunks as the copy keeps them: the header list, the new
// movie data and index where the first "movi" list was, the rest as they are. The old index
// and any further "movi" list go (their chunks are in the new list); so do chunks that the
// file does not hold whole, and the top-level chunks of later parts ("JUNK" filling them).
bool PlanTopItems(RawFile& input, const CAviParser& avi, CopyPlan& plan, std::string& why) {
    bool header = false;
    bool movie = false;
    for (const AVITOPCHUNK& top : avi.m_Layout.arTopChunks) {
        if (top.nPart != 0) break;
        if (top.fccId == kList && top.fccListType == kMovi) {
            if (!movie) plan.items.push_back({TopItem::kMovie, 0, 0});
            movie = true;
        } else if (top.fccId == kList && top.fccListType == kHdrl && !header) {
            if (!plan.header.Read(input, top.qwPosition, top.dwSize, why)) return false;
            plan.items.push_back({TopItem::kHeaderList, top.qwPosition, 0});
            header = true;
        } else if (top.fccId != kIdx1) {
            const std::uint64_t bytes = 8 + std::uint64_t{top.dwSize};
            if (top.qwPosition + bytes > input.Size()) continue;
            plan.items.push_back({TopItem::kCopy, top.qwPosition, bytes + (top.dwSize & 1)});
        }
    }
    if (!header) why = "no header list";
    if (header && !movie) why = "no movie data";
    return header && movie;
}

HeaderCounts CountsOf(const CopyPlan& plan, const ChunkKeeper& kept, const CAviParser& avi,
                      const std::vector<KeptChunk>& chunks) {
    HeaderCounts counts;
    const int video = avi.m_Layout.nVideoStream;
    if (video >= 0) {
        const CopyPart& first = plan.parts.front();
        std::uint32_t frames = 0;
        for (std::size_t i = first.first; i < first.end; ++i) {
            frames += chunks[i].Counted() && chunks[i].Stream() == video;
        }
        counts.totalFrames = frames;
        counts.grandFrames =
            static_cast<std::uint32_t>(kept.streams[static_cast<std::size_t>(video)].chunks);
    }
    counts.largest = kept.largest;
    for (std::size_t s = 0; s < plan.header.StreamLists() && s < kMaxStreamLists; ++s) {
        const KeptStream& stream = kept.streams[s];
        const std::uint32_t sampleSize = plan.header.SampleSize(s);
        const std::uint64_t length = sampleSize != 0 ? stream.bytes / sampleSize : stream.chunks;
        counts.streams.push_back(
            {static_cast<std::uint32_t>(std::min<std::uint64_t>(length, UINT32_MAX)),
             stream.largest});
    }
    return counts;
}

void Summarise(RepairSummary& summary, const CMovieScan& scan, const ChunkKeeper& kept,
               const CopyPlan& plan, std::uint64_t fileSize) {
    summary.videoFrames = scan.m_qwVideoFrames;
    summary.emptyVideoFrames = scan.m_qwEmptyFrames;
    summary.audioBytes = scan.m_qwAudioBytes;
    summary.chunksKept = kept.chunks.size();
    summary.regionsLeftOut = scan.m_qwDamagedRegions;
    summary.bytesLeftOut = kept.bytesLeftOut;
    // As far as the file holds them: the missing end of a cut file is no region left out.
    for (DAMAGEDREGION region : scan.m_arDamagedRegions) {
        region.qwLength =
            std::min(region.qwLength, fileSize - std::min(fileSize, region.qwPosition));
        if (region.qwLength == 0) {
            --summary.regionsLeftOut;
            continue;
        }
        summary.regions.push_back(region);
    }
    summary.indexEntries = plan.indexEntries;
    summary.keysFromIndex = kept.keys.fromIndex;
    summary.keysFromBitstream = kept.keys.fromBitstream;
    summary.keysAssumed = kept.keys.assumed;
    summary.assumedFourCC = kept.keys.assumedFourCC;
    summary.outputSize = plan.outputSize;
    summary.riffParts = static_cast<std::uint32_t>(plan.parts.size());
}

bool HasStreamData(const ChunkKeeper& kept) {
    return std::any_of(kept.streams.begin(), kept.streams.end(),
                       [](const KeptStream& stream) { return stream.chunks > 0; });
}

// The scan's progress is the first third of the repair's.
CMovieScan::Options ScanOptions(ChunkKeeper& keeper, const RepairOptions& options) {
    CMovieScan::Options scan{.progress = {}, .observer = &keeper, .stop = options.stop};
    if (options.progress) {
        scan.progress = [&options](std::uint64_t done, std::uint64_t total) {
            options.progress(done, 3 * total);
        };
    }
    return scan;
}

}  // namespace

RepairSummary RepairInto(RawFile& input, RepairSink* sink, const RepairOptions& options) {
    CFileAnalysis analysis;
    return RepairInto(input, sink, options, analysis);
}

RepairSummary RepairInto(RawFile& input, RepairSink* sink, const RepairOptions& options,
                         CFileAnalysis& analysis) {
    // Parsed first: the keeper learns the streams from the headers before the scan starts.
    analysis.AnalyseOpen(input, "", {});
    const FileFacts facts = FillFacts("", analysis, false);
    if (GaveOnlyMessage(facts.status)) return Unrepairable(facts.failure);
    ChunkKeeper kept(analysis.m_parser, input.Size());
    analysis.m_scan.ScanFrom(input, analysis.m_parser, ScanOptions(kept, options));
    if (analysis.m_scan.m_bStopped) return EndedWith(RepairStatus::kStopped, "stopped");
    if (input.Failure()) return EndedWith(RepairStatus::kFailed, ReadFailureText(*input.Failure()));
    if (!HasStreamData(kept)) return Unrepairable("no stream data");

    CopyPlan plan;
    for (std::size_t s = 0; s < kMaxStreamLists; ++s) plan.chunkIds[s] = kept.streams[s].firstId;
    std::string why;
    if (!PlanTopItems(input, analysis.m_parser, plan, why)) return Unrepairable(why);
    if (!PlanParts(plan, kept.chunks)) return Unrepairable("a chunk too large for a RIFF part");
    RepairSummary summary;
    plan.header.SetCounts(CountsOf(plan, kept, analysis.m_parser, kept.chunks), summary.changes);
    Summarise(summary, analysis.m_scan, kept, plan, input.Size());
    if (options.dryRun || sink == nullptr) {
        summary.status = RepairStatus::kPlanned;
        return summary;
    }
    bool stopped = false;
    summary.message = WriteCopy(input, *sink, plan, kept.chunks, options, stopped);
    summary.status = summary.message.empty() ? RepairStatus::kWritten
                     : stopped               ? RepairStatus::kStopped
                                             : RepairStatus::kFailed;
    return summary;
}

std::string CheckRepairedCopy(RawFile& output, const std::string& name,
                              const RepairSummary& summary, const RepairOptions& options) {
    CFileAnalysis analysis;
    return CheckRepairedCopy(output, name, summary, options, analysis);
}

std::string CheckRepairedCopy(RawFile& output, const std::string& name,
                              const RepairSummary& summary, const RepairOptions& options,
                              CFileAnalysis& analysis) {
    CFileAnalysis::Options check;
    check.scan = true;
    check.data.stop = options.stop;
    if (options.progress) {
        const std::uint64_t size = std::max<std::uint64_t>(output.Size(), 1);
        check.data.progress = [&options, size](std::uint64_t done, std::uint64_t) {
            options.progress(2 * size + done, 3 * size);
        };
    }
    analysis.AnalyseOpen(output, name, check);
    if (analysis.m_bScanned && analysis.m_scan.m_bStopped) return "stopped";
    const FileFacts facts = FillFacts(name, analysis, true);
    for (const Finding& finding : facts.findings) {
        if (finding.rule->severity != Severity::kError) continue;
        return "the repaired copy does not pass the check: " + finding.message + " [" +
               finding.rule->id + "]";
    }
    if (!facts.scan) return "the repaired copy could not be checked";
    if (analysis.m_scan.m_qwVideoFrames != summary.videoFrames ||
        analysis.m_scan.m_qwAudioBytes != summary.audioBytes) {
        return "the repaired copy holds " + std::to_string(analysis.m_scan.m_qwVideoFrames) +
               " video frames and " + std::to_string(analysis.m_scan.m_qwAudioBytes) +
               " audio bytes, not " + std::to_string(summary.videoFrames) + " and " +
               std::to_string(summary.audioBytes);
    }
    return {};
}

}  // namespace plovik
