// Filling the record of one file's facts: each value computed here once.
#include "plovik/file_facts.h"
#include "plovik/chunk_ids.h"

#include <algorithm>
#include <cmath>

#include "plovik/codecs.h"
#include "plovik/file_analysis.h"
#include "plovik/format.h"
#include "plovik/frame_type.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

constexpr HeaderFlag kHeaderFlags[] = {
    {0x10, "has_index", "인덱스있음"},
    {0x20, "must_use_index", "AVIF_MUSTUSEINDEX"},
    {0x100, "is_interleaved", "AVIF_ISINTERLEAVED"},
    {0x10000, "was_capture_file", "AVIF_WASCAPTUREFILE"},
    {0x20000, "copyrighted", "AVIF_COPYRIGHTED"},
};

FileStatus StatusOf(int errorCode) {
    switch (errorCode) {
        case PARSE_ERR_NOT_AVI:
            return FileStatus::kNotAvi;
        case PARSE_ERR_OPEN:
            return FileStatus::kOpenFailed;
        case PARSE_ERR_HEADER:
            return FileStatus::kHeaderFailed;
        case PARSE_ERR_STREAM:
            return FileStatus::kStreamFailed;
        case PARSE_ERR_INDEX:
            return FileStatus::kIndexFailed;
        default:
            return FileStatus::kOk;
    }
}

// Why a file gave only a message, in the words of a diagnostic.
std::string FailureReason(FileStatus status, const std::string& openError) {
    switch (status) {
        case FileStatus::kNotAvi:
            return "not an AVI file";
        case FileStatus::kOpenFailed:
            return openError.empty() ? "cannot be opened" : openError;
        case FileStatus::kHeaderFailed:
            return "unreadable header";
        default:
            return {};
    }
}

// Four bytes as text; a byte that is not printable ASCII reads "[N]", N in decimal.
std::string FourCCCode(FOURCC fcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(fcc >> (8 * i));
        if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            text += '[';
            text += std::to_string(unsigned{byte});
            text += ']';
        }
    }
    return text;
}

std::int32_t AsSigned(std::uint32_t value) { return static_cast<std::int32_t>(value); }

// Running time T in whole seconds: MulDiv of the video length, scale and rate, the fields
// taken as signed values (so a length or rate of 2^31 and more reads -1). A file without
// video lasts as long as its audio stream's header says; one with neither, 0.
std::int32_t RunningTime(const CAviParser& avi) {
    const AVISTREAMHEADER& stream =
        avi.m_VideoHeader.fccType == kVids ? avi.m_VideoHeader : avi.m_AudioHeader;
    if (stream.fccType != kVids && stream.fccType != kAuds) return 0;
    return MulDiv(AsSigned(stream.dwLength), AsSigned(stream.dwScale), AsSigned(stream.dwRate));
}

// count x times / over in seconds; nothing when over is 0.
std::optional<double> Seconds(std::uint64_t count, std::uint32_t times, std::uint32_t over) {
    if (over == 0) return std::nullopt;
    return static_cast<double>(count) * times / over;
}

// Whole seconds of count units of scale / rate seconds, truncated; none without a rate.
std::optional<std::uint64_t> TruncatedSeconds(std::uint64_t count, std::uint32_t scale,
                                              std::uint32_t rate) {
    if (rate == 0) return std::nullopt;
    // (count % rate) x scale < 2^64: exact; a count so large that the whole overflows is
    // held at the largest value.
    const std::uint64_t whole = count / rate;
    if (scale != 0 && whole > UINT64_MAX / scale) return UINT64_MAX;
    return whole * scale + count % rate * scale / rate;
}

// The smaller of two times, where a time that is missing does not limit the other.
template <class T>
std::optional<T> Smaller(const std::optional<T>& a, const std::optional<T>& b) {
    if (a && b) return std::min(*a, *b);
    return a ? a : b;
}

