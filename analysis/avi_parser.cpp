#include "plovik/avi_parser.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>

#include "byte_source.h"
#include "tick_clock.h"

namespace plovik {
namespace {

constexpr FOURCC kRiff = MakeFourCC("RIFF");
constexpr FOURCC kAvi = MakeFourCC("AVI ");
constexpr FOURCC kList = MakeFourCC("LIST");
constexpr FOURCC kJunk = MakeFourCC("JUNK");
constexpr FOURCC kJunq = MakeFourCC("JUNQ");
constexpr FOURCC kSegm = MakeFourCC("segm");
constexpr FOURCC kIdx1 = MakeFourCC("idx1");
constexpr FOURCC kHdrl = MakeFourCC("hdrl");
constexpr FOURCC kAvih = MakeFourCC("avih");
constexpr FOURCC kStrl = MakeFourCC("strl");
constexpr FOURCC kStrh = MakeFourCC("strh");
constexpr FOURCC kStrf = MakeFourCC("strf");
constexpr FOURCC kStrd = MakeFourCC("strd");
constexpr FOURCC kStrn = MakeFourCC("strn");
constexpr FOURCC kIndx = MakeFourCC("indx");
constexpr FOURCC kVids = MakeFourCC("vids");
constexpr FOURCC kAuds = MakeFourCC("auds");
constexpr FOURCC kTxts = MakeFourCC("txts");
constexpr FOURCC kMovi = MakeFourCC("movi");
constexpr FOURCC kOdml = MakeFourCC("odml");
constexpr FOURCC kInfo = MakeFourCC("INFO");
constexpr FOURCC kIsft = MakeFourCC("ISFT");
constexpr FOURCC kVideoCompressed = MakeFourCC("00dc");
constexpr FOURCC kVideoUncompressed = MakeFourCC("00db");
constexpr FOURCC kAudio = MakeFourCC("01wb");
// "00dc" and "00db" differ in one bit of the last character: with it set, both match.
constexpr FOURCC kVideoIdMask = 0x01000000;
static_assert((kVideoUncompressed | kVideoIdMask) == kVideoCompressed &&
              (kVideoCompressed | kVideoIdMask) == kVideoCompressed);

constexpr std::size_t kMainHeaderBytes = 64;
constexpr std::size_t kStreamHeaderBytes = 64;
constexpr std::size_t kAudioFormatBytes = 18;
constexpr std::size_t kVideoFormatBytes = 44;
constexpr std::size_t kIndexEntryBytes = 16;
constexpr std::size_t kInitialKeyTimes = 100000;
constexpr std::uint32_t kClockCheckStep = 1000;
constexpr std::uint32_t kLargestTimeLimit = 0xFFFFFFFF;
constexpr std::size_t kIndexBlock = 32;  // entries looked at together: one bit each
// Bit i of a block mask, from a table: a shift by the loop index would not vectorise.
constexpr auto kEntryBits = [] {
    std::array<std::uint32_t, kIndexBlock> bits{};
    for (std::size_t i = 0; i < kIndexBlock; ++i) bits[i] = std::uint32_t{1} << i;
    return bits;
}();

std::atomic<TraceSink> g_traceSink{nullptr};
std::atomic<TickSource> g_tickSource{nullptr};

void Trace(const char* text) {
    if (TraceSink sink = g_traceSink.load()) sink(text);
}

// "00dc" or "00db".
constexpr bool IsVideoId(FOURCC id) { return (id | kVideoIdMask) == kVideoCompressed; }

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The number of set bits, in plain arithmetic: std::popcount becomes a library call
// where the baseline instruction set has no such instruction.
constexpr std::uint32_t CountBits(std::uint32_t x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}
static_assert(CountBits(0) == 0 && CountBits(0xFFFFFFFFu) == 32 && CountBits(0x80000101u) == 3);

// The first 8 bytes of an index entry: the id in the low half, the flags in the high.
std::uint64_t LoadIdAndFlags(const std::uint8_t* entry) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t value;
        std::memcpy(&value, entry, sizeof value);
        return value;
    } else {
        return std::uint64_t{Le32(entry + 4)} << 32 | Le32(entry);
    }
}

