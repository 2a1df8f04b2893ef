// The movie-data walk. What it takes as a chunk:
// - A header is well formed when its id is two decimal digits and two letters or digits
//   (a stream's chunk, "##ix" index chunks included) or one of "LIST", "JUNK", "JUNQ",
//   "idx1", "ix##", and its chunk ends within its list (the pad byte of an odd size may
//   be missing at the list's end) and within the file.
// - "LIST" "rec " lists are entered (nested up to kMaxListDepth); every other chunk and
//   list is passed whole.
// - After an ill-formed header the walk goes on at the next well-formed header of a known
//   stream (a number below the count of "strl" lists in "hdrl") whose chunk is followed
//   by another well-formed header or ends its list exactly; failing that, at the end of the
//   list. The bytes from the ill-formed header up to there are a damaged region.
// - When the data ends inside the lists (a cut file), the region runs on to the end of
//   the "movi" list, where the lists say the data ends: the present bytes that hold no
//   whole chunk and the missing ones are one region, from the header of the chunk cut.
// - A file whose headers are lost is walked from its first byte as if it were one list, with
//   "movi" lists entered too; the walk resyncs at any chunk a movie holds ("##dc", "##db",
//   "##wb", "##pc", "##tx", "ix##", "idx1", "JUNK", "LIST" "rec " or "movi") whose chunk is
//   followed by another well-formed header, and at the chunks of any stream number.
#include "plovik/movie_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>

#include "index_match.h"
#include "index_read.h"
#include "plovik/frame_check.h"
#include "plovik/frame_type.h"
#include "record_cursor.h"
#include "riff_reader.h"
#include "scan_reader.h"

namespace plovik {
namespace {

constexpr std::uint64_t kHeaderBytes = 8;
constexpr std::size_t kMaxListDepth = 16;  // "movi" and the "rec " lists inside it
constexpr std::uint64_t kProgressStep = 16u << 20;
// A resync candidate whose follower lies beyond the buffer costs a read of its own. Such
// reads are allowed a few at first and then one per kFarPeekSpacing bytes of file, so
// that crafted data cannot make the search read once per byte.
constexpr std::uint64_t kFarPeekAllowance = 256;
constexpr std::uint64_t kFarPeekSpacing = 4096;

bool IsDigit(std::uint8_t c) { return (kIdCharClass[c] & kIdDigit) != 0; }
bool IsStreamId(const std::uint8_t* id) { return IsStreamChunkId(LoadLe32(id)); }
int StreamNumber(const std::uint8_t* id) { return StreamOfChunk(LoadLe32(id)); }
bool IsKnownId(const std::uint8_t* id) { return IsMovieNonStreamId(LoadLe32(id)); }
bool IsWellFormedId(const std::uint8_t* id) { return IsStreamId(id) || IsKnownId(id); }

// A chunk that movie data hold, where a walk of a file without headers may resync; header
// holds 12 bytes where a list's type is read.
bool IsMovieChunkAt(const std::uint8_t* header, bool typeHeld) {
    const FOURCC id = LoadLe32(header);
    if (id == kList) {
        const FOURCC type = typeHeld ? LoadLe32(header + 8) : 0;
        return type == kRec || type == kMovi;
    }
    if (id == kIdx1 || id == kJunk || IsStdIndexId(id)) return true;
    return IsStreamChunkId(id) && (HasKind(id, "dc") || HasKind(id, "db") || HasKind(id, "wb") ||
                                   HasKind(id, "pc") || HasKind(id, "tx"));
}

// What the interleave is measured by as the walk goes: kept in locals of its tight loop.
struct Tally {
    std::uint64_t videoFrames = 0;
    std::uint64_t audioChunks = 0;
    std::uint64_t audioBytes = 0;
};

// A stream chunk the walk takes, in its stream's tally.
void AddToTally(StreamTally::Data& data, FOURCC id, std::uint32_t size) {
    data.largest = std::max(data.largest, size);
    switch (StreamChunkKindOf(id)) {
        case StreamChunkKind::kUnit:
            if (data.chunks++ == 0) data.unitId = id;
            data.bytes += size;
            data.emptyChunks += size == 0 ? 1 : 0;
            return;
        case StreamChunkKind::kPalette:
            ++data.paletteChanges;
            return;
        case StreamChunkKind::kIndex:
            return;
    }
}

// The video stream's codec family, when its frames tell their type; unknown otherwise.
VideoFamily BitstreamOf(const CAviParser& avi) {
    if (avi.m_Layout.nVideoStream < 0) return VideoFamily::kUnknown;
    const VideoFamily family =
        VideoFamilyOf(avi.m_VideoHeader.fccHandler, avi.m_VideoFormat.bmiHeader.biCompression);
    return TellsFrameType(family) ? family : VideoFamily::kUnknown;
}

// The time of audio data, in seconds per unit.
struct AudioClock {
    explicit AudioClock(const CAviParser& avi) : units(AudioUnitsOf(avi)) {
        if (units.bValid) unitSeconds = static_cast<double>(units.dwScale) / units.dwRate;
    }
    double Seconds(std::uint64_t bytes, std::uint64_t chunks) const {
        return static_cast<double>(units.Units(bytes, chunks)) * unitSeconds;
    }

    AUDIOUNITS units;
    double unitSeconds = 0.0;
};

// The audio and the video frames, as the interleave measures them.
struct StreamClock {
    explicit StreamClock(const CAviParser& avi) : audio(avi) {
        const AVISTREAMHEADER& video = avi.m_VideoHeader;
        if (!audio.units.bValid || video.dwRate == 0 || video.dwScale == 0) return;
        frameSeconds = static_cast<double>(video.dwScale) / video.dwRate;
        measured = true;
    }
    double Audio(std::uint64_t bytes, std::uint64_t chunks) const {
        return audio.Seconds(bytes, chunks);
    }

