// The repair of one open file: one scan finds the chunks to keep and the damage; the plan
// places everything; the copy is written in one pass.
#include <algorithm>
#include <string_view>

#include "copy_plan.h"
#include "copy_writer.h"
#include "idx1_index.h"
#include "kept_chunks.h"
#include "plovik/chunk_ids.h"
#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "plovik/frame_type.h"
#include "raw_file.h"
#include "rebuilt_headers.h"
#include "repair_core.h"
#include "stitched_file.h"

namespace plovik {
namespace {

RepairSummary Unrepairable(std::string why) {
    return EndedWith(RepairStatus::kNotRepairable, std::move(why));
}

// Whether the original index's offsets count from the start of the file (as its first entry
// tells): the copy's count the same way, so that an intact file repairs into itself.
bool Idx1CountsFromFileStart(RawFile& input, const AVITOPCHUNK& idx1, const CAviParser& avi) {
    std::uint8_t first[kIdx1EntryBytes];
    if (idx1.dwSize < sizeof first || avi.m_Layout.arMoviLists.empty()) return false;
    if (input.ReadAt(idx1.qwPosition + 8, first, sizeof first) !=
        static_cast<std::int64_t>(sizeof first)) {
        return false;
    }
    const std::uint64_t moviTypePos = avi.m_Layout.arMoviLists.front().qwPosition + 8;
    return Idx1OffsetBase(Idx1Offset(first), moviTypePos) == 0;
}

// The first RIFF part's top-level chunks as the copy keeps them: the header list, the new
// movie data and index where the first "movi" list was, the rest as they are. The old index
// and any further "movi" list go (their chunks are in the new list); so do chunks that the
// file does not hold whole, and the top-level chunks of later parts ("JUNK" filling them).
bool PlanTopItems(RawFile& input, const CAviParser& avi, bool indexExpected, CopyPlan& plan,
                  std::string& why) {
    bool header = false;
    bool movie = false;
    bool hadIdx1 = false;
    for (const AVITOPCHUNK& top : avi.m_Layout.arTopChunks) {
        if (top.nPart != 0) break;
        if (top.fccId == kList && top.fccListType == kMovi) {
            if (!movie) plan.items.push_back({TopItem::kMovie, 0, 0});
            movie = true;
        } else if (top.fccId == kList && top.fccListType == kHdrl && !header) {
            if (!plan.header.Read(input, top.qwPosition, top.dwSize, why)) return false;
            plan.items.push_back({TopItem::kHeaderList, top.qwPosition, 0});
            header = true;
        } else if (top.fccId == kIdx1) {
            if (movie && !hadIdx1) plan.idx1Absolute = Idx1CountsFromFileStart(input, top, avi);
            hadIdx1 = true;
        } else {
            const std::uint64_t bytes = 8 + std::uint64_t{top.dwSize};
            if (top.qwPosition + bytes > input.Size()) continue;
            plan.items.push_back({TopItem::kCopy, top.qwPosition, bytes + (top.dwSize & 1)});
        }
    }
    plan.withIdx1 = hadIdx1 || indexExpected;
    if (!header) why = "no header list";
    if (header && !movie) why = "no movie data";
    return header && movie;
}

HeaderCounts CountsOf(const CopyPlan& plan, const CAviParser& avi, const FileFacts& facts,
                      const std::vector<KeptChunk>& chunks) {
    HeaderCounts counts;
    counts.indexed = plan.withIdx1;
    const ScanFacts* scan = facts.scan ? &*facts.scan : nullptr;
    const bool whole = scan != nullptr && facts.missingBytes == 0 && scan->damagedRegions == 0 &&
                       scan->indexMismatches.value_or(0) == 0;
    counts.totalRoundingKept = whole && facts.index.complete;
    const int video = avi.m_Layout.nVideoStream;
    if (video >= 0) {
        const CopyPart& first = plan.parts.front();
        std::uint32_t frames = 0;
        for (std::size_t i = first.first; i < first.end; ++i) {
            frames += chunks[i].Counted() && chunks[i].Stream() == video;
        }
        counts.totalFrames = frames;
        counts.grandFrames = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            avi.m_arStreams[static_cast<std::size_t>(video)].data.chunks, UINT32_MAX));
    }
    for (std::size_t s = 0; s < plan.header.StreamLists() && s < avi.m_arStreams.size(); ++s) {
        const StreamTally& stream = avi.m_arStreams[s];
        counts.largest = std::max(counts.largest, stream.data.largest);
        const bool isVideo = static_cast<int>(s) == video;
        counts.streams.push_back(
            {static_cast<std::uint32_t>(std::min<std::uint64_t>(stream.DataLength(), UINT32_MAX)),
             stream.data.largest, whole && (!isVideo || facts.index.complete)});
    }
    return counts;
}