struct BlockSummary {
    std::uint32_t videos;     // "00dc"/"00db" entries
    std::uint32_t videoMask;  // bit i: entry i is one of them
    std::uint32_t keyMask;    // bit i: entry i is one of them and a key frame
};

// Which entries of a block are video frames, and which of those are key frames.
// Branch-free so that the compiler vectorises it.
BlockSummary SummariseBlock(const std::uint8_t* entries) {
    std::uint32_t videoMask = 0;
    std::uint32_t flagMask = 0;
    for (std::size_t i = 0; i < kIndexBlock; ++i) {
        // Id and flags as one word: the vectoriser gathers them with fewer shuffles.
        const std::uint64_t idAndFlags = LoadIdAndFlags(entries + i * kIndexEntryBytes);
        const std::uint32_t isVideo = IsVideoId(static_cast<FOURCC>(idAndFlags));
        const auto isFlagged = static_cast<std::uint32_t>(idAndFlags >> 36) & 1;  // flag 0x10
        videoMask |= kEntryBits[i] & (0u - isVideo);
        flagMask |= kEntryBits[i] & (0u - isFlagged);
    }
    return {CountBits(videoMask), videoMask, videoMask & flagMask};
}

// A key frame noted in its key-time slot until its time is worked out: the video
// count in the high half, the chunk offset in the low half. The count stays below
// 2^28 (an index has fewer entries), so the bits are a finite double, and copying
// it never alters them.
double KeyFrameNote(std::uint32_t videoCount, std::uint32_t chunkOffset) {
    return std::bit_cast<double>(std::uint64_t{videoCount} << 32 | chunkOffset);
}

void ReadKeyFrameNote(double note, std::uint32_t& videoCount, std::uint32_t& chunkOffset) {
    const auto bits = std::bit_cast<std::uint64_t>(note);
    videoCount = static_cast<std::uint32_t>(bits >> 32);
    chunkOffset = static_cast<std::uint32_t>(bits);
}

// A RIFF size with its pad byte.
std::uint64_t Padded(std::uint32_t size) { return std::uint64_t{size} + (size & 1); }

// Bytes of a list after its 4-byte type; a list too small for its type has none.
std::uint32_t ListDataSize(std::uint32_t size) { return size >= 4 ? size - 4 : 0; }