VideoFacts VideoFactsOf(const CAviParser& avi, std::uint64_t kiloBytesPerSec) {
    const AVISTREAMHEADER& header = avi.m_VideoHeader;
    const AVIMAINHEADER& main = avi.m_MainHeader;
    VideoFacts v;
    v.present = header.fccType == kVids;
    v.handler = header.fccHandler;
    v.compression = avi.m_VideoFormat.bmiHeader.biCompression;
    v.handlerText = FileTextToUtf8(FourCCToString(v.handler));
    v.handlerCode = FourCCCode(v.handler);
    v.compressionCode = FourCCCode(v.compression);
    const std::optional<std::string_view> listed = FindVideoCodecName(v.handler, v.compression);
    v.codecListed = listed.has_value();
    v.codecName = listed ? std::string(*listed) : GetVideoCodecName(v.handler, v.compression);
    if (v.present) v.shortName = ShortVideoCodecName(v.handler, v.compression);
    v.width = main.dwWidth;
    v.height = main.dwHeight;
    v.aspectRatio = v.height == 0 ? 0.0 : static_cast<double>(v.width) / v.height;
    v.rate = header.dwRate;
    v.scale = header.dwScale;
    v.length = header.dwLength;
    if (v.scale != 0) v.frameRate = static_cast<double>(v.rate) / v.scale;
    v.framesPerSec = MulDiv(AsSigned(v.rate), 1, AsSigned(v.scale));
    // K - nAvgBytesPerSec / 1000, times 8, in unsigned 32 bits that wrap; none without video.
    if (v.present)
        v.kbps = AsSigned((static_cast<std::uint32_t>(kiloBytesPerSec) -
                           avi.m_AudioFormat.nAvgBytesPerSec / 1000) *
                          8u);
    return v;
}

AudioFacts AudioFactsOf(const CAviParser& avi) {
    const WAVEFORMATEX& format = avi.m_AudioFormat;
    AudioFacts a;
    a.present = avi.m_Layout.nAudioStream >= 0;
    a.formatTag = format.wFormatTag;
    a.channels = format.nChannels;
    a.sampleRate = format.nSamplesPerSec;
    a.avgBytesPerSec = format.nAvgBytesPerSec;
    const std::optional<std::string_view> listed = FindAudioFormatName(a.formatTag);
    a.formatListed = listed.has_value();
    a.formatName = listed ? std::string(*listed) : GetAudioFormatName(a.formatTag);
    a.kbps = AsSigned(format.nAvgBytesPerSec * 8u / 1000);
    a.blockAlign = format.nBlockAlign;
    a.bitsPerSample = format.wBitsPerSample;
    const int stream = avi.m_Layout.nAudioStream;
    if (format.wFormatTag == 0xFFFE && stream >= 0 &&
        static_cast<std::size_t>(stream) < avi.m_arStreams.size()) {
        a.subFormat = avi.m_arStreams[static_cast<std::size_t>(stream)].formatTag;
        if (a.subFormat == 0xFFFE) a.subFormat = 0;  // no sub-format read
    }
    a.shortName = a.subFormat != 0 ? ShortAudioCodecName(a.subFormat, a.bitsPerSample)
                                   : ShortAudioCodecName(a.formatTag, a.bitsPerSample);
    const AVISTREAMHEADER& header = avi.m_AudioHeader;
    a.duration = Seconds(header.dwLength, header.dwScale, header.dwRate);
    const bool mpegAudio = a.formatTag == 0x55 || a.formatTag == 0x50;
    a.declaredVbr =
        mpegAudio && (a.blockAlign == 576 || a.blockAlign == 1152) && header.dwSampleSize == 0;
    return a;
}

IndexKind IndexKindOf(int kind) {
    switch (kind) {
        case INDEX_KIND_IDX1:
            return IndexKind::kIdx1;
        case INDEX_KIND_OPENDML:
            return IndexKind::kOpenDml;
        default:
            return IndexKind::kNone;
    }
}