    AudioClock audio;
    bool measured = false;
    double frameSeconds = 0.0;
};

// What a video stream's header list says of its frames, for its checker.
VideoStreamFormat VideoFormatOf(const StreamTally& stream) {
    const std::span<const std::uint8_t> bytes = stream.format;
    RecordCursor c(bytes);
    VideoStreamFormat f;
    f.handler = stream.header.fccHandler;
    const std::uint32_t size = c.U32();
    f.width = c.I32();
    f.height = c.I32();
    c.Skip(2);  // planes
    f.bitCount = c.U16();
    f.compression = c.U32();
    f.sizeImage = c.U32();
    // The codec's own data follow the 40-byte header, as far as its size says (an odd format
    // may carry a pad byte after them).
    constexpr std::size_t kHeader = 40;
    const std::size_t end = size >= kHeader && size <= bytes.size() ? size : bytes.size();
    if (end > kHeader) f.extra = bytes.subspan(kHeader, end - kHeader);
    return f;
}

// What an audio stream's header list says of its data, for its checker.
AudioStreamFormat AudioFormatOf(const StreamTally& stream) {
    const std::span<const std::uint8_t> bytes = stream.format;
    RecordCursor c(bytes);
    AudioStreamFormat f;
    f.formatTag = stream.formatTag;  // the sub-format's for an extensible one
    c.Skip(2);
    f.channels = c.U16();
    f.sampleRate = c.U32();
    f.avgBytesPerSec = c.U32();
    f.blockAlign = c.U16();
    f.bitsPerSample = c.U16();
    const std::uint16_t extraBytes = c.U16();
    f.sampleSize = stream.header.dwSampleSize;
    f.scale = stream.header.dwScale;
    f.rate = stream.header.dwRate;
    constexpr std::size_t kHeader = 18;
    if (bytes.size() > kHeader) {
        f.extra = bytes.subspan(kHeader, std::min<std::size_t>(extraBytes, bytes.size() - kHeader));
    }
    return f;
}

std::unique_ptr<FrameChecker> CheckerOf(const StreamTally& stream) {
    if (stream.IsVideo()) return MakeVideoFrameChecker(VideoFormatOf(stream));
    if (stream.IsAudio()) return MakeAudioFrameChecker(AudioFormatOf(stream));
    return nullptr;
}

// The stream's frame checker and what it needs to place the damage it finds. A stream's
// damage counts once one of its frames (not an empty one) has shown the codec's structure
// whole: a stream whose
// data never do is not what its header names (or not what the checker knows), and is not
// judged. Damage met before that waits.
struct StreamCheck {
    std::unique_ptr<FrameChecker> checker;
    std::uint64_t lastPosition = 0;  // of the last chunk it was given
    bool recognised = false;         // a frame was whole
    std::vector<DAMAGEDFRAME> waiting;
    std::uint64_t waitingCount = 0;
};

class MovieWalk {
  public:
    // lost: the file's headers are lost, and it is walked from its first byte.
    MovieWalk(ScanReader& reader, const CAviParser& avi, std::span<IndexMatch* const> indexes,
              CMovieScan& out, const CMovieScan::Options& options, bool lost = false)
        : m_reader(reader),
          m_lists(avi.m_Layout.arMoviLists),
          m_lost(lost),
          m_knownStreams(lost ? kMaxStreamLists : avi.m_Layout.nStreamLists),
          m_videoStream(std::max(avi.m_Layout.nVideoStream, 0)),
          m_clock(avi),
          // A walk for the chunks and the index alone reads no frame's type either.
          m_bitstream(options.frames ? BitstreamOf(avi) : VideoFamily::kUnknown),
          m_mpegAudio(avi.m_Layout.nAudioStream >= 0 && (avi.m_AudioFormat.wFormatTag == 0x55 ||
                                                         avi.m_AudioFormat.wFormatTag == 0x50)),
          m_audioStream(avi.m_Layout.nAudioStream),
          m_indexes(indexes),
          m_out(out),
          m_progress(options.progress),
          m_observer(options.observer),
          m_stop(options.stop),
          m_headBytes(m_observer != nullptr ? std::min(m_observer->HeadBytes(), reader.BlockBytes())
                                            : 0),
          m_fileSize(reader.End()) {
        if (options.frames) CheckFrames(avi.m_arStreams);
    }

    void Run();
    // What the walk met of each stream, by stream number.
    const std::array<StreamTally::Data, kMaxStreamLists>& Data() const { return m_data; }