// A millisecond counter that wraps at 32 bits, like the system tick count.
std::uint32_t TickCount() {
    if (TickSource source = g_tickSource.load()) return source();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

AVIMAINHEADER DecodeMainHeader(const std::uint8_t* p) {
    AVIMAINHEADER h{};
    h.fcc = Le32(p);
    h.cb = Le32(p + 4);
    h.dwMicroSecPerFrame = Le32(p + 8);
    h.dwMaxBytesPerSec = Le32(p + 12);
    h.dwPaddingGranularity = Le32(p + 16);
    h.dwFlags = Le32(p + 20);
    h.dwTotalFrames = Le32(p + 24);
    h.dwInitialFrames = Le32(p + 28);
    h.dwStreams = Le32(p + 32);
    h.dwSuggestedBufferSize = Le32(p + 36);
    h.dwWidth = Le32(p + 40);
    h.dwHeight = Le32(p + 44);
    for (int i = 0; i < 4; ++i) h.dwReserved[i] = Le32(p + 48 + 4 * i);
    return h;
}

AVISTREAMHEADER DecodeStreamHeader(const std::uint8_t* p) {
    AVISTREAMHEADER h{};
    h.fccType = Le32(p);
    h.fccHandler = Le32(p + 4);
    h.dwFlags = Le32(p + 8);
    h.wPriority = Le16(p + 12);
    h.wLanguage = Le16(p + 14);
    h.dwInitialFrames = Le32(p + 16);
    h.dwScale = Le32(p + 20);
    h.dwRate = Le32(p + 24);
    h.dwStart = Le32(p + 28);
    h.dwLength = Le32(p + 32);
    h.dwSuggestedBufferSize = Le32(p + 36);
    h.dwQuality = Le32(p + 40);
    h.dwSampleSize = Le32(p + 44);
    for (int i = 0; i < 4; ++i) h.rcFrame[i] = Le32(p + 48 + 4 * i);
    return h;
}

WAVEFORMATEX DecodeAudioFormat(const std::uint8_t* p) {
    WAVEFORMATEX f{};
    f.wFormatTag = Le16(p);
    f.nChannels = Le16(p + 2);
    f.nSamplesPerSec = Le32(p + 4);
    f.nAvgBytesPerSec = Le32(p + 8);
    f.nBlockAlign = Le16(p + 12);
    f.wBitsPerSample = Le16(p + 14);
    f.cbSize = Le16(p + 16);
    return f;
}

BITMAPINFO DecodeVideoFormat(const std::uint8_t* p) {
    BITMAPINFO f{};
    BITMAPINFOHEADER& h = f.bmiHeader;
    h.biSize = Le32(p);
    h.biWidth = static_cast<std::int32_t>(Le32(p + 4));
    h.biHeight = static_cast<std::int32_t>(Le32(p + 8));
    h.biPlanes = Le16(p + 12);
    h.biBitCount = Le16(p + 14);
    h.biCompression = Le32(p + 16);
    h.biSizeImage = Le32(p + 20);
    h.biXPelsPerMeter = static_cast<std::int32_t>(Le32(p + 24));
    h.biYPelsPerMeter = static_cast<std::int32_t>(Le32(p + 28));
    h.biClrUsed = Le32(p + 32);
    h.biClrImportant = Le32(p + 36);
    f.bmiColors[0] = {p[40], p[41], p[42], p[43]};
    return f;
}

// Text up to its first NUL byte, or all of it.
std::string TextUpToNul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

}  // namespace

void SetTraceSink(TraceSink sink) { g_traceSink.store(sink); }

void SetTickSource(TickSource source) { g_tickSource.store(source); }

CAviParser::CAviParser() {
    Reset();
    m_arKeyTimes.assign(kInitialKeyTimes, 0.0);
}

CAviParser::~CAviParser() = default;

void CAviParser::Reset() {
    m_hFile.reset();
    m_llFilePos = -1;
    m_dwRiffSize = 0xFFFFFFFF;
    m_qwFileSize = 0;
    m_qwDataSize = 0;
    m_bHasText = false;
    m_llMoviPos = 0;
    m_llMoviSize = 0;
    m_llIndexPos = 0;
    m_llIndexSize = 0;
    m_arKeyFrames.clear();
    m_arKeyFrames.shrink_to_fit();
    m_nKeyFrames = 0;
    m_bIndexOK = false;
    m_nIndexKind = INDEX_KIND_NONE;
    m_nIndexFrames = 0;
    m_dwIndexTotalFrames = 0;
    m_arSuperIndex.clear();
    m_nRiffParts = 0;
    m_nAudioStream = -1;
    m_nStreamLists = 0;
    m_nError = PARSE_OK;
    m_strSoftware.clear();
    m_bSkipIndex = false;
    m_dwTimeout = 0xFFFFFFFF;
    m_MainHeader = {};
    m_VideoHeader = {};
    m_AudioHeader = {};
    m_TextHeader = {};
    m_AudioFormat = {};
    m_VideoFormat = {};
    m_videoFormatBytes = {};
    m_audioFormatBytes = {};
}

bool CAviParser::Parse(const std::string& strPath, std::uint32_t dwTimeout, bool bSkipIndex) {
    Reset();
    m_dwTimeout = dwTimeout;
    m_bSkipIndex = bSkipIndex;
    std::unique_ptr<ByteSource> source = OpenFileSource(strPath);
    if (!source) {
        m_nError = PARSE_ERR_OPEN;
        return false;
    }
    return Analyse(std::move(source), strPath);
}