IndexFacts IndexFactsOf(const CAviParser& avi) {
    IndexFacts x;
    x.kind = IndexKindOf(avi.m_nIndexKind);
    if (x.kind == IndexKind::kIdx1) {
        x.position = static_cast<std::uint64_t>(avi.m_llIndexPos);
        x.size = static_cast<std::uint64_t>(avi.m_llIndexSize);
    } else if (x.kind == IndexKind::kOpenDml && !avi.VideoSuperIndex().empty()) {
        x.position = avi.VideoSuperIndex().front().qwOffset;
        x.size = avi.VideoSuperIndex().front().dwSize;
    }
    x.superIndex = !avi.VideoSuperIndex().empty();
    x.complete = avi.m_bIndexOK;
    x.totalFrames = avi.m_dwIndexTotalFrames;
    x.videoFrames = avi.m_nIndexFrames;
    x.keyFrames = avi.m_nKeyFrames;
    x.front = avi.IsFrontIndex();
    x.keyFrameList = &avi.m_arKeyFrames;
    if (x.keyFrames != 0) x.intervals = ComputeKeyFrameStats(avi.m_arKeyFrames);
    return x;
}

// Where the common demuxers give up reading the streams side by side.
constexpr double kInterleaveLimit = 2.0;

InterleaveFacts InterleaveFactsOf(const SCANINTERLEAVE& m) {
    return {m.dMaxLead <= kInterleaveLimit && m.dMaxLag <= kInterleaveLimit,
            m.dPreload,
            m.dMaxLead,
            m.qwMaxLeadPos,
            m.dMaxLag,
            m.qwMaxLagPos};
}

FrameSizeStats SizeStatsOf(const SizeTally& sizes) {
    return {sizes.count, sizes.min, sizes.max,
            sizes.count == 0 ? 0.0 : static_cast<double>(sizes.sum) / sizes.count};
}

// The video stream's tally; none without a video stream.
const StreamTally* VideoTally(const CAviParser& avi) {
    const int video = avi.m_Layout.nVideoStream;
    if (video < 0 || static_cast<std::size_t>(video) >= avi.m_arStreams.size()) return nullptr;
    return &avi.m_arStreams[static_cast<std::size_t>(video)];
}

// From the chunks with a data scan, else from what the index lists.
std::optional<FrameSizes> FrameSizesOf(const CFileAnalysis& analysis) {
    if (analysis.m_bScanned) {
        return FrameSizes{true, SizeStatsOf(analysis.m_scan.m_KeyFrameSizes),
                          SizeStatsOf(analysis.m_scan.m_DeltaFrameSizes)};
    }
    if (!analysis.m_bIndexTallied || analysis.m_parser.m_nIndexKind == INDEX_KIND_NONE) {
        return std::nullopt;
    }
    const StreamTally* video = VideoTally(analysis.m_parser);
    if (video == nullptr) return FrameSizes{};  // an index without video frames
    return FrameSizes{false, SizeStatsOf(video->index.keySizes),
                      SizeStatsOf(video->index.deltaSizes)};
}

// The data tally of stream number stream; an empty one where there is no such stream.
const StreamTally::Data& DataOf(const CAviParser& avi, int stream) {
    static const StreamTally::Data kNone;
    if (stream < 0 || static_cast<std::size_t>(stream) >= avi.m_arStreams.size()) return kNone;
    return avi.m_arStreams[static_cast<std::size_t>(stream)].data;
}