const StreamTally::Data& DataOf(const CAviParser& avi, int stream) {
    static const StreamTally::Data kNone;
    if (stream < 0 || static_cast<std::size_t>(stream) >= avi.m_arStreams.size()) return kNone;
    return avi.m_arStreams[static_cast<std::size_t>(stream)].data;
}

void Summarise(RepairSummary& summary, const CFileAnalysis& analysis, const ChunkKeeper& kept,
               const CopyPlan& plan) {
    const CAviParser& avi = analysis.m_parser;
    const CMovieScan& scan = analysis.m_scan;
    const StreamTally::Data& video = DataOf(avi, avi.m_Layout.nVideoStream);
    summary.videoFrames = video.chunks;
    summary.emptyVideoFrames = video.emptyChunks;
    summary.audioBytes = DataOf(avi, avi.m_Layout.nAudioStream).bytes;
    summary.chunksKept = kept.chunks.size();
    summary.regionsLeftOut = scan.m_qwDamagedRegions;
    summary.bytesLeftOut = kept.bytesLeftOut;
    summary.regions = scan.m_arDamagedRegions;
    summary.indexEntries = plan.indexEntries;
    summary.keysFromIndex = kept.keys.fromIndex;
    summary.keysFromBitstream = kept.keys.fromBitstream;
    summary.keysAssumed = kept.keys.assumed;
    summary.assumedFourCC = kept.keys.assumedFourCC;
    summary.damagedFramesKept = kept.damaged.kept;
    summary.damagedFramesEmptied = kept.damaged.emptied;
    summary.outputSize = plan.outputSize;
    summary.riffParts = static_cast<std::uint32_t>(plan.parts.size());
    summary.secondMovie = avi.m_Layout.qwSecondMovie;
}

bool HasStreamData(const CAviParser& avi) {
    return std::any_of(avi.m_arStreams.begin(), avi.m_arStreams.end(),
                       [](const StreamTally& stream) { return stream.data.chunks > 0; });
}

// A scan's progress as the repair's in a phase.
CMovieScan::Progress PhaseProgress(const RepairOptions& options, RepairPhase phase) {
    if (!options.progress) return {};
    return [&options, phase](std::uint64_t done, std::uint64_t total) {
        options.progress(phase, done, total);
    };
}

// The first RIFF part's header list as the file holds it; none where it holds none whole.
std::optional<std::string> HeaderListBytes(RawFile& file, const CAviParser& avi) {
    for (const AVITOPCHUNK& top : avi.m_Layout.arTopChunks) {
        if (top.nPart != 0 || top.fccId != kList || top.fccListType != kHdrl) continue;
        if (top.dwSize > HeaderList::kMaxBytes) return std::nullopt;
        std::string bytes(8 + std::size_t{top.dwSize}, '\0');
        const auto size = static_cast<std::int64_t>(bytes.size());
        if (file.ReadAt(top.qwPosition, bytes.data(), bytes.size()) != size) return std::nullopt;
        return bytes;
    }
    return std::nullopt;
}

// The reference's header list, checked against the data; none (why says so) when it cannot
// be read or does not match.
std::optional<RebuiltHeaders> ReferenceHeaders(const std::string& path, const LOSTMOVIE& lost,
                                               const DataProbe& probe, std::string& why) {
    OpenedFile reference = OpenRawFile(path);
    if (!reference.file) {
        why = "cannot open the reference: " + reference.error;
        return std::nullopt;
    }
    CFileAnalysis analysis;
    analysis.AnalyseOpen(*reference.file, path, {});
    std::optional<std::string> list;
    if (analysis.Reported()) list = HeaderListBytes(*reference.file, analysis.m_parser);
    if (!list) {
        why = "the reference has no readable header list";
        return std::nullopt;
    }
    std::optional<RebuiltHeaders> headers =
        CheckedHeaders(std::move(*list), analysis.m_parser, lost, probe, "the reference", why);
    if (!headers) why = "the reference does not match the data: " + why;
    return headers;
}

RepairSummary RepairParsed(RawFile& input, RepairSink* sink, const RepairOptions& options,
                           CFileAnalysis& analysis, bool rebuilt);