bool CAviParser::ParseFrom(std::unique_ptr<ByteSource> source, const std::string& strPath,
                           std::uint32_t dwTimeout, bool bSkipIndex) {
    Reset();
    m_dwTimeout = dwTimeout;
    m_bSkipIndex = bSkipIndex;
    if (!source) {
        m_nError = PARSE_ERR_OPEN;
        return false;
    }
    return Analyse(std::move(source), strPath);
}

bool CAviParser::Analyse(std::unique_ptr<ByteSource> source, const std::string& strPath) {
    m_hFile = std::move(source);
    m_qwFileSize = m_hFile->Size();
    SeekTo(0);
    const bool result = ParseChunks();
    if (m_nError != PARSE_ERR_NOT_AVI) SumRiffParts();
    m_hFile.reset();
    m_strPathName = strPath;
    m_strFileName = GetFileNameExt(strPath);
    return result;
}

bool CAviParser::IsFrontIndex() const {
    return m_llMoviPos != 0 && m_llIndexPos != 0 && m_llIndexPos < m_llMoviPos;
}

// ---- Reading primitives: every read and skip honours the RIFF pad byte. ----

bool CAviParser::ReadBytes(void* buffer, std::uint32_t n) {
    if (!m_hFile->Read(buffer, static_cast<std::size_t>(Padded(n)))) return false;
    m_llFilePos = m_hFile->Position();
    return true;
}

void CAviParser::SkipBytes(std::uint32_t n) {
    m_llFilePos = m_hFile->SeekBy(static_cast<std::int64_t>(Padded(n)));
}

void CAviParser::SeekTo(std::int64_t position) { m_llFilePos = m_hFile->Seek(position); }

void CAviParser::SkipForwardTo(std::int64_t position) {
    if (position > m_llFilePos) SeekTo(position);
}

// Reads n bytes (and the pad byte) of a header record. A record cut short by the end
// of the file still takes the bytes that are there, as a plain read leaves them in
// the record; the position then stays where it was, as after any failed read.
void CAviParser::ReadRecord(std::uint8_t* record, std::uint32_t n) {
    if (ReadBytes(record, n)) return;
    const std::int64_t start = m_llFilePos;
    const auto position = static_cast<std::uint64_t>(start);
    if (start < 0 || position >= m_qwFileSize) return;
    const auto partial =
        static_cast<std::size_t>(std::min<std::uint64_t>(n, m_qwFileSize - position));
    if (m_hFile->Read(record, partial)) SeekTo(start);
}

bool CAviParser::BytesAvailable(std::uint64_t n) const {
    const auto position = static_cast<std::uint64_t>(m_llFilePos);
    return m_llFilePos >= 0 && position <= m_qwFileSize && m_qwFileSize - position >= n;
}

bool CAviParser::ReadChunkHeader(FOURCC& id, std::uint32_t& size) {
    std::uint8_t header[8];
    if (!ReadBytes(header, 8)) return false;
    id = Le32(header);
    size = Le32(header + 4);
    return true;
}

// ---- The walk ----

bool CAviParser::ReadRiffHeader() {
    FOURCC id = 0;
    std::uint32_t size = 0;
    if (!ReadChunkHeader(id, size) || id != kRiff) return false;
    std::uint8_t form[4];
    if (!ReadBytes(form, 4) || Le32(form) != kAvi) return false;
    m_dwRiffSize = size;
    return true;
}

// A flat walk: the "hdrl" list is entered, not skipped, so its chunks come to this
// loop as if they stood at the top level. It ends at the first chunk it does not
// handle, which for a file of several RIFF parts is the second "RIFF".
bool CAviParser::ParseChunks() {
    if (!ReadRiffHeader()) {
        m_nError = PARSE_ERR_NOT_AVI;
        return false;
    }
    while (m_llFilePos != static_cast<std::int64_t>(m_qwFileSize)) {
        FOURCC id = 0;
        std::uint32_t size = 0;
        if (!ReadChunkHeader(id, size)) return true;
        if (id == kList) {
            if (!ParseList(size)) return false;
        } else if (id == kJunk || id == kJunq || id == kSegm) {
            SkipBytes(size);
        } else if (id == kIdx1) {
            if (!ReadIndex(size)) {
                m_nError = PARSE_ERR_INDEX;
                return false;
            }
        } else {
            return true;
        }
    }
    return true;
}