// unfinished: the header's counts are the writer's placeholders, and nothing is expected of them.
ScanFacts ScanFactsOf(const CAviParser& avi, const CMovieScan& scan, bool unfinished) {
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    const StreamTally::Data& videoData = DataOf(avi, avi.m_Layout.nVideoStream);
    const StreamTally::Data& audioData = DataOf(avi, avi.m_Layout.nAudioStream);
    const AUDIOUNITS audio = AudioUnitsOf(avi);
    const std::uint64_t audioUnits = audio.Units(audioData.bytes, audioData.chunks);
    const std::uint32_t audioRate = audio.bValid ? audio.dwRate : 0;
    ScanFacts s;
    s.videoFrames = videoData.chunks;
    if (!unfinished) {
        s.expectedFrames = video.dwLength;
        s.presentPercent = video.dwLength == 0 ? 0.0 : s.videoFrames * 100.0 / video.dwLength;
        s.headerSeconds = RoundedSeconds(video.dwLength, video.dwScale, video.dwRate);
    }
    s.emptyFrames = videoData.emptyChunks;
    s.audioBytes = audioData.bytes;
    s.audioTime = Seconds(audioUnits, audio.dwScale, audioRate);
    s.audioSeconds = TruncatedSeconds(audioUnits, audio.dwScale, audioRate).value_or(0);
    s.playableTime = Smaller(Seconds(s.videoFrames, video.dwScale, video.dwRate), s.audioTime);
    // Whole seconds from integers: a double would round a huge count on the way.
    s.playableSeconds = Smaller(RoundedSeconds(s.videoFrames, video.dwScale, video.dwRate),
                                RoundedSeconds(audioUnits, audio.dwScale, audioRate))
                            .value_or(0);
    s.damagedRegions = scan.m_qwDamagedRegions;
    s.damagedBytes = scan.m_qwDamagedBytes;
    s.regions = scan.m_arDamagedRegions;
    if (scan.m_bIndexMatched) {
        s.indexEntries = scan.m_qwIndexEntries;
        s.indexMismatches = scan.m_qwIndexMismatches;
    }
    s.indexInOrder = scan.m_bIndexInOrder;
    s.idx1OffsetsMixed = scan.m_bIdx1OffsetsMixed;
    s.dataDamagedRegions = scan.m_qwDataDamagedRegions;
    s.dataDamagedBytes = scan.m_qwDataDamagedBytes;
    s.cutAt = scan.m_qwCutAt;
    s.unpaddedChunks = scan.m_qwUnpaddedChunks;
    s.firstPartFrames = videoData.firstPartChunks;
    s.damagedFrames = scan.m_qwDamagedFrames;
    s.damagedFrameList = scan.m_arDamagedFrames;
    s.largestChunk = scan.m_dwUnlistedLargest;
    s.streamChunks = scan.m_qwUnlistedChunks;
    s.unlistedChunks = scan.m_qwUnlistedChunks;
    for (const StreamTally& stream : avi.m_arStreams) {
        s.largestChunk = std::max(s.largestChunk, stream.data.largest);
        s.streamChunks += stream.data.chunks + stream.data.paletteChanges;
    }
    s.stopped = scan.m_bStopped;
    s.videoTime = Seconds(s.videoFrames, video.dwScale, video.dwRate);
    s.audioBitratesVary = scan.m_bAudioBitratesVary;
    if (scan.m_qwTypedFrames != 0 && scan.m_bIndexMatched) {
        s.keyFlagMismatches = scan.m_qwKeyFlagMismatches;
    }
    const VideoFamily family =
        VideoFamilyOf(avi.m_VideoHeader.fccHandler, avi.m_VideoFormat.bmiHeader.biCompression);
    if (family == VideoFamily::kMpeg4Part2 && s.videoFrames != 0) {
        s.packedBitstream = scan.m_qwPackedChunks != 0;
        s.firstPackedChunk = scan.m_qwFirstPackedChunk;
    }
    if (scan.m_Interleave.bMeasured) s.interleave = InterleaveFactsOf(scan.m_Interleave);
    return s;
}

std::string_view StreamKind(FOURCC type) {
    switch (type) {
        case kVids:
            return "video";
        case kAuds:
            return "audio";
        case kTxts:
            return "text";
        case kMids:
            return "midi";
        case kIavs:
            return "dv";
        case 0:
            return "none";
        default:
            return "other";
    }
}