  private:
    // Each stream's frames checked by its codec's checker.
    void CheckFrames(const StreamTallies& streams) {
        for (std::size_t s = 0; s < streams.size() && s < m_checks.size(); ++s) {
            m_checks[s].checker = CheckerOf(streams[s]);
            if (m_checks[s].checker) m_data[s].frameCheck = m_checks[s].checker->Depth();
        }
    }
    bool ReadFourCC(std::uint64_t position, FOURCC& fcc);
    void WalkList(std::uint64_t position, std::uint64_t listEnd);
    std::uint64_t WalkHeldStreamChunks(std::uint64_t position, std::uint64_t end);
    std::uint64_t Resync(std::uint64_t position);
    bool IsResyncPoint(std::uint64_t position, const std::uint8_t* header, std::uint64_t end);
    bool ReadFollower(std::uint64_t position, std::uint64_t follower, std::uint8_t* out);
    std::size_t HeadWanted(FOURCC id, std::uint32_t size) const;
    bool TakeStreamChunk(Tally& tally, std::uint64_t position, const std::uint8_t* header,
                         std::uint64_t dataEnd);
    std::optional<bool> TakeVideoFrame(std::uint64_t position, std::uint32_t size, IndexMark mark,
                                       std::span<const std::uint8_t> head);
    std::span<const std::uint8_t> LargeFrame(std::uint64_t dataPos, std::uint32_t size);
    FrameState CheckFrame(StreamCheck& check, int stream, std::uint64_t position,
                          std::uint32_t size, std::span<const std::uint8_t> data);
    bool ListsNextDamage(const StreamCheck& check) const;
    void AddDamagedFrame(int stream, std::uint64_t position, FrameVerdict verdict);
    void CountDamagedFrame(DAMAGEDFRAME frame);
    void Recognise(StreamCheck& check, int stream);
    void RestartChecks();
    void EndChecks();
    void MeasureInterleave(const Tally& tally, std::uint64_t position);
    void NoteAudioBitrate(const std::uint8_t* frame);
    bool IsUnpaddedChunk(std::uint64_t position, std::uint64_t end);
    IndexSays CheckIndex(std::uint64_t position, FOURCC id, std::uint32_t size);
    void Observe(std::uint64_t position, FOURCC id, FOURCC listType, std::uint32_t size);
    void Missing(std::uint64_t position);
    void AddDataRegion(std::uint64_t start, std::uint64_t end);
    void AddRegion(std::uint64_t start, std::uint64_t end);
    void ReportProgress(std::uint64_t position);