bool CAviParser::ReadMainHeader() {
    std::uint8_t bytes[kMainHeaderBytes];
    if (!ReadBytes(bytes, kMainHeaderBytes)) return false;
    m_MainHeader = DecodeMainHeader(bytes);
    return m_MainHeader.fcc == kAvih;
}

bool CAviParser::ParseList(std::uint32_t size) {
    const std::int64_t listEnd = m_llFilePos + static_cast<std::int64_t>(Padded(size));
    std::uint8_t type[4];
    if (!ReadBytes(type, 4)) return false;
    switch (Le32(type)) {
        case kHdrl:
            if (ReadMainHeader()) return true;
            m_nError = PARSE_ERR_HEADER;
            return false;
        case kStrl:
            ++m_nStreamLists;
            if (ParseStreamList(listEnd)) return true;
            m_nError = PARSE_ERR_STREAM;
            return false;
        case kMovi:
            m_llMoviPos = m_llFilePos - 12;
            m_llMoviSize = std::int64_t{size} + 8;
            return SkipMovi(ListDataSize(size));
        case kInfo:
            return ParseInfoList(listEnd);
        case kOdml:  // the extended header is not needed
        default:
            SkipBytes(ListDataSize(size));
            return true;
    }
}

bool CAviParser::SkipMovi(std::uint32_t nBytes) {
    SkipBytes(nBytes);
    return true;
}

// A chunk's data as text up to its first NUL; empty when it cannot be read. Reads
// only what the file holds, so a lying size never allocates beyond the file.
std::string CAviParser::ReadChunkText(std::uint32_t size) {
    std::string data;
    if (BytesAvailable(Padded(size))) {
        data.resize(static_cast<std::size_t>(Padded(size)));
        if (ReadBytes(data.data(), size)) return TextUpToNul(data);
    }
    SkipBytes(size);
    return {};
}

// The authoring software is the first "ISFT" anywhere in the list. A list without
// one may still carry the name in a leading "JUNK" sub-chunk.
bool CAviParser::ParseInfoList(std::int64_t listEnd) {
    bool first = true;
    bool haveJunkText = false;
    std::string junkText;
    while (listEnd - m_llFilePos >= 8) {
        FOURCC id = 0;
        std::uint32_t size = 0;
        if (!ReadChunkHeader(id, size)) {
            if (first) return false;
            break;
        }
        const std::uint64_t padded = Padded(size);
        if (padded > static_cast<std::uint64_t>(listEnd - m_llFilePos)) break;
        const bool wanted = id == kIsft || (first && id == kJunk);
        first = false;
        if (!wanted) {
            SkipBytes(size);
            continue;
        }
        const std::string data = ReadChunkText(size);
        if (id == kIsft) {
            m_strSoftware = data;
            SkipForwardTo(listEnd);
            return true;
        }
        junkText = data;
        haveJunkText = true;
    }
    if (haveJunkText) m_strSoftware = junkText;
    SkipForwardTo(listEnd);
    return true;
}

// ---- Stream lists ----

// Sub-chunks of one "strl" list. A sub-chunk that runs past the list ends it, and
// the walk goes on at the list's end.
bool CAviParser::ParseStreamList(std::int64_t listEnd) {
    while (listEnd - m_llFilePos >= 8) {
        FOURCC id = 0;
        std::uint32_t size = 0;
        if (!ReadChunkHeader(id, size)) return false;
        // A format that does not follow its stream header: its data is read as sub-chunks.
        if (id == kStrf) continue;
        if (Padded(size) > static_cast<std::uint64_t>(listEnd - m_llFilePos)) break;
        if (id == kStrh) {
            const StreamStep step = ReadStreamHeader(size, listEnd);
            if (step == StreamStep::Fail) return false;
            if (step == StreamStep::EndList) break;
        } else if (id == kStrd || id == kJunk || id == kList || id == kIndx) {
            SkipBytes(size);
        } else if (id == kStrn) {
            // A stream name consumes the rest of the list; it must be there to be read.
            if (!BytesAvailable(static_cast<std::uint64_t>(listEnd - m_llFilePos))) return false;
            SeekTo(listEnd);
        } else {
            break;
        }
    }
    SkipForwardTo(listEnd);
    return true;
}