// One stream's facts from its tally; what the data hold only after a data scan.
StreamFacts StreamFactsOf(const StreamTally& tally, bool indexed, bool scanned) {
    const AVISTREAMHEADER& h = tally.header;
    StreamFacts st;
    st.type = h.fccType;
    st.hasHeader = tally.hasHeader;
    st.formatBytes = tally.formatBytes;
    st.typeCode = FourCCCode(h.fccType);
    st.kind = StreamKind(h.fccType);
    if (tally.IsVideo()) {
        st.code = FourCCCode(tally.compression != 0 ? tally.compression : h.fccHandler);
        st.codec = ShortVideoCodecName(h.fccHandler, tally.compression);
    } else if (tally.IsAudio()) {
        st.formatTag = tally.formatTag;
        st.codec = ShortAudioCodecName(tally.formatTag, tally.bitsPerSample);
    }
    st.scale = h.dwScale;
    st.rate = h.dwRate;
    st.length = h.dwLength;
    st.sampleSize = h.dwSampleSize;
    st.suggestedBufferSize = h.dwSuggestedBufferSize;
    st.duration = Seconds(h.dwLength, h.dwScale, h.dwRate);
    if (indexed) {
        const std::uint64_t length = tally.IndexLength();
        st.indexed = {tally.index.entries, length, Seconds(length, h.dwScale, h.dwRate)};
    }
    if (scanned) {
        const StreamTally::Data& data = tally.data;
        const std::uint64_t length = tally.DataLength();
        st.present = {data.chunks,
                      data.bytes,
                      data.emptyChunks,
                      data.paletteChanges,
                      data.largest,
                      length,
                      Seconds(length, h.dwScale, h.dwRate),
                      data.damagedFrames};
        st.frameCheck = CheckDepthName(data.frameCheck);
    }
    return st;
}

// The top-level chunks a RIFF part may hold.
bool IsKnownTopChunk(const AVITOPCHUNK& chunk) {
    if (chunk.fccId == kList) {
        return chunk.fccListType == kHdrl || chunk.fccListType == kMovi ||
               chunk.fccListType == kInfo;
    }
    return chunk.fccId == kIdx1 || chunk.fccId == kJunk || chunk.fccId == kJunq ||
           chunk.fccId == kSegm;
}

TopChunkFacts TopChunkFactsOf(const AVITOPCHUNK& chunk) {
    return {chunk.qwPosition, chunk.fccId, FourCCCode(chunk.fccId),
            chunk.qwPosition + 8 + chunk.dwSize};
}

void FillTopChunks(StructureFacts& st, const AVILAYOUT& layout) {
    for (const AVITOPCHUNK& chunk : layout.arTopChunks) {
        const std::uint64_t end = chunk.qwPosition + 8 + chunk.dwSize;
        const bool placeholder = chunk.fccId == kList && chunk.dwSize == 0;
        if (!placeholder && chunk.nPart < layout.arRiffParts.size() &&
            end > layout.arRiffParts[chunk.nPart].qwEnd && !st.firstOverrun) {
            st.firstOverrun = TopChunkFactsOf(chunk);
        }
        if (!IsKnownTopChunk(chunk)) {
            if (!st.firstUnknown) st.firstUnknown = TopChunkFactsOf(chunk);
            ++st.unknownChunks;
        }
    }
}

StructureFacts StructureFactsOf(const CAviParser& avi) {
    const AVILAYOUT& layout = avi.m_Layout;
    StructureFacts st;
    for (const AVIRIFFPART& part : layout.arRiffParts) {
        st.parts.push_back({part.qwPosition, part.qwEnd - part.qwPosition - 8, part.fccForm});
    }
    // The first part's size is its field, not its padded extent.
    if (!st.parts.empty()) st.parts.front().size = avi.m_dwRiffSize;
    FillTopChunks(st, layout);
    st.trailingBytes = layout.qwTrailingBytes;
    st.secondMovie = layout.qwSecondMovie;
    st.moviOutgrown = layout.bUnfinished;
    st.streamLists = avi.m_Layout.nStreamLists;
    st.headerStreams = avi.m_MainHeader.dwStreams;
    st.microSecPerFrame = avi.m_MainHeader.dwMicroSecPerFrame;
    st.totalFrames = avi.m_MainHeader.dwTotalFrames;
    st.suggestedBufferSize = avi.m_MainHeader.dwSuggestedBufferSize;
    st.formatWidth = avi.m_VideoFormat.bmiHeader.biWidth;
    st.formatHeight = avi.m_VideoFormat.bmiHeader.biHeight;
    st.videoStream = layout.nVideoStream;
    st.audioStream = avi.m_Layout.nAudioStream;
    if (layout.bHasGrandFrames) st.grandFrames = layout.dwGrandFrames;
    st.hasMovi = avi.m_llMoviPos != 0;
    if (st.hasMovi) st.moviSizeField = static_cast<std::uint64_t>(avi.m_llMoviSize) - 8;
    return st;
}

