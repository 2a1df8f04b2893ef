// The conformance check: the rules, and the findings that the facts of a file make.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "plovik/chunk_ids.h"
#include "plovik/file_facts.h"
#include "plovik/stream_tally.h"

namespace plovik {
namespace {

// The catalogue, in the order findings are listed. Ids are stable: scripts filter on them.
enum RuleIndex : std::size_t {
    kReadFailed,
    kOpenFailed,
    kNotAvi,
    kHeaderUnreadable,
    kHeadersLost,
    kStreamListUnreadable,
    kUnfinished,
    kTruncated,
    kChunkOverrun,
    kTrailingData,
    kConcatenated,
    kUnknownChunk,
    kUnpaddedChunk,
    kPartOver1GiB,
    kPartOver2GiB,
    kFileOver4GiB,
    kNoSuperIndex,
    kGrandFrames,
    kHeaderStreams,
    kTotalFrames,
    kFrameTime,
    kZeroRate,
    kInvalidStreamHeader,
    kFrameSize,
    kBufferSize,
    kStreamLength,
    kNoIndex,
    kIndexDamaged,
    kIndexMismatch,
    kNoKeyFrames,
    kIndexOutOfOrder,
    kMixedOffsets,
    kDataDamaged,
    kFrameDamaged,
    kEmptyFrames,
    kPlayableShort,
    kNoStreamData,
    kPoorInterleave,
    kAudioLength,
    kVbrUnderCbrHeader,
    kKeyFlags,
    kPacked,
    kRuleCount
};

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;
constexpr Severity I = Severity::kInfo;

constexpr Rule kRules[kRuleCount] = {
    {"read.failed", E, "a read of the file failed; nothing after it is judged"},
    {"file.open_failed", E, "the file cannot be opened"},
    {"file.not_avi", E, "not a RIFF AVI file"},
    {"avih.unreadable", E, "the header list or its main header cannot be read"},
    {"hdrl.lost", E, "the headers are lost, the movie data found without them can be rebuilt"},
    {"strl.unreadable", E, "a stream list cannot be read"},
    {"riff.unfinished", E,
     "the writer never finished the file: size fields left as placeholders, no index"},
    {"riff.truncated", E, "the file ends before its RIFF parts say they end"},
    {"riff.chunk_overrun", E, "a top-level chunk runs past the end of its RIFF part"},
    {"riff.trailing_data", W, "bytes after the last RIFF part that begin no other part"},
    {"riff.concatenated", E,
     "another movie follows the first (a RIFF AVI part after it): files joined end to end"},
    {"riff.unknown_chunk", I, "a top-level chunk that AVI readers do not know"},
    {"riff.unpadded_chunk", W, "chunks of an odd size without their pad byte"},
    {"riff.part_over_1gib", I, "a RIFF part over 1 GiB, the size OpenDML writers keep to"},
    {"riff.part_over_2gib", W, "a RIFF part of 2 GiB or more: readers of signed 32-bit sizes fail"},
    {"riff.file_over_4gib", E,
     "a file over 4 GiB in one RIFF part: the data past 4 GiB is in no part"},
    {"odml.no_super_index", E,
     "RIFF parts after the first without a super index: readers see the first only"},
    {"odml.grand_frames", W, "the frame total of dmlh differs from the frames of the file"},
    {"avih.streams", W, "dwStreams differs from the number of stream lists"},
    {"avih.total_frames", W, "dwTotalFrames differs from the frames of the first RIFF part"},
    {"avih.frame_time", W, "dwMicroSecPerFrame differs from the video stream's rate and scale"},
    {"strh.zero_rate", E, "a stream whose rate or scale is 0: its time cannot be computed"},
    {"strh.invalid", E,
     "a stream with chunks under a header that is none: no stream type, or a format too short"},
    {"strf.frame_size", W, "the frame size of the main header differs from the video format's"},
    {"strh.buffer_size", W, "a suggested buffer size smaller than the largest chunk it is for"},
    {"strh.length", W, "a stream's length differs from its chunks present"},
    {"idx1.missing", E, "no index: players cannot seek without reading the whole file"},
    {"index.damaged", E, "the index is cut short or lists fewer frames than the header"},
    {"index.mismatch", E, "index entries that point at no chunk with their id and size"},
    {"index.no_key_frames", W, "no video entry of the index is marked as a key frame"},
    {"index.out_of_order", W, "index entries out of file order"},
    {"idx1.mixed_offsets", E, "idx1 offsets relative to the movie data and absolute, mixed"},
    {"movi.damaged", E, "regions of the movie data that hold no well-formed chunk"},
    {"frame.damaged", E,
     "frames whose codec's structure (markers, lengths, CRCs) their bytes break"},
    {"movi.empty_frames", I, "zero-size (dropped) video frames"},
    {"movi.playable_short", W, "video frames are missing: less plays than the header says"},
    {"movi.no_data", E, "the movie data hold no chunk of any stream"},
    {"interleave.poor", W, "AVIF_ISINTERLEAVED is set, yet one stream runs more than 2 s ahead"},
    {"audio.length", W, "the audio ends more than 1 s before or after the video"},
    {"audio.vbr_cbr_header", W,
     "variable-rate MPEG audio under a constant-rate header: players drift"},
    {"video.key_flags", W, "index key-frame flags that the frames' own bytes contradict"},
    {"video.packed", I, "MPEG-4 frames stored packed, several in a chunk"},
};

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
constexpr std::uint32_t kInterleavedFlag = 0x100;  // AVIF_ISINTERLEAVED
constexpr double kAudioLengthTolerance = 1.0;      // seconds

// "2.35 s"
std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

std::string Num(std::uint64_t value) { return std::to_string(value); }

std::string Plural(std::uint64_t count, const char* one, const char* many) {
    return Num(count) + " " + (count == 1 ? one : many);
}

class Findings {
  public:
    explicit Findings(const FileFacts& facts) : f(facts) {}