CAviParser::StreamStep CAviParser::ReadStreamHeader(std::uint32_t size, std::int64_t listEnd) {
    std::uint8_t bytes[kStreamHeaderBytes] = {};
    const auto kept = static_cast<std::uint32_t>(std::min<std::size_t>(size, kStreamHeaderBytes));
    if (!ReadBytes(bytes, kept)) return StreamStep::Fail;
    if (size > kStreamHeaderBytes) SkipBytes(size - kStreamHeaderBytes);
    const AVISTREAMHEADER header = DecodeStreamHeader(bytes);
    switch (header.fccType) {
        case kVids:
            m_VideoHeader = header;
            return ReadVideoFormat(listEnd);
        case kAuds:
            m_AudioHeader = header;
            m_nAudioStream = m_nStreamLists - 1;
            return ReadAudioFormat(listEnd);
        case kTxts:
            m_bHasText = true;
            m_TextHeader = header;
            return StreamStep::Next;
        default:
            return StreamStep::Next;
    }
}

// The sub-chunk after a video stream header is its format, whatever its id. At most
// 44 bytes are kept; a shorter format leaves the later bytes as they were.
CAviParser::StreamStep CAviParser::ReadVideoFormat(std::int64_t listEnd) {
    if (listEnd - m_llFilePos < 8) return StreamStep::EndList;
    FOURCC id = 0;
    std::uint32_t size = 0;
    if (!ReadChunkHeader(id, size)) return StreamStep::Fail;
    if (Padded(size) > static_cast<std::uint64_t>(listEnd - m_llFilePos)) {
        return StreamStep::EndList;
    }
    const auto kept = static_cast<std::uint32_t>(std::min<std::size_t>(size, kVideoFormatBytes));
    ReadRecord(m_videoFormatBytes.data(), kept);
    m_VideoFormat = DecodeVideoFormat(m_videoFormatBytes.data());
    if (size > kVideoFormatBytes) SkipBytes(size - kVideoFormatBytes);
    return StreamStep::Next;
}

// The sub-chunk after an audio stream header is its format, whatever its id; 18
// bytes are read whatever its size. An audio stream list ends here: a shorter format
// was over-read, so this is the one step back, never before the list's end.
CAviParser::StreamStep CAviParser::ReadAudioFormat(std::int64_t listEnd) {
    if (listEnd - m_llFilePos < 8) return StreamStep::EndList;
    FOURCC id = 0;
    std::uint32_t size = 0;
    if (!ReadChunkHeader(id, size)) return StreamStep::Fail;
    if (Padded(size) > static_cast<std::uint64_t>(listEnd - m_llFilePos)) {
        return StreamStep::EndList;
    }
    ReadRecord(m_audioFormatBytes.data(), kAudioFormatBytes);
    m_AudioFormat = DecodeAudioFormat(m_audioFormatBytes.data());
    SeekTo(listEnd);
    return StreamStep::EndList;
}

// ---- Index scan ----

bool CAviParser::ReadIndex(std::uint32_t nBytes) {
    m_llIndexPos = m_llFilePos - 8;
    if (m_llIndexPos % 2 != 0) m_llIndexPos += 1;
    m_llIndexSize = static_cast<std::int64_t>(Padded(nBytes)) + 8;
    m_nIndexKind = INDEX_KIND_IDX1;
    m_dwIndexTotalFrames = m_MainHeader.dwTotalFrames;
    m_nIndexFrames = 0;
    if (m_bSkipIndex) {
        SkipBytes(nBytes);
        return true;
    }
    m_bIndexOK = false;
    m_nKeyFrames = 0;
    m_arKeyFrames.clear();
    IndexScan scan;
    const bool complete = ScanIndex(nBytes, scan);
    // Whether the scan ended or stopped early, what it found stands.
    m_nIndexFrames = scan.videoCount;
    CompleteKeyFrames();
    return complete;
}