// Where a rebuilt copy's data begin: at the first video key frame (the frames before it lack
// what they refer to), found by the frames' family where the first frames' headers did not
// tell it; else where the data begin.
std::uint64_t FirstKeyFrame(RawFile& input, const LOSTMOVIE& lost, const RebuiltHeaders& headers,
                            const RepairOptions& options) {
    if (headers.videoStream < 0 || !TellsFrameType(headers.videoFamily)) return lost.qwStart;
    KeyFrameFinder finder(headers.videoStream, headers.videoFamily);
    CMovieScan::FindLostMovie(input, {.progress = {}, .observer = &finder, .stop = options.stop});
    return finder.first.value_or(lost.qwStart);
}

// A file whose headers are lost: its first movie's chunks, found from its first byte, behind
// a header list from the reference, from the file's own list (ownList, when it has one that
// matches its data), or inferred from the data; then repaired as any file.
RepairSummary Rebuild(RawFile& input, RepairSink* sink, const RepairOptions& options,
                      CFileAnalysis& analysis, std::optional<std::string> ownList,
                      const std::string& lostWhy) {
    DataProbe probe;
    const LOSTMOVIE lost =
        CMovieScan::FindLostMovie(input, {.progress = PhaseProgress(options, RepairPhase::kReading),
                                          .observer = &probe,
                                          .stop = options.stop});
    if (lost.bStopped) return EndedWith(RepairStatus::kStopped, "stopped");
    if (input.Failure()) return EndedWith(RepairStatus::kFailed, ReadFailureText(*input.Failure()));
    if (!lost.bFound) return Unrepairable(lostWhy);
    std::string why;
    HeadersFrom from = HeadersFrom::kData;
    std::optional<RebuiltHeaders> headers;
    if (!options.reference.empty()) {
        headers = ReferenceHeaders(options.reference, lost, probe, why);
        if (!headers) return Unrepairable(why);
        from = HeadersFrom::kReference;
    } else if (ownList) {
        headers = CheckedHeaders(std::move(*ownList), analysis.m_parser, lost, probe,
                                 "the header list", why);
        from = HeadersFrom::kOwnList;
    }
    if (!headers) {
        headers = InferHeaders(lost, probe, why);
        if (!headers) return Unrepairable(why);
        from = HeadersFrom::kData;
    }
    const std::uint64_t start =
        probe.firstKey ? *probe.firstKey : FirstKeyFrame(input, lost, *headers, options);
    StitchedFile stitched(StitchedHead(headers->list, lost.qwEnd - start), input, start,
                          lost.qwEnd);
    RepairSummary summary = RepairParsed(stitched, sink, options, analysis, true);
    summary.headersFrom = from;
    if (from == HeadersFrom::kReference) summary.reference = options.reference;
    summary.rebuilt = std::move(headers->fields);
    for (DAMAGEDREGION& region : summary.regions) {
        region.qwPosition = stitched.ToBody(region.qwPosition);
    }
    if (start > lost.qwStart) {  // the frames before the first key frame
        summary.regions.insert(summary.regions.begin(), {lost.qwStart, start - lost.qwStart});
        ++summary.regionsLeftOut;
        summary.bytesLeftOut += start - lost.qwStart;
    }
    return summary;
}