    std::vector<Finding> Run();

  private:
    void Add(RuleIndex rule, std::string message, std::optional<std::uint64_t> position = {},
             std::optional<std::uint64_t> length = {}) {
        AddAs(kRules[rule].severity, rule, std::move(message), position, length);
    }
    // A finding of the rule in a case milder than the rule's own severity.
    void AddAs(Severity severity, RuleIndex rule, std::string message,
               std::optional<std::uint64_t> position = {},
               std::optional<std::uint64_t> length = {}) {
        m_out.push_back({&kRules[rule], severity, position, length, std::move(message)});
    }

    Severity MissingIndexSeverity() const;
    bool OnlyMessage();
    bool HeadersLost();
    void Riff();
    void OpenDml();
    void Headers();
    void HeaderCounts();
    void StreamRates();
    void StreamHeaders();
    void Index();
    void Data();
    void DamagedFrames();
    void Streams();
    // The frames and chunks present can be held against the headers: the file is whole
    // and its data undamaged.
    bool DataIntact() const {
        return f.scan && f.missingBytes == 0 && f.scan->dataDamagedRegions == 0 &&
               f.scan->cutAt == 0 && !f.scan->stopped;
    }

    const FileFacts& f;
    std::vector<Finding> m_out;
};

// A file that gave only a message, or whose reading failed: one finding, nothing else.
bool Findings::OnlyMessage() {
    if (f.readFailure) {
        Add(kReadFailed, ReadFailureText(*f.readFailure), f.readFailure->position);
        return true;
    }
    switch (f.status) {
        case FileStatus::kOpenFailed:
            Add(kOpenFailed, "cannot open (" + f.failure + ")");
            return true;
        case FileStatus::kNotAvi:
            if (f.lostHeaders) return HeadersLost();
            Add(kNotAvi, "not an AVI file", 0);
            return true;
        case FileStatus::kHeaderFailed:
            if (f.lostHeaders) return HeadersLost();
            Add(kHeaderUnreadable, "unreadable header");
            return true;
        default:
            return false;
    }
}

// "headers lost; movie data from byte 9982: 50 chunks '00dc', 87 chunks '01wb'; plovik-repair
// can rebuild the file"
bool Findings::HeadersLost() {
    const LostHeaderFacts& lost = *f.lostHeaders;
    std::string message = "headers lost; movie data from byte " + Num(lost.dataStart) + ":";
    for (std::size_t i = 0; i < lost.streams.size(); ++i) {
        message += (i == 0 ? " " : ", ") + Plural(lost.streams[i].chunks, "chunk", "chunks") +
                   " '" + lost.streams[i].idText + "'";
    }
    Add(kHeadersLost, message + "; plovik-repair can rebuild the file", lost.dataStart);
    return true;
}

void Findings::Riff() {
    const StructureFacts& st = f.structure;
    if (f.unfinished) {
        Add(kUnfinished, "not finished by its writer (size fields never filled in, no index)");
    } else if (f.missingBytes != 0) {
        Add(kTruncated, "truncated (" + Num(f.missingBytes) + " bytes missing)", f.fileSize,
            f.missingBytes);
    }
    if (st.firstOverrun && !f.unfinished) {
        Add(kChunkOverrun,
            "chunk '" + st.firstOverrun->idText + "' at byte " + Num(st.firstOverrun->position) +
                " runs past its RIFF part",
            st.firstOverrun->position, st.firstOverrun->end - st.firstOverrun->position);
    }
    const bool oneHugePart = f.riffParts == 1 && f.fileSize > 4 * kGiB;
    if (oneHugePart) {
        Add(kFileOver4GiB, Num(f.fileSize) + " bytes in one RIFF part", 0, f.fileSize);
    } else if (st.trailingBytes != 0) {
        Add(kTrailingData, Plural(st.trailingBytes, "byte", "bytes") + " after the last RIFF part",
            f.fileSize - st.trailingBytes, st.trailingBytes);
    }
    if (st.secondMovie != 0) {
        Add(kConcatenated,
            "another movie begins at byte " + Num(st.secondMovie) + "; only the first is checked",
            st.secondMovie, f.fileSize - st.secondMovie);
    }
    if (st.firstUnknown) {
        std::string message = "unknown top-level chunk '" + st.firstUnknown->idText + "'";
        if (st.unknownChunks > 1) message += " (" + Num(st.unknownChunks) + " in all)";
        Add(kUnknownChunk, message, st.firstUnknown->position);
    }
    if (f.scan && f.scan->unpaddedChunks != 0) {
        Add(kUnpaddedChunk, Plural(f.scan->unpaddedChunks, "odd-sized chunk", "odd-sized chunks") +
                                " without the pad byte");
    }
    for (std::size_t i = 0; i < st.parts.size(); ++i) {
        const RiffPartFacts& part = st.parts[i];
        auto text = [&] { return "RIFF part " + Num(i + 1) + " of " + Num(part.size) + " bytes"; };
        if (part.size >= 2 * kGiB && !f.unfinished) {
            Add(kPartOver2GiB, text(), part.position, part.size + 8);
        } else if (part.size > kGiB && f.riffParts > 1) {
            Add(kPartOver1GiB, text(), part.position, part.size + 8);
        }
    }
}

void Findings::OpenDml() {
    if (f.riffParts > 1 && !f.index.superIndex) {
        Add(kNoSuperIndex, Plural(f.riffParts, "RIFF part", "RIFF parts") + " and no super index");
    }
    if (!f.structure.grandFrames) return;
    std::optional<std::uint64_t> frames;
    if (DataIntact()) {
        frames = f.scan->videoFrames;
    } else if (f.index.kind != IndexKind::kNone && f.index.complete) {
        frames = f.index.videoFrames;
    }
    if (frames && *frames != *f.structure.grandFrames) {
        // Readers time the video by its stream header's length: when that is right, so is
        // what a user sees (a writer that put the first part's count into dmlh).
        const int video = f.structure.videoStream;
        const bool lengthRight = video >= 0 && static_cast<std::size_t>(video) < f.streams.size() &&
                                 f.streams[static_cast<std::size_t>(video)].length == *frames;
        AddAs(lengthRight ? Severity::kInfo : Severity::kWarning, kGrandFrames,
              "dmlh counts " + Num(*f.structure.grandFrames) + " frames, the file has " +
                  Num(*frames));
    }
}

void Findings::Headers() {
    const StructureFacts& st = f.structure;
    if (f.status == FileStatus::kStreamFailed) Add(kStreamListUnreadable, "unreadable stream list");
    if (st.headerStreams != static_cast<std::uint32_t>(st.streamLists)) {
        Add(kHeaderStreams,
            "dwStreams is " + Num(st.headerStreams) + ", the header list has " +
                Plural(static_cast<std::uint64_t>(st.streamLists), "stream list", "stream lists"));
    }
    StreamRates();
    StreamHeaders();
    const auto formatWidth = static_cast<std::uint64_t>(std::abs(std::int64_t{st.formatWidth}));
    const auto formatHeight = static_cast<std::uint64_t>(std::abs(std::int64_t{st.formatHeight}));
    if (f.video.present && f.video.width != 0 && formatWidth != 0 &&
        (f.video.width != formatWidth || f.video.height != formatHeight)) {
        Add(kFrameSize, "main header " + Num(f.video.width) + "x" + Num(f.video.height) +
                            ", video format " + Num(formatWidth) + "x" + Num(formatHeight));
    }
    if (!f.unfinished && DataIntact()) HeaderCounts();
}

// The chunks of a stream the data (or, without them, the index) hold.
std::uint64_t ChunksOf(const StreamFacts& s) {
    if (s.present) return s.present->chunks + s.present->paletteChanges;
    return s.indexed ? s.indexed->entries : 0;
}

// The least bytes a format of the stream's type holds: BITMAPINFOHEADER, PCMWAVEFORMAT.
std::uint32_t FormatBytesNeeded(FOURCC type) {
    if (type == kVids) return 40;
    if (type == kAuds) return 16;
    return 0;
}

bool IsStreamType(FOURCC type) {
    return type == kVids || type == kAuds || type == kTxts || type == kMids || type == kIavs;
}

// The first stream whose chunks no stream header describes; else the chunks of stream
// numbers without a stream list (a header list whose stream lists were overwritten).
void Findings::StreamHeaders() {
    for (std::size_t i = 0; i < f.streams.size(); ++i) {
        const StreamFacts& s = f.streams[i];
        const std::uint64_t chunks = ChunksOf(s);
        if (chunks == 0) continue;
        std::string what;
        if (!s.hasHeader) {
            what = "no stream header";
        } else if (!IsStreamType(s.type)) {
            what = "a stream header of no stream type ('" + s.typeCode + "')";
        } else if (s.formatBytes < FormatBytesNeeded(s.type)) {
            what = "a format of " + Plural(s.formatBytes, "byte", "bytes") + " (at least " +
                   Num(FormatBytesNeeded(s.type)) + " needed)";
        } else {
            continue;
        }
        Add(kInvalidStreamHeader,
            "stream " + Num(i) + " has " + Plural(chunks, "chunk", "chunks") + " under " + what);
        return;
    }
    if (f.scan && f.scan->unlistedChunks != 0) {
        Add(kInvalidStreamHeader, Plural(f.scan->unlistedChunks, "chunk", "chunks") +
                                      " of streams that no stream list describes");
    }
}

void Findings::StreamRates() {
    const StructureFacts& st = f.structure;
    for (std::size_t i = 0; i < f.streams.size(); ++i) {
        const StreamFacts& s = f.streams[i];
        if ((s.type == kVids || s.type == kAuds) && (s.rate == 0 || s.scale == 0)) {
            Add(kZeroRate, "stream " + Num(i) + " has a rate of " + Num(s.rate) +
                               " and a scale of " + Num(s.scale));
            break;
        }
    }
    if (!f.video.present || f.video.rate == 0 || f.video.scale == 0) return;
    const double expected = 1e6 * f.video.scale / f.video.rate;
    const double difference = std::abs(expected - st.microSecPerFrame);
    if (difference > 1.0 && difference > expected / 1000) {
        Add(kFrameTime, "dwMicroSecPerFrame is " + Num(st.microSecPerFrame) +
                            ", the video rate gives " +
                            Num(static_cast<std::uint64_t>(expected + 0.5)));
    }
}

bool ClaimsIndex(const FileFacts& facts) {
    return (facts.flags & (AVIF_HASINDEX | AVIF_MUSTUSEINDEX)) != 0;
}

// The header says whether the file has an index: its absence is damage only when it
// claims one, and a matter of seeking only where there is video to seek in.
Severity Findings::MissingIndexSeverity() const {
    if (ClaimsIndex(f)) return Severity::kError;
    return IndexExpected(f) ? Severity::kWarning : Severity::kInfo;
}

// The header counts against the chunks of a whole, undamaged file.
void Findings::HeaderCounts() {
    const StructureFacts& st = f.structure;
    const ScanFacts& scan = *f.scan;
    if (f.video.present && st.totalFrames != scan.firstPartFrames) {
        const bool withinOneFrame = WithinOneChunk(st.totalFrames, scan.firstPartFrames, 0, 0);
        AddAs(withinOneFrame ? Severity::kInfo : Severity::kWarning, kTotalFrames,
              "dwTotalFrames is " + Num(st.totalFrames) + ", the first RIFF part has " +
                  Plural(scan.firstPartFrames, "frame", "frames"));
    }
    if (st.suggestedBufferSize != 0 && st.suggestedBufferSize < scan.largestChunk) {
        Add(kBufferSize, "suggested buffer of " + Num(st.suggestedBufferSize) +
                             " bytes in the main header, the largest chunk has " +
                             Num(scan.largestChunk));
    }
    for (std::size_t i = 0; i < f.streams.size(); ++i) {
        const StreamFacts& s = f.streams[i];
        if (!s.present) continue;
        const StreamFacts::Present& present = *s.present;
        if (s.suggestedBufferSize != 0 && s.suggestedBufferSize < present.largest) {
            Add(kBufferSize, "suggested buffer of " + Num(s.suggestedBufferSize) +
                                 " bytes for stream " + Num(i) + ", its largest chunk has " +
                                 Num(present.largest));
        }
        if (s.type != 0 && present.length != s.length) {
            const bool withinOneChunk =
                WithinOneChunk(s.length, present.length, s.sampleSize, present.largest);
            AddAs(withinOneChunk ? Severity::kInfo : Severity::kWarning, kStreamLength,
                  "stream " + Num(i) + " has a length of " + Num(s.length) + ", " +
                      Num(present.length) + " present");
        }
    }
}

void Findings::Index() {
    const IndexFacts& index = f.index;
    if (index.kind == IndexKind::kNone) {
        if (!f.unfinished) AddAs(MissingIndexSeverity(), kNoIndex, "no index");
        return;
    }
    if (!index.complete && f.video.present) {
        std::string message = "index damaged (";
        if (index.videoFrames == index.totalFrames) {
            message += "cut short after its " + Num(index.videoFrames) + " frames)";
        } else {
            message +=
                Num(index.videoFrames) + " of " + Num(index.totalFrames) + " frames indexed)";
        }
        Add(kIndexDamaged, message, index.position, index.size);
    }
    if (index.videoFrames != 0 && index.keyFrames == 0) {
        Add(kNoKeyFrames, "no index entry is marked as a key frame", index.position, index.size);
    }
    if (!f.scan || !f.scan->indexMismatches) return;
    if (*f.scan->indexMismatches != 0) {
        Add(kIndexMismatch,
            Plural(*f.scan->indexMismatches, "index entry points", "index entries point") +
                " at no chunk",
            index.position, index.size);
    }
    if (!f.scan->indexInOrder) Add(kIndexOutOfOrder, "index entries out of file order");
    if (f.scan->idx1OffsetsMixed) {
        Add(kMixedOffsets, "idx1 offsets relative and absolute, mixed", index.position, index.size);
    }
}

void Findings::Data() {
    if (!f.scan) return;
    const ScanFacts& scan = *f.scan;
    if (scan.dataDamagedRegions != 0) {
        const DAMAGEDREGION& first = scan.regions.front();
        Add(kDataDamaged,
            "damaged data (" + Plural(scan.dataDamagedRegions, "region", "regions") + ", " +
                Num(scan.dataDamagedBytes) + " bytes)",
            first.qwPosition, std::min(first.qwLength, scan.dataDamagedBytes));
    }
    if (scan.damagedFrames != 0) DamagedFrames();
    if (scan.emptyFrames != 0)
        Add(kEmptyFrames, Plural(scan.emptyFrames, "empty frame", "empty frames"));
    if (scan.headerSeconds && scan.playableSeconds < *scan.headerSeconds &&
        scan.videoFrames < scan.expectedFrames.value_or(0)) {
        Add(kPlayableShort,
            "playable " + Num(scan.playableSeconds) + " of " + Num(*scan.headerSeconds) + " s");
    }
    if (scan.streamChunks == 0 && !scan.stopped) {
        // Without a "movi" list the data may be there all the same.
        if (f.lostHeaders) {
            HeadersLost();
        } else {
            Add(kNoStreamData, "no stream data");
        }
    }
    Streams();
}

// "damaged frames (3 in stream 0, 1 in stream 1), the first: JPEG data end without EOI"
void Findings::DamagedFrames() {
    const ScanFacts& scan = *f.scan;
    std::string counts;
    for (std::size_t i = 0; i < f.streams.size(); ++i) {
        const auto& present = f.streams[i].present;
        if (!present || present->damagedFrames == 0) continue;
        if (!counts.empty()) counts += ", ";
        counts += Num(present->damagedFrames) + " in stream " + Num(i);
    }
    std::string message = Plural(scan.damagedFrames, "damaged frame", "damaged frames");
    if (!counts.empty()) message = "damaged frames (" + counts + ")";
    std::optional<std::uint64_t> position;
    if (!scan.damagedFrameList.empty()) {
        const DAMAGEDFRAME& first = scan.damagedFrameList.front();
        message += ", the first: " + first.reason;
        position = first.qwPosition;
    }
    Add(kFrameDamaged, message, position);
}

// How the audio goes with the video in a file whose data are whole.
void Findings::Streams() {
    const ScanFacts& scan = *f.scan;
    const bool flagged = (f.flags & kInterleavedFlag) != 0;
    if (const std::optional<InterleaveFacts>& il = scan.interleave;
        il && !il->interleaved && flagged) {
        const bool leads = il->maxLead >= il->maxLag;
        Add(kPoorInterleave,
            std::string("not interleaved: the audio runs ") + (leads ? "ahead" : "behind") +
                " by " + Seconds(leads ? il->maxLead : il->maxLag),
            leads ? il->maxLeadPosition : il->maxLagPosition);
    }
    if (DataIntact() && scan.audioTime && scan.videoTime && scan.videoFrames != 0 &&
        std::abs(*scan.audioTime - *scan.videoTime) > kAudioLengthTolerance) {
        Add(kAudioLength, "the audio lasts " + Seconds(*scan.audioTime) + ", the video " +
                              Seconds(*scan.videoTime));
    }
    const StructureFacts& st = f.structure;
    const auto audio = static_cast<std::size_t>(st.audioStream);
    const bool constantRate =
        st.audioStream >= 0 && audio < f.streams.size() && f.streams[audio].sampleSize != 0;
    if (scan.audioBitratesVary && constantRate) {
        Add(kVbrUnderCbrHeader, "MPEG audio of several bit rates under a constant-rate header");
    }
    if (scan.keyFlagMismatches && *scan.keyFlagMismatches != 0) {
        Add(kKeyFlags,
            Plural(*scan.keyFlagMismatches, "frame", "frames") +
                " whose index key flag the frame's own bytes contradict",
            f.index.position, f.index.size);
    }
    if (scan.packedBitstream.value_or(false)) {
        Add(kPacked, "packed MPEG-4 frames", scan.firstPackedChunk);
    }
}

std::vector<Finding> Findings::Run() {
    if (OnlyMessage()) return std::move(m_out);
    Riff();
    OpenDml();
    Headers();
    Index();
    Data();
    // In catalogue order, whatever order the checks above found them in.
    std::stable_sort(m_out.begin(), m_out.end(),
                     [](const Finding& a, const Finding& b) { return a.rule < b.rule; });
    return std::move(m_out);
}

}  // namespace

std::span<const Rule> Rules() { return kRules; }

std::vector<Finding> FindFindings(const FileFacts& facts) { return Findings(facts).Run(); }

bool IndexExpected(const FileFacts& facts) { return ClaimsIndex(facts) || facts.video.present; }

Verdict VerdictOf(const FileFacts& facts, const std::vector<Finding>& findings) {
    if (GaveOnlyMessage(facts.status) || facts.readFailure) return Verdict::kUnreadable;
    Verdict verdict = Verdict::kOk;
    for (const Finding& finding : findings) {
        if (finding.severity == Severity::kError) return Verdict::kDamaged;
        if (finding.severity == Severity::kWarning) verdict = Verdict::kWarnings;
    }
    return verdict;
}

}  // namespace plovik