bool CAviParser::ScanIndex(std::uint32_t nBytes, IndexScan& scan) {
    // A limit of 0 turns the check off, and no elapsed time exceeds the largest limit
    // (the one the report uses): neither needs the clock.
    scan.timed = m_dwTimeout != 0 && m_dwTimeout != kLargestTimeLimit;
    scan.startTicks = TickCount();
    // Entries are taken in runs straight from the read buffer: the same bytes in the
    // same order as one 16-byte read per entry, without a copy or a call for each.
    std::uint32_t entriesLeft = nBytes / kIndexEntryBytes;
    while (entriesLeft > 0) {
        const std::string_view run =
            m_hFile->View(std::size_t{entriesLeft} * kIndexEntryBytes, kIndexEntryBytes);
        if (run.empty()) return false;  // the index ends early: a failed entry read
        const std::size_t count = run.size() / kIndexEntryBytes;
        std::size_t taken = 0;
        const bool inTime =
            ScanEntries(reinterpret_cast<const std::uint8_t*>(run.data()), count, scan, taken);
        if (!inTime) {
            // Stop right after the entry that found the time passed.
            SeekTo(m_hFile->Position() -
                   static_cast<std::int64_t>((count - taken) * kIndexEntryBytes));
            Trace("key frame reading time over..");
            return false;
        }
        entriesLeft -= static_cast<std::uint32_t>(count);
        m_llFilePos = m_hFile->Position();
    }
    // Bytes that do not make a whole entry: the index is damaged. Nothing after the
    // chunk is read as an entry.
    if (nBytes % kIndexEntryBytes != 0) return false;
    m_bIndexOK = scan.videoCount == m_dwIndexTotalFrames;
    return true;
}

// Scans count entries; false when the time limit has passed, with taken the number
// of entries up to and including the one whose clock check found it.
bool CAviParser::ScanEntries(const std::uint8_t* entries, std::size_t count, IndexScan& scan,
                             std::size_t& taken) {
    std::size_t i = 0;
    for (; i + kIndexBlock <= count; i += kIndexBlock) {
        const std::uint8_t* block = entries + i * kIndexEntryBytes;
        const BlockSummary summary = SummariseBlock(block);
        if (scan.timed && scan.videoCount + summary.videos >= scan.checkAt) {
            // A clock check falls in this block: its entries are taken one by one.
            for (std::size_t j = 0; j < kIndexBlock; ++j) {
                if (!ScanEntry(block + j * kIndexEntryBytes, scan)) {
                    taken = i + j + 1;
                    return false;
                }
            }
            continue;
        }
        if (summary.keyMask != 0) {
            AddBlockKeyFrames(block, summary.videoMask, summary.keyMask, scan.videoCount);
        }
        scan.videoCount += summary.videos;
    }
    for (; i < count; ++i) {  // the last few entries of the run
        if (!ScanEntry(entries + i * kIndexEntryBytes, scan)) {
            taken = i + 1;
            return false;
        }
    }
    taken = count;
    return true;
}

// One entry: "00dc"/"00db" count as video frames of stream 0 and may be key frames;
// they and "01wb" take part in the clock check; any other id is ignored. False when
// the time limit has passed.
bool CAviParser::ScanEntry(const std::uint8_t* entry, IndexScan& scan) {
    const FOURCC id = Le32(entry);
    const bool isVideo = IsVideoId(id);
    if (!isVideo && id != kAudio) return true;
    if (isVideo) {
        ++scan.videoCount;
        // Past the multiple of the clock step: the next one is due.
        if (scan.videoCount > scan.checkAt) scan.checkAt += kClockCheckStep;
        if (Le32(entry + 4) & AVIIF_KEYFRAME) AddKeyFrame(scan.videoCount, Le32(entry + 8));
    }
    // The clock is read while the video count is a multiple of the step (0 included).
    return !(scan.videoCount == scan.checkAt && scan.timed && IndexTimeOver(scan.startTicks));
}