RepairSummary RepairParsed(RawFile& input, RepairSink* sink, const RepairOptions& options,
                           CFileAnalysis& analysis, bool rebuilt) {
    // Parsed first: the keeper learns the streams from the headers before the scan starts.
    analysis.AnalyseOpen(input, "", {});
    const FileFacts facts = FillFacts("", analysis, false);
    if (facts.readFailure) return EndedWith(RepairStatus::kFailed, facts.failure);
    const bool lost =
        facts.status == FileStatus::kNotAvi || facts.status == FileStatus::kHeaderFailed;
    if (lost && !rebuilt)
        return Rebuild(input, sink, options, analysis, std::nullopt, facts.failure);
    if (GaveOnlyMessage(facts.status)) return Unrepairable(facts.failure);
    if (analysis.m_parser.m_Layout.arMoviLists.empty() && !rebuilt) {
        return Rebuild(input, sink, options, analysis, HeaderListBytes(input, analysis.m_parser),
                       "no stream data");
    }
    ChunkKeeper kept(analysis.m_parser, options.keepDamagedFrames, rebuilt);
    analysis.m_scan.ScanFrom(input, analysis.m_parser,
                             {.progress = PhaseProgress(options, RepairPhase::kReading),
                              .observer = &kept,
                              .stop = options.stop});
    if (analysis.m_scan.m_bStopped) return EndedWith(RepairStatus::kStopped, "stopped");
    if (input.Failure()) return EndedWith(RepairStatus::kFailed, ReadFailureText(*input.Failure()));
    if (!HasStreamData(analysis.m_parser)) return Unrepairable("no stream data");
    kept.TakeLateDamage(analysis.m_scan.m_arDamagedFrames);

    CopyPlan plan;
    const StreamTallies& streams = analysis.m_parser.m_arStreams;
    for (std::size_t s = 0; s < streams.size(); ++s) plan.chunkIds[s] = streams[s].data.unitId;
    std::string why;
    if (!PlanTopItems(input, analysis.m_parser, IndexExpected(facts), plan, why)) {
        return Unrepairable(why);
    }
    if (!PlanParts(plan, kept.chunks)) return Unrepairable("a chunk too large for a RIFF part");
    RepairSummary summary;
    const FileFacts scanned = FillFacts("", analysis.m_parser, &analysis.m_scan);
    plan.header.SetCounts(CountsOf(plan, analysis.m_parser, scanned, kept.chunks), summary.changes);
    Summarise(summary, analysis, kept, plan);
    if (options.dryRun || sink == nullptr) {
        summary.status = RepairStatus::kPlanned;
        return summary;
    }
    RepairOutcome written = WriteCopy(input, *sink, plan, kept.chunks, options);
    summary.status = written.status;
    summary.message = std::move(written.why);
    return summary;
}

}  // namespace

RepairSummary RepairInto(RawFile& input, RepairSink* sink, const RepairOptions& options) {
    CFileAnalysis analysis;
    return RepairInto(input, sink, options, analysis);
}

RepairSummary RepairInto(RawFile& input, RepairSink* sink, const RepairOptions& options,
                         CFileAnalysis& analysis) {
    return RepairParsed(input, sink, options, analysis, false);
}

namespace {

// What a copy keeps of its input on purpose: the damaged frames the repair kept (and no more),
// and what the stream headers say of the streams, which the copy keeps as they are.
bool KeptOnPurpose(const Finding& finding, const FileFacts& copy, const RepairSummary& summary) {
    const std::string_view rule = finding.rule->id;
    if (rule == "strh.invalid" || rule == "strh.zero_rate") return true;
    return rule == "frame.damaged" && copy.scan &&
           copy.scan->damagedFrames <= summary.damagedFramesKept;
}

}  // namespace

RepairOutcome VerifyRepairedCopy(RawFile& output, const std::string& name,
                                 const RepairSummary& summary, const RepairOptions& options) {
    CFileAnalysis analysis;
    return VerifyRepairedCopy(output, name, summary, options, analysis);
}

RepairOutcome VerifyRepairedCopy(RawFile& output, const std::string& name,
                                 const RepairSummary& summary, const RepairOptions& options,
                                 CFileAnalysis& analysis) {
    CFileAnalysis::Options check;
    check.scan = true;
    check.data.stop = options.stop;
    check.data.progress = PhaseProgress(options, RepairPhase::kChecking);
    // The copy's frames are the input's, checked when it was scanned: the copy's check proves
    // its chunks and index sound.
    check.data.frames = false;
    analysis.AnalyseOpen(output, name, check);
    if (analysis.m_bScanned && analysis.m_scan.m_bStopped)
        return {RepairStatus::kStopped, "stopped"};
    const FileFacts facts = FillFacts(name, analysis, true);
    auto failed = [](std::string why) {
        return RepairOutcome{RepairStatus::kFailed, std::move(why)};
    };
    for (const Finding& finding : facts.findings) {
        if (finding.severity != Severity::kError) continue;
        if (KeptOnPurpose(finding, facts, summary)) continue;
        return failed("the repaired copy does not pass the check: " + finding.message + " [" +
                      finding.rule->id + "]");
    }
    if (!facts.scan) return failed("the repaired copy could not be checked");
    if (facts.scan->videoFrames != summary.videoFrames ||
        facts.scan->audioBytes != summary.audioBytes) {
        return failed("the repaired copy holds " + std::to_string(facts.scan->videoFrames) +
                      " video frames and " + std::to_string(facts.scan->audioBytes) +
                      " audio bytes, not " + std::to_string(summary.videoFrames) + " and " +
                      std::to_string(summary.audioBytes));
    }
    return {};
}

}  // namespace plovik