// A size field a writer puts down first and fills in when it closes the file.
bool IsPlaceholderSize(std::uint64_t size) { return size == 0 || size == 0xFFFFFFFF; }

// Size fields left as their placeholders and no index yet: the writer never finished.
bool Unfinished(const FileFacts& f) {
    if (f.index.kind != IndexKind::kNone) return false;
    return IsPlaceholderSize(f.riffSize) || f.structure.moviOutgrown ||
           (f.structure.hasMovi && IsPlaceholderSize(f.structure.moviSizeField));
}

void FillHeaderFacts(FileFacts& f, const CAviParser& avi) {
    f.runningTime = RunningTime(avi);
    // T is taken unsigned, so -1 divides by 4294967295; a T of 0 has no rate at all.
    const auto seconds = static_cast<std::uint32_t>(f.runningTime);
    f.kiloBytesPerSec = seconds == 0 ? 0 : avi.m_qwDataSize / seconds / 1000;
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    if (video.dwRate != 0) {
        f.duration = static_cast<double>(video.dwLength) * video.dwScale / video.dwRate;
    }
    f.software = FileTextToUtf8(avi.m_strSoftware);
    f.flags = avi.m_MainHeader.dwFlags;
    f.video = VideoFactsOf(avi, f.kiloBytesPerSec);
    f.audio = AudioFactsOf(avi);
    f.index = IndexFactsOf(avi);
    f.hasText = avi.m_bHasText;
    f.structure = StructureFactsOf(avi);
    // A file without video lasts as long as its audio.
    if (!f.duration && !f.video.present) f.duration = f.audio.duration;
    if (f.audio.present) f.audioVbr = f.audio.declaredVbr;
}

}  // namespace

const char* StatusName(FileStatus status) {
    switch (status) {
        case FileStatus::kOk:
            return "ok";
        case FileStatus::kNotAvi:
            return "not_avi";
        case FileStatus::kOpenFailed:
            return "open_failed";
        case FileStatus::kHeaderFailed:
            return "header_failed";
        case FileStatus::kStreamFailed:
            return "stream_failed";
        case FileStatus::kIndexFailed:
            return "index_failed";
        case FileStatus::kReadFailed:
            return "read_failed";
    }
    return "ok";
}

std::span<const HeaderFlag> HeaderFlags() { return kHeaderFlags; }

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::kError:
            return "error";
        case Severity::kWarning:
            return "warning";
        case Severity::kInfo:
            return "info";
    }
    return "info";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::kUnreadable:
            return "unreadable";
        case Verdict::kDamaged:
            return "damaged";
        case Verdict::kWarnings:
            return "warnings";
        case Verdict::kOk:
            return "ok";
    }
    return "ok";
}

std::optional<std::uint64_t> RoundedSeconds(std::uint64_t count, std::uint32_t scale,
                                            std::uint32_t rate) {
    if (rate == 0) return std::nullopt;
    const std::uint64_t whole = count / rate;
    // (count % rate) x scale < 2^64: the fraction is exact.
    const std::uint64_t part = count % rate * scale;
    if (scale != 0 && whole > (UINT64_MAX - part / rate - 1) / scale) return UINT64_MAX;
    std::uint64_t seconds = whole * scale + part / rate;
    if (2 * (part % rate) >= rate) ++seconds;
    return seconds;
}

// Intervals between key frames: the first one is measured from 0.0, not from the
// first key frame. A single key frame has no interval and reads as all zeros.
KeyFrameStats ComputeKeyFrameStats(const KeyFrameList& keys) {
    KeyFrameStats stats;
    if (keys.size() < 2) return stats;
    const std::size_t n = keys.size() - 1;
    auto interval = [&](std::size_t k) { return keys.Time(k) - (k == 1 ? 0.0 : keys.Time(k - 1)); };
    double sum = 0.0;
    for (std::size_t k = 1; k <= n; ++k) {
        sum += interval(k);
        // As fmax for these values (never NaN, never below 0), without a call into libm.
        if (interval(k) > stats.maximum) stats.maximum = interval(k);
    }
    stats.mean = sum / n;
    double squares = 0.0;
    for (std::size_t k = 1; k <= n; ++k) {
        const double d = interval(k) - stats.mean;
        squares += d * d;
    }
    stats.deviation = std::sqrt(squares / n);
    stats.variable = stats.deviation > 0.1;
    return stats;
}