    ScanReader& m_reader;
    const std::vector<AVIEXTENT>& m_lists;
    const bool m_lost;
    const int m_knownStreams;
    const int m_videoStream;
    const StreamClock m_clock;
    const VideoFamily m_bitstream;  // how the video frames tell their type
    const bool m_mpegAudio;         // MPEG audio: its frame headers tell their bit rates
    int m_audioBitrate = -1;        // the bit-rate index of the first frame header met
    const int m_audioStream;
    std::span<IndexMatch* const> m_indexes;
    CMovieScan& m_out;
    const CMovieScan::Progress& m_progress;
    ScanObserver* const m_observer;
    const std::atomic<bool>* const m_stop;
    const std::size_t m_headBytes;
    const std::uint64_t m_fileSize;
    std::uint32_t m_list = 0;  // the "movi" list walked
    std::uint64_t m_nextProgress = 0;
    std::uint64_t m_farPeeks = 0;
    Tally m_tally;
    std::array<StreamTally::Data, kMaxStreamLists> m_data{};  // by stream number
    std::array<StreamCheck, kMaxStreamLists> m_checks{};      // by stream number
    std::vector<std::uint8_t> m_largeFrame;  // a checked frame larger than the buffer
    std::uint64_t m_regionEnd = 0;           // end of the last region, to join one that touches it
    std::uint64_t m_dataRegionEnd = 0;       // the same for the damage within the data present
    std::uint64_t m_afterOddPad = 0;         // where the walk went on after an odd-sized chunk
    std::uint64_t m_cutCandidate = UINT64_MAX;  // a well-formed chunk that the end cuts
    std::uint64_t m_ends[kMaxListDepth] = {};   // ends of the open lists, innermost last
    std::size_t m_depth = 0;
};

bool MovieWalk::ReadFourCC(std::uint64_t position, FOURCC& fcc) {
    const std::uint8_t* bytes = m_reader.At(position, 4);
    if (bytes == nullptr) return false;
    fcc = LoadLe32(bytes);
    return true;
}

// The "movi" lists the analyser found, in file order.
void MovieWalk::Run() {
    if (m_lost) WalkList(0, m_fileSize);
    for (; m_list < m_lists.size() && !m_out.m_bStopped && !m_out.m_qwReadEndedAt; ++m_list) {
        WalkList(m_lists[m_list].qwPosition + 12, m_lists[m_list].qwEnd);
        if (m_list == 0) {
            for (StreamTally::Data& data : m_data) data.firstPartChunks = data.chunks;
        }
    }
    // Where a read failed, the streams do not end: their checkers are not asked about it.
    if (!m_out.m_bStopped && !m_out.m_qwReadEndedAt) EndChecks();
}

void MovieWalk::WalkList(std::uint64_t position, std::uint64_t listEnd) {
    m_ends[0] = listEnd;
    m_depth = 1;
    while (m_depth > 0) {
        const std::uint64_t end = m_ends[m_depth - 1];
        if (position >= end) {
            --m_depth;
            continue;
        }
        if (position >= m_nextProgress) {
            ReportProgress(position);
            if (m_out.m_bStopped) return;
        }
        position = WalkHeldStreamChunks(position, end);
        if (position >= end) continue;
        if (end - position < kHeaderBytes && end <= m_reader.End()) {
            AddRegion(position, end);  // too few bytes left for a chunk
            position = end;
            continue;
        }
        const std::uint8_t* bytes = m_reader.At(position, kHeaderBytes);
        if (bytes == nullptr) return Missing(position);
        // Decoded straight from the buffer: the next header's place waits on this size.
        const std::uint32_t size = LoadLe32(bytes + 4);
        const std::uint64_t dataEnd = position + kHeaderBytes + size;
        const bool streamChunk = IsStreamId(bytes);
        const bool wellFormed = streamChunk || IsKnownId(bytes);
        if (!wellFormed || dataEnd > end || dataEnd > m_reader.End()) {
            if (position == m_afterOddPad && IsUnpaddedChunk(position - 1, end)) {
                ++m_out.m_qwUnpaddedChunks;  // the writer left out the pad byte
                --position;
                continue;
            }
            if (wellFormed && dataEnd <= end) {
                if (m_reader.ReadFailed()) return Missing(position);  // its data could not be read
                m_cutCandidate = position;
            }
            position = Resync(position);
            continue;
        }
        const FOURCC id = LoadLe32(bytes);
        FOURCC type = 0;
        if (streamChunk) {
            TakeStreamChunk(m_tally, position, bytes, dataEnd);
        } else if (id == kList && size >= 4 && ReadFourCC(position + kHeaderBytes, type)) {
            CheckIndex(position, type, size);  // index entries of lists name their type
            if (m_observer != nullptr) Observe(position, id, type, size);
            if ((type == kRec || (m_lost && type == kMovi)) && m_depth < kMaxListDepth) {
                m_ends[m_depth++] = dataEnd;
                position += 12;
                continue;
            }
        } else {
            CheckIndex(position, id, size);
            if (m_observer != nullptr) Observe(position, id, 0, size);
        }
        if ((size & 1) != 0) m_afterOddPad = dataEnd + 1;
        position = dataEnd + (size & 1);
    }
}

// The common case in a tight loop: chunks of streams, one after the other in the buffer,
// each well formed. Returns where the first other one begins (or the list ends).
std::uint64_t MovieWalk::WalkHeldStreamChunks(std::uint64_t position, std::uint64_t end) {
    const std::uint8_t* bytes = m_reader.At(position, kHeaderBytes);
    if (bytes == nullptr) return position;
    const std::uint64_t limit = std::min(end, m_reader.End());
    std::uint64_t held = m_reader.Held(position);
    Tally tally = m_tally;
    while (held >= kHeaderBytes && IsStreamId(bytes)) {
        const std::uint32_t size = LoadLe32(bytes + 4);
        const std::uint64_t dataEnd = position + kHeaderBytes + size;
        if (dataEnd > limit) break;
        // A head that the buffer does not hold moves the buffer: the run ends there.
        const bool moved = TakeStreamChunk(tally, position, bytes, dataEnd);
        const std::uint64_t step = kHeaderBytes + Padded(size);
        position += step;
        if (moved || step >= held) break;
        bytes += step;
        held -= step;
    }
    m_tally = tally;
    return position;
}

// How many first bytes of a stream chunk's data the walk looks at: a video frame's for its
// type, an MPEG audio chunk's for its bit rate, and what the observer asks for.
std::size_t MovieWalk::HeadWanted(FOURCC id, std::uint32_t size) const {
    std::size_t want = m_headBytes;
    if (IsVideoFrameOf(id, m_videoStream) && m_bitstream != VideoFamily::kUnknown) {
        want = std::max(want, kFramePeekBytes);
    } else if (m_mpegAudio) {
        want = std::max<std::size_t>(want, 4);
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>({want, size, m_reader.BlockBytes()}));
}

// A chunk with a stream id: checked against the indexes, and counted: video frames with
// their types and sizes, data of the audio stream with the interleave, every stream's
// chunks, bytes and largest chunk; then told to the observer. True when reading the head of
// its data moved the buffer (header no longer points into it).
bool MovieWalk::TakeStreamChunk(Tally& tally, std::uint64_t position, const std::uint8_t* header,
                                std::uint64_t dataEnd) {
    const FOURCC id = LoadLe32(header);
    const std::uint32_t size = LoadLe32(header + 4);
    const int stream = StreamNumber(header);
    // Read from the header before the head of the data may move the buffer under it.
    const bool audio = stream == m_audioStream && HasKind(id, "wb");
    StreamCheck& check = m_checks[static_cast<std::size_t>(stream)];
    const bool unit = StreamChunkKindOf(id) == StreamChunkKind::kUnit;
    const bool checked = check.checker != nullptr && unit;
    // A checked frame is looked at whole: through the buffer where it fits.
    const bool whole = checked && check.checker->NeedsData() && size <= m_reader.BlockBytes();
    const std::size_t headWanted = HeadWanted(id, size);
    const std::size_t want = whole ? size : headWanted;
    const std::uint64_t dataPos = position + kHeaderBytes;
    const bool held = m_reader.Held(dataPos) >= want;
    const std::uint8_t* bytes = held ? header + kHeaderBytes : m_reader.At(dataPos, want);
    const std::span<const std::uint8_t> data = bytes != nullptr
                                                   ? std::span<const std::uint8_t>(bytes, want)
                                                   : std::span<const std::uint8_t>();
    const std::span<const std::uint8_t> head = data.first(std::min(data.size(), headWanted));
    const IndexSays index = CheckIndex(position, id, size);
    const IndexMark mark = index.mark;
    std::optional<bool> frameKey;
    if (IsVideoFrameOf(id, m_videoStream)) {
        ++tally.videoFrames;
        if (size != 0) frameKey = TakeVideoFrame(position, size, mark, head);
    } else if (audio) {
        ++tally.audioChunks;
        tally.audioBytes += size;
        if (m_clock.measured) MeasureInterleave(tally, position);
        if (m_mpegAudio && head.size() >= 4) NoteAudioBitrate(head.data());
    }
    AddToTally(m_data[static_cast<std::size_t>(stream)], id, size);
    FrameState frame = FrameState::kCannotTell;
    if (checked) {
        const bool large = check.checker->NeedsData() && !whole;
        frame = CheckFrame(check, stream, position, size, large ? LargeFrame(dataPos, size) : data);
    }
    if ((size & 1) != 0) m_afterOddPad = dataEnd + 1;
    if (m_observer != nullptr) {
        SCANCHUNK chunk{position,
                        id,
                        0,
                        size,
                        m_list,
                        static_cast<std::uint32_t>(m_depth - 1),
                        head.first(std::min(head.size(), m_headBytes)),
                        mark,
                        index.flags,
                        frameKey,
                        frame};
        m_observer->Chunk(chunk);
    }
    return !held;
}

// A video frame that is not empty: its type from its bytes where the codec tells it,
// against the index's key flag, and its size by its type.
std::optional<bool> MovieWalk::TakeVideoFrame(std::uint64_t position, std::uint32_t size,
                                              IndexMark mark, std::span<const std::uint8_t> head) {
    std::optional<bool> key;
    std::optional<bool> told;
    if (m_bitstream != VideoFamily::kUnknown && !head.empty()) {
        const FramePeek peek = PeekFrame(m_bitstream, head);
        key = told = peek.key;
        if (peek.pictures > 1 || peek.packedMarker) {
            if (m_out.m_qwPackedChunks++ == 0) m_out.m_qwFirstPackedChunk = position;
        }
    }
    if (key) {
        ++m_out.m_qwTypedFrames;
        if (mark != IndexMark::kNone && (mark == IndexMark::kKey) != *key) {
            ++m_out.m_qwKeyFlagMismatches;
        }
    } else if (mark != IndexMark::kNone) {
        key = mark == IndexMark::kKey;
    }
    if (key) (*key ? m_out.m_KeyFrameSizes : m_out.m_DeltaFrameSizes).Add(size);
    return told;
}

// A checked frame larger than the buffer, read on its own (the buffer stays where the walk
// is); empty when it is too large to be read whole or its bytes cannot be read.
std::span<const std::uint8_t> MovieWalk::LargeFrame(std::uint64_t dataPos, std::uint32_t size) {
    if (size > kScanLargestCheckedFrame) return {};
    m_largeFrame.resize(size);
    if (!m_reader.Peek(dataPos, m_largeFrame.data(), size)) return {};
    return m_largeFrame;
}

// The frame's structure by its stream's checker; a frame whose bytes could not be had is not
// judged.
FrameState MovieWalk::CheckFrame(StreamCheck& check, int stream, std::uint64_t position,
                                 std::uint32_t size, std::span<const std::uint8_t> data) {
    FrameChecker& checker = *check.checker;
    if (checker.NeedsData() && data.size() != size) {
        checker.Restart();
        return FrameState::kCannotTell;
    }
    check.lastPosition = position;
    checker.KeepReasons(ListsNextDamage(check));
    FrameVerdict verdict =
        checker.Check(checker.NeedsData() ? data : std::span<const std::uint8_t>(), size);
    const FrameState state = verdict.state;
    if (state == FrameState::kWhole && size != 0 && !check.recognised) Recognise(check, stream);
    if (state == FrameState::kDamaged) AddDamagedFrame(stream, position, std::move(verdict));
    // Damage that waits is not told: the copy keeps what may be a frame of another codec.
    return state == FrameState::kDamaged && !check.recognised ? FrameState::kCannotTell : state;
}

// Whether the stream's next damaged frame would be listed, and so needs its reason: the first
// kScanKeptDamagedFrames are, and as many waiting for their stream's first whole frame.
bool MovieWalk::ListsNextDamage(const StreamCheck& check) const {
    return check.recognised ? m_out.m_qwDamagedFrames < kScanKeptDamagedFrames
                            : check.waiting.size() < kScanKeptDamagedFrames;
}

void MovieWalk::AddDamagedFrame(int stream, std::uint64_t position, FrameVerdict verdict) {
    StreamCheck& check = m_checks[static_cast<std::size_t>(stream)];
    const StreamTally::Data& data = m_data[static_cast<std::size_t>(stream)];
    DAMAGEDFRAME frame{position, static_cast<std::uint32_t>(stream),
                       data.chunks == 0 ? 0 : data.chunks - 1, verdict.offset,
                       std::move(verdict.reason)};
    if (!check.recognised) {
        if (check.waiting.size() < kScanKeptDamagedFrames)
            check.waiting.push_back(std::move(frame));
        ++check.waitingCount;
        return;
    }
    CountDamagedFrame(std::move(frame));
}

void MovieWalk::CountDamagedFrame(DAMAGEDFRAME frame) {
    ++m_data[frame.nStream].damagedFrames;
    if (m_out.m_qwDamagedFrames++ < kScanKeptDamagedFrames) {
        m_out.m_arDamagedFrames.push_back(std::move(frame));
    }
}

// The stream's first whole frame: the damage that waited for it counts now (those past the
// kept ones are counted, not listed), and the list stays in file order.
void MovieWalk::Recognise(StreamCheck& check, int stream) {
    check.recognised = true;
    if (check.waitingCount == 0) return;
    const std::uint64_t unlisted = check.waitingCount - check.waiting.size();
    for (DAMAGEDFRAME& frame : check.waiting) CountDamagedFrame(std::move(frame));
    m_data[static_cast<std::size_t>(stream)].damagedFrames += unlisted;
    m_out.m_qwDamagedFrames += unlisted;
    std::stable_sort(
        m_out.m_arDamagedFrames.begin(), m_out.m_arDamagedFrames.end(),
        [](const DAMAGEDFRAME& a, const DAMAGEDFRAME& b) { return a.qwPosition < b.qwPosition; });
    check.waiting = {};
    check.waitingCount = 0;
}

// Chunks were lost: what runs from chunk to chunk starts afresh.
void MovieWalk::RestartChecks() {
    for (StreamCheck& check : m_checks) {
        if (check.checker) check.checker->Restart();
    }
}

// Damage only the end shows belongs to each stream's last chunk.
void MovieWalk::EndChecks() {
    for (std::size_t s = 0; s < m_checks.size(); ++s) {
        StreamCheck& check = m_checks[s];
        if (!check.checker || m_data[s].chunks == 0) continue;
        check.checker->KeepReasons(ListsNextDamage(check));
        FrameVerdict verdict = check.checker->End();
        if (verdict.state == FrameState::kDamaged && check.recognised) {
            AddDamagedFrame(static_cast<int>(s), check.lastPosition, std::move(verdict));
        }
    }
}

// The bit rate of the MPEG audio frame header that opens an audio chunk (when one does: a
// frame may run on from the chunk before): a second rate makes the audio variable-rate.
void MovieWalk::NoteAudioBitrate(const std::uint8_t* frame) {
    const bool sync = frame[0] == 0xFF && (frame[1] & 0xE0) == 0xE0;
    const int bitrate = frame[2] >> 4;
    if (!sync || bitrate == 0 || bitrate == 15) return;  // free format, or not a header
    if (m_audioBitrate < 0) m_audioBitrate = bitrate;
    if (bitrate != m_audioBitrate) m_out.m_bAudioBitratesVary = true;
}

// The audio up to the end of the chunk at position against the video frames before it.
void MovieWalk::MeasureInterleave(const Tally& tally, std::uint64_t position) {
    SCANINTERLEAVE& out = m_out.m_Interleave;
    const double audio = m_clock.Audio(tally.audioBytes, tally.audioChunks);
    const double video = static_cast<double>(tally.videoFrames) * m_clock.frameSeconds;
    if (tally.videoFrames == 0) out.dPreload = audio;
    out.bMeasured = true;
    if (audio - video > out.dMaxLead) {
        out.dMaxLead = audio - video;
        out.qwMaxLeadPos = position;
    }
    if (video - audio > out.dMaxLag) {
        out.dMaxLag = video - audio;
        out.qwMaxLagPos = position;
    }
}

// A well-formed chunk at position, one byte before where the walk looked after an odd
// size: its writer left out the pad byte.
bool MovieWalk::IsUnpaddedChunk(std::uint64_t position, std::uint64_t end) {
    std::uint8_t header[kHeaderBytes];
    if (!m_reader.Peek(position, header, kHeaderBytes) || !IsWellFormedId(header)) return false;
    const std::uint64_t dataEnd = position + kHeaderBytes + LoadLe32(header + 4);
    return dataEnd <= end && dataEnd <= m_reader.End();
}

void MovieWalk::Observe(std::uint64_t position, FOURCC id, FOURCC listType, std::uint32_t size) {
    m_observer->Chunk({position,
                       id,
                       listType,
                       size,
                       m_list,
                       static_cast<std::uint32_t>(m_depth - 1),
                       {},
                       IndexMark::kNone,
                       0,
                       {},
                       FrameState::kCannotTell});
}

// Where the walk goes on after the ill-formed header at position.
std::uint64_t MovieWalk::Resync(std::uint64_t position) {
    const std::uint64_t end = m_ends[m_depth - 1];
    for (std::uint64_t p = position + 1; p < end && end - p >= kHeaderBytes; ++p) {
        // Without headers a list's type tells whether movie data may begin there.
        const bool typeHeld = m_lost && end - p >= 12;
        const std::uint8_t* header = m_reader.At(p, typeHeld ? 12 : kHeaderBytes);
        if (header == nullptr) break;  // the data ends inside this list
        if (p >= m_nextProgress) {     // damage may run for gigabytes
            ReportProgress(p);
            if (m_out.m_bStopped) return end;
        }
        const bool candidate = m_lost ? IsMovieChunkAt(header, typeHeld) : IsDigit(header[0]);
        if (candidate && IsResyncPoint(p, header, end)) {
            AddRegion(position, p);
            return p;
        }
    }
    if (end > m_reader.End()) {
        Missing(position);
        return end;
    }
    AddRegion(position, end);
    return end;
}

bool MovieWalk::IsResyncPoint(std::uint64_t position, const std::uint8_t* header,
                              std::uint64_t end) {
    if (!m_lost && (!IsStreamId(header) || StreamNumber(header) >= m_knownStreams)) return false;
    const std::uint32_t size = LoadLe32(header + 4);
    const std::uint64_t dataEnd = position + kHeaderBytes + size;
    const std::uint64_t next = position + kHeaderBytes + Padded(size);
    if (dataEnd > end || dataEnd > m_reader.End()) return false;
    if (dataEnd == end || next == end) return true;
    if (end - next < kHeaderBytes) return false;
    std::uint8_t follower[kHeaderBytes];
    if (!ReadFollower(position, next, follower)) return false;
    const std::uint64_t followerEnd = next + kHeaderBytes + LoadLe32(follower + 4);
    return IsWellFormedId(follower) && followerEnd <= end && followerEnd <= m_reader.End();
}

// The header at follower, read through the buffer when it lies within half a block of
// position (the search moves on by half a block per refill), else on its own.
bool MovieWalk::ReadFollower(std::uint64_t position, std::uint64_t follower, std::uint8_t* out) {
    const std::uint64_t span = follower + kHeaderBytes - position;
    if (span <= m_reader.BlockBytes() / 2) {
        const std::uint8_t* bytes = m_reader.At(position, static_cast<std::size_t>(span));
        if (bytes == nullptr) return false;
        std::memcpy(out, bytes + (follower - position), kHeaderBytes);
        return true;
    }
    if (m_farPeeks >= kFarPeekAllowance + position / kFarPeekSpacing) return false;
    ++m_farPeeks;
    return m_reader.Peek(follower, out, kHeaderBytes);
}

IndexSays MovieWalk::CheckIndex(std::uint64_t position, FOURCC id, std::uint32_t size) {
    IndexSays says;
    for (IndexMatch* index : m_indexes) {
        const IndexSays said = index->Chunk(position, id, size);
        if (says.mark == IndexMark::kNone) says = said;
    }
    return says;
}

// The data ends inside the open lists: the rest of the "movi" list is one region. Of it,
// what the file holds is damage unless it is the start of a chunk that the end cut.
void MovieWalk::Missing(std::uint64_t position) {
    if (m_reader.ReadFailed()) {  // what a read could not give is neither damaged nor missing
        m_out.m_qwReadEndedAt = position;
        m_depth = 0;
        return;
    }
    const std::uint64_t dataEnd = std::min(m_reader.End(), m_ends[0]);
    const bool cutChunk =
        position == m_cutCandidate || position >= dataEnd || dataEnd - position < kHeaderBytes;
    if (!cutChunk) AddDataRegion(position, dataEnd);
    if (position < m_ends[0] && m_out.m_qwCutAt == 0) m_out.m_qwCutAt = position;
    AddRegion(position, m_ends[0]);
    m_depth = 0;
}

void MovieWalk::AddDataRegion(std::uint64_t start, std::uint64_t end) {
    if (end <= start) return;
    m_out.m_qwDataDamagedBytes += end - start;
    if (m_out.m_qwDataDamagedRegions == 0 || start != m_dataRegionEnd) {
        ++m_out.m_qwDataDamagedRegions;
    }
    m_dataRegionEnd = end;
}

// A region as far as the file holds it: a list that runs past the end of the file is
// missing there, which is the truncation's to tell, not skipped data.
void MovieWalk::AddRegion(std::uint64_t start, std::uint64_t listEnd) {
    const std::uint64_t end = std::min(listEnd, m_reader.End());
    if (end <= start) return;
    RestartChecks();
    if (m_observer != nullptr) m_observer->Damaged(start, end - start);
    if (listEnd == end) AddDataRegion(start, end);
    m_out.m_qwDamagedBytes += end - start;
    const bool joins = m_out.m_qwDamagedRegions > 0 && start == m_regionEnd;
    m_regionEnd = end;
    if (joins) {
        if (m_out.m_qwDamagedRegions <= kScanKeptRegions) {
            m_out.m_arDamagedRegions.back().qwLength += end - start;
        }
        return;
    }
    ++m_out.m_qwDamagedRegions;
    if (m_out.m_arDamagedRegions.size() < kScanKeptRegions) {
        m_out.m_arDamagedRegions.push_back({start, end - start});
    }
}

// Progress, and the stop request, are looked at once per step of file.
void MovieWalk::ReportProgress(std::uint64_t position) {
    if (m_stop != nullptr && m_stop->load(std::memory_order_relaxed)) {
        m_out.m_bStopped = true;
        m_depth = 0;
        m_nextProgress = UINT64_MAX;
        return;
    }
    if (!m_progress && m_stop == nullptr) {
        m_nextProgress = UINT64_MAX;
        return;
    }
    if (m_progress) m_progress(position, m_fileSize);
    m_nextProgress = position + kProgressStep;
}

// Where index entries stop being judged: where a failed read ended the walk, or at the first
// byte the file could not give (a failure before the walk hid the lists after it); at once
// when it hid the movie data, from which "idx1" offsets count.
std::uint64_t JudgedEnd(const RawFile& file, const CAviParser& avi,
                        const std::optional<std::uint64_t>& readEndedAt) {
    if (!file.Failure()) return readEndedAt.value_or(UINT64_MAX);
    if (avi.m_llMoviPos == 0) return 0;
    return std::min(readEndedAt.value_or(UINT64_MAX), file.Failure()->position);
}

// The options of a walk made again for the index check alone: no frame is checked again.
CMovieScan::Options WalkOnly(const CMovieScan::Options& options) {
    return {.progress = {}, .observer = nullptr, .stop = options.stop, .frames = false};
}

// Whether a walk with these options looks at no more of a chunk's data than its first bytes
// (an MPEG audio chunk's frame header): what lies between the headers need not be read.
bool ReadsHeadersOnly(const CMovieScan::Options& options) {
    return !options.frames && options.observer == nullptr;
}

// What a walk of a file without headers takes of its first movie: the stream chunks from the
// first one met up to an "idx1" or a second "movi" list after them, or to the end of the
// "movi" list they are in; every chunk taken is told on to next.
class LostMovieFinder final : public ScanObserver {
  public:
    LostMovieFinder(LOSTMOVIE& out, ScanObserver* next, std::uint64_t fileSize)
        : m_out(out), m_next(next), m_fileSize(fileSize) {}