// The key frames of a block that starts after videoCount video entries.
void CAviParser::AddBlockKeyFrames(const std::uint8_t* entries, std::uint32_t videoMask,
                                   std::uint32_t keyMask, std::uint32_t videoCount) {
    for (std::uint32_t keys = keyMask; keys != 0; keys &= keys - 1) {
        const int i = std::countr_zero(keys);
        // Video entries up to and including this one; the shift wraps to all bits at 31.
        const std::uint32_t upToHere = videoMask & ((2u << i) - 1);
        const std::uint8_t* entry = entries + static_cast<std::size_t>(i) * kIndexEntryBytes;
        AddKeyFrame(videoCount + CountBits(upToHere), Le32(entry + 8));
    }
}

// Key frame of video entry number videoCount. While the key-time array has room,
// the key frame is only noted in its slot; CompleteKeyFrames turns the notes into
// times and records, so the records are allocated once, at the size they need.
void CAviParser::AddKeyFrame(std::uint32_t videoCount, std::uint32_t chunkOffset) {
    if (m_nKeyFrames < m_arKeyTimes.size()) {
        m_arKeyTimes[m_nKeyFrames++] = KeyFrameNote(videoCount, chunkOffset);
        return;
    }
    // Past the array's length: it grows by one entry per key frame from here on.
    CompleteKeyFrames();
    const double seconds = KeyFrameTime(videoCount);
    m_arKeyTimes.push_back(seconds);
    m_arKeyFrames.push_back({seconds, chunkOffset, 0});
    ++m_nKeyFrames;
}

// Turns the noted key frames (those without a record yet) into times and records.
void CAviParser::CompleteKeyFrames() {
    const std::size_t recorded = m_arKeyFrames.size();
    if (recorded == m_nKeyFrames) return;
    m_arKeyFrames.reserve(m_nKeyFrames);
    for (std::size_t k = recorded; k < m_nKeyFrames; ++k) {
        std::uint32_t videoCount = 0;
        std::uint32_t chunkOffset = 0;
        ReadKeyFrameNote(m_arKeyTimes[k], videoCount, chunkOffset);
        const double seconds = KeyFrameTime(videoCount);
        m_arKeyTimes[k] = seconds;
        m_arKeyFrames.push_back({seconds, chunkOffset, 0});
    }
}

// Time of video entry number videoCount (the first one is at time 0).
double CAviParser::KeyFrameTime(std::uint32_t videoCount) const {
    // The product is exact in 64 bits, scaled in extended precision, stored as a double.
    const std::uint64_t micros =
        std::uint64_t{videoCount - 1} * std::uint64_t{m_MainHeader.dwMicroSecPerFrame};
    return static_cast<double>(static_cast<long double>(micros) * static_cast<long double>(1e-6));
}

bool CAviParser::IndexTimeOver(std::uint32_t startTicks) const {
    const std::uint32_t elapsed = TickCount() - startTicks;  // correct across the wrap
    return elapsed > m_dwTimeout;
}

// ---- RIFF parts ----

// Files over the RIFF size limit continue in further "RIFF" parts. Only their
// headers are read, one seek each; every hop moves forward by at least 8 bytes.
void CAviParser::SumRiffParts() {
    std::uint64_t total = m_dwRiffSize;
    m_nRiffParts = 1;
    std::uint64_t next = 8 + Padded(m_dwRiffSize);
    while (next + 8 <= m_qwFileSize) {
        SeekTo(static_cast<std::int64_t>(next));
        FOURCC id = 0;
        std::uint32_t size = 0;
        if (!ReadChunkHeader(id, size) || id != kRiff) break;
        total += size;
        ++m_nRiffParts;
        next += 8 + Padded(size);
    }
    m_qwDataSize = total;
}

// ---- Text helpers ----

std::string FourCCToString(FOURCC fcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fcc >> (8 * i)) & 0xFF);
        if (c == '\0') break;
        text += c;
    }
    return text;
}

}  // namespace plovik