namespace {

// The first read of the file that failed, and whether the file gave its report all the same.
struct ReadOutcome {
    std::optional<FileFailure> failure;
    bool reported = true;
};

FileFacts FactsOf(const std::string& path, const CAviParser& avi, const CMovieScan* scan,
                  const std::string& openError, bool indexTallied, const ReadOutcome& read = {}) {
    FileFacts f;
    f.path = path;
    f.displayPath = FileTextToUtf8(path);
    f.fileName = FileTextToUtf8(GetFileNameExt(path));
    f.errorCode = avi.m_nError;
    f.status = read.failure && !read.reported ? FileStatus::kReadFailed : StatusOf(avi.m_nError);
    f.readFailure = read.failure;
    // What the analysis made of the bytes it read before a failure cannot be trusted.
    f.failure =
        f.readFailure ? ReadFailureText(*f.readFailure) : FailureReason(f.status, openError);
    if (!HasFileSize(f.status)) return f;
    f.fileSize = avi.m_qwFileSize;
    f.riffSize = avi.m_dwRiffSize;
    f.dataSize = avi.m_qwDataSize;
    f.riffParts = avi.m_nRiffParts;
    const std::uint64_t promised = avi.m_qwDataSize + 8 * std::uint64_t{avi.m_nRiffParts};
    f.missingBytes = promised > avi.m_qwFileSize ? promised - avi.m_qwFileSize : 0;
    f.shorterThanData = avi.m_qwFileSize < avi.m_qwDataSize;
    if (!HasHeaders(f.status)) return f;
    FillHeaderFacts(f, avi);
    f.unfinished = Unfinished(f);
    if (scan != nullptr) f.scan = ScanFactsOf(avi, *scan, f.unfinished);
    const bool indexed = indexTallied && avi.m_nIndexKind != INDEX_KIND_NONE;
    f.streams.reserve(avi.m_arStreams.size());
    for (const StreamTally& tally : avi.m_arStreams) {
        f.streams.push_back(StreamFactsOf(tally, indexed, scan != nullptr));
    }
    return f;
}

void Judge(FileFacts& f) {
    f.findings = FindFindings(f);
    f.verdict = VerdictOf(f, f.findings);
}

}  // namespace

std::string ReadFailureText(const FileFailure& failure) {
    return "read error at byte " + std::to_string(failure.position) + " (" + failure.reason + ")";
}

FileFacts FillFacts(const std::string& path, const CAviParser& avi, const CMovieScan* scan,
                    const std::string& openError) {
    FileFacts f = FactsOf(path, avi, scan, openError, false);
    Judge(f);
    return f;
}

namespace {

std::optional<LostHeaderFacts> LostHeadersOf(const std::optional<LOSTMOVIE>& lost) {
    if (!lost) return std::nullopt;
    LostHeaderFacts facts;
    facts.dataStart = lost->qwStart;
    for (const LOSTSTREAM& stream : lost->arStreams) {
        if (stream.qwChunks != 0)
            facts.streams.push_back({FourCCCode(stream.fccId), stream.qwChunks});
    }
    return facts;
}

}  // namespace

FileFacts FillFacts(const std::string& path, const CFileAnalysis& analysis, bool judged) {
    FileFacts f = FactsOf(path, analysis.m_parser, analysis.m_bScanned ? &analysis.m_scan : nullptr,
                          analysis.m_strOpenError, analysis.m_bIndexTallied,
                          {analysis.m_readFailure, analysis.Reported()});
    if (HasHeaders(f.status)) f.frameSizes = FrameSizesOf(analysis);
    f.lostHeaders = LostHeadersOf(analysis.m_lost);
    if (f.audioVbr && f.scan && f.scan->audioBitratesVary) f.audioVbr = true;
    if (judged) Judge(f);
    return f;
}

}  // namespace plovik