    std::size_t HeadBytes() const override { return m_next != nullptr ? m_next->HeadBytes() : 0; }
    void Chunk(const SCANCHUNK& chunk) override {
        if (m_done) return;
        if (Ends(chunk)) {
            m_done = true;
            return;
        }
        if (IsStreamChunkId(chunk.fccId)) Count(chunk);
        if (m_next != nullptr) m_next->Chunk(chunk);
    }
    // Set once the first movie has ended: the walk need not go on.
    bool Done() const { return m_done; }

  private:
    bool Ends(const SCANCHUNK& chunk) {
        const bool movi = chunk.fccId == kList && chunk.fccListType == kMovi;
        if (!m_out.bFound) {
            if (movi) m_moviEnd = chunk.qwPosition + 8 + std::uint64_t{chunk.dwSize};
            return false;
        }
        return movi || chunk.fccId == kIdx1 || chunk.qwPosition >= m_moviEnd;
    }
    void Count(const SCANCHUNK& chunk) {
        if (!m_out.bFound) {
            m_out.bFound = true;
            m_out.qwStart = chunk.qwPosition;
        }
        const std::uint64_t end = chunk.qwPosition + kHeaderBytes + Padded(chunk.dwSize);
        m_out.qwEnd = std::min(end, m_fileSize);
        if (StreamChunkKindOf(chunk.fccId) != StreamChunkKind::kUnit) return;
        LOSTSTREAM& stream = m_out.arStreams[static_cast<std::size_t>(StreamOfChunk(chunk.fccId))];
        if (stream.qwChunks++ == 0) stream.fccId = chunk.fccId;
        stream.qwBytes += chunk.dwSize;
        stream.dwLargest = std::max(stream.dwLargest, chunk.dwSize);
        stream.dwSizeGcd = std::gcd(stream.dwSizeGcd, chunk.dwSize);
    }

    LOSTMOVIE& m_out;
    ScanObserver* const m_next;
    const std::uint64_t m_fileSize;
    std::uint64_t m_moviEnd = UINT64_MAX;
    bool m_done = false;
};

}  // namespace

AUDIOUNITS AudioUnitsOf(const CAviParser& avi) {
    const AVISTREAMHEADER& audio = avi.m_AudioHeader;
    if (avi.m_Layout.nAudioStream < 0) return {false, 0, 0, 0};
    // A header that makes each chunk one sample (no sample size, a scale of 1) describes no
    // audio frame: such files are timed by their byte rate.
    const bool framed = audio.dwSampleSize != 0 || audio.dwScale > 1;
    if (audio.dwRate != 0 && audio.dwScale != 0 && framed) {
        return {true, audio.dwSampleSize, audio.dwScale, audio.dwRate};
    }
    const std::uint32_t avgBytes = avi.m_AudioFormat.nAvgBytesPerSec;
    return {avgBytes != 0, 1, 1, avgBytes};
}

// Into the tallies of the streams the header list has; the chunks of other stream numbers
// are counted together.
void CMovieScan::KeepStreamData(std::span<const StreamTally::Data> data, StreamTallies& streams) {
    for (std::size_t s = 0; s < data.size(); ++s) {
        if (s < streams.size()) {
            streams[s].data = data[s];
            continue;
        }
        m_qwUnlistedChunks += data[s].chunks + data[s].paletteChanges;
        m_dwUnlistedLargest = std::max(m_dwUnlistedLargest, data[s].largest);
    }
}

LOSTMOVIE CMovieScan::FindLostMovie(RawFile& file, const Options& options) {
    LOSTMOVIE lost;
    ScanFile shared(file);
    const std::uint64_t size = shared.Size();
    LostMovieFinder finder(lost, options.observer, size);
    // The walk ends soon after the first movie does, or when the caller asks.
    std::atomic<bool> stop = false;
    const Progress progress = [&](std::uint64_t done, std::uint64_t total) {
        lost.bStopped = options.stop != nullptr && options.stop->load();
        if (lost.bStopped || finder.Done()) {
            stop = true;
        } else if (options.progress) {
            options.progress(done, total);
        }
    };
    static const CAviParser kNoHeaders;
    ScanReader reader(shared, size, kScanBlockBytes);
    CMovieScan walked;
    MovieWalk(reader, kNoHeaders, {}, walked,
              {.progress = progress, .observer = &finder, .stop = &stop}, true)
        .Run();
    if (lost.bStopped) lost.bFound = false;
    return lost;
}

void CMovieScan::Reset() {
    *this = CMovieScan{};
    m_arDamagedRegions.reserve(kScanKeptRegions);
}

void CMovieScan::ScanFrom(RawFile& file, CAviParser& avi, const Options& options) {
    Reset();
    ScanFile shared(file);
    const std::uint64_t size = shared.Size();
    // Both indexes when the file has both: "idx1" for the first part, OpenDML for all.
    const std::unique_ptr<IndexEntrySource> sources[] = {
        OpenIdx1Entries(file, avi, options.idx1Entries), OpenOpenDmlEntries(file, avi)};
    std::optional<IndexMatch> checks[std::size(sources)];
    std::vector<IndexMatch*> indexes;
    for (std::size_t i = 0; i < std::size(sources); ++i) {
        if (sources[i]) indexes.push_back(&checks[i].emplace(*sources[i]));
    }
    ScanReader reader(shared, size, kScanBlockBytes, ReadsHeadersOnly(options));
    MovieWalk walk(reader, avi, indexes, *this, options);
    walk.Run();
    KeepStreamData(walk.Data(), avi.m_arStreams);
    m_bReadFailed = shared.ReadFailed() || reader.End() < size;
    const std::uint64_t walked = JudgedEnd(file, avi, m_qwReadEndedAt);
    for (IndexMatch* index : indexes) {
        index->EndWalk(walked);
        // Rare: an index out of file order, checked again in sorted slices, a walk each.
        while (!m_bStopped && !index->InOrder() && index->LoadNextSlice()) {
            ScanReader again(shared, size, kScanBlockBytes, true);
            CMovieScan slice;
            MovieWalk(again, avi, {&index, 1}, slice, WalkOnly(options)).Run();
            m_bStopped = slice.m_bStopped;
            index->EndWalk(walked);
        }
        m_bIndexMatched = true;
        m_qwIndexEntries += index->Entries();
        m_qwIndexMismatches += index->Mismatches();
        m_bIndexInOrder = m_bIndexInOrder && index->InOrder();
    }
    if (checks[0] && checks[0]->Mismatches() > 0 && !m_bStopped) {
        m_bIdx1OffsetsMixed = SomeMatchWithTheOtherBase(file, shared, avi, options);
    }
}

// Whether some "idx1" entries that point nowhere point at their chunks with the other
// offset base: one more walk, made only for an index that has entries pointing nowhere.
bool CMovieScan::SomeMatchWithTheOtherBase(RawFile& file, ScanFile& shared, const CAviParser& avi,
                                           const Options& options) {
    const std::unique_ptr<IndexEntrySource> source =
        OpenIdx1Entries(file, avi, options.idx1Entries, true);
    if (!source) return false;
    IndexMatch check(*source);
    IndexMatch* const index = &check;
    ScanReader reader(shared, shared.Size(), kScanBlockBytes, true);
    CMovieScan walk;
    MovieWalk(reader, avi, {&index, 1}, walk, WalkOnly(options)).Run();
    check.EndWalk(JudgedEnd(file, avi, m_qwReadEndedAt));
    m_bStopped = m_bStopped || walk.m_bStopped;
    return check.InOrder() && check.Mismatches() < check.Entries();
}

}  // namespace plovik
