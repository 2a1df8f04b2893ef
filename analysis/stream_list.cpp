// A "strl" list: the stream header, the format that follows it, and the OpenDML
// super index of the video stream. The last stream of each kind is the one kept.
#include <algorithm>
#include <string_view>
#include <vector>

#include "index_read.h"
#include "parse_state.h"
#include "record_cursor.h"
#include "riff_reader.h"

namespace plovik {
namespace {

constexpr std::size_t kStreamHeaderBytes = 64;
constexpr std::size_t kSuperIndexHeaderBytes = 24;  // after the chunk header
constexpr std::size_t kSuperIndexEntryBytes = 16;
constexpr std::uint16_t kSuperIndexLongsPerEntry = 4;
constexpr std::uint8_t kIndexOfIndexes = 0;
constexpr std::uint16_t kExtensible = 0xFFFE;
constexpr std::size_t kExtensibleBytes = 22;  // after the 18 bytes of WAVEFORMATEX

AVISTREAMHEADER DecodeStreamHeader(RecordCursor c) {
    AVISTREAMHEADER h{};
    h.fccType = c.U32();
    h.fccHandler = c.U32();
    h.dwFlags = c.U32();
    h.wPriority = c.U16();
    h.wLanguage = c.U16();
    h.dwInitialFrames = c.U32();
    h.dwScale = c.U32();
    h.dwRate = c.U32();
    h.dwStart = c.U32();
    h.dwLength = c.U32();
    h.dwSuggestedBufferSize = c.U32();
    h.dwQuality = c.U32();
    h.dwSampleSize = c.U32();
    for (std::uint32_t& field : h.rcFrame) field = c.U32();
    return h;
}

WAVEFORMATEX DecodeAudioFormat(RecordCursor c) {
    WAVEFORMATEX f{};
    f.wFormatTag = c.U16();
    f.nChannels = c.U16();
    f.nSamplesPerSec = c.U32();
    f.nAvgBytesPerSec = c.U32();
    f.nBlockAlign = c.U16();
    f.wBitsPerSample = c.U16();
    f.cbSize = c.U16();
    return f;
}

BITMAPINFO DecodeVideoFormat(RecordCursor c) {
    BITMAPINFO f{};
    BITMAPINFOHEADER& h = f.bmiHeader;
    h.biSize = c.U32();
    h.biWidth = c.I32();
    h.biHeight = c.I32();
    h.biPlanes = c.U16();
    h.biBitCount = c.U16();
    h.biCompression = c.U32();
    h.biSizeImage = c.U32();
    h.biXPelsPerMeter = c.I32();
    h.biYPelsPerMeter = c.I32();
    h.biClrUsed = c.U32();
    h.biClrImportant = c.U32();
    f.bmiColors[0] = {c.U8(), c.U8(), c.U8(), c.U8()};
    return f;
}

enum class StreamStep { Next, EndList, Fail };

class StreamListReader {
  public:
    StreamListReader(ParseState& state, std::int64_t listEnd)
        : m_state(state), m_avi(state.avi), m_source(state.source), m_listEnd(listEnd) {}

    // A sub-chunk that runs past the list ends it, and the walk goes on at the list's end.
    bool Read() {
        while (BytesBefore(m_source, m_listEnd) >= 8) {
            ChunkHeader chunk;
            if (!ReadChunkHeader(m_source, chunk)) return false;
            // A format that does not follow its stream header: its data is read as sub-chunks.
            if (chunk.id == kStrf) continue;
            if (!FitsInList(chunk.size)) break;
            if (chunk.id == kStrh) {
                const StreamStep step = ReadStreamHeader(chunk.size);
                if (step == StreamStep::Fail) return false;
                if (step == StreamStep::EndList) break;
            } else if (chunk.id == kIndx) {
                ReadSuperIndex(chunk.size);
            } else if (chunk.id == kStrd || chunk.id == kJunk || chunk.id == kList) {
                SkipPadded(m_source, chunk.size);
            } else if (chunk.id == kStrn) {
                // A stream name consumes the rest of the list; it must be there to be read.
                const auto rest = static_cast<std::uint64_t>(BytesBefore(m_source, m_listEnd));
                if (!BytesAhead(m_source, rest)) return false;
                m_source.Seek(m_listEnd);
            } else {
                break;
            }
        }
        SkipForwardTo(m_source, m_listEnd);
        return true;
    }

  private:
    bool FitsInList(std::uint32_t size) const {
        return Padded(size) <= static_cast<std::uint64_t>(BytesBefore(m_source, m_listEnd));
    }

    StreamStep ReadStreamHeader(std::uint32_t size) {
        std::uint8_t bytes[kStreamHeaderBytes] = {};
        const auto kept = static_cast<std::uint32_t>(std::min<std::size_t>(size, sizeof bytes));
        if (!ReadPadded(m_source, bytes, kept)) return StreamStep::Fail;
        if (size > sizeof bytes) SkipPadded(m_source, size - kStreamHeaderBytes);
        const AVISTREAMHEADER header = DecodeStreamHeader(RecordCursor(bytes));
        KeepStreamHeader(header);
        switch (header.fccType) {
            case kVids:
                m_avi.m_VideoHeader = header;
                m_avi.m_Layout.nVideoStream = m_state.streamLists - 1;
                return ReadVideoFormat();
            case kAuds:
                m_avi.m_AudioHeader = header;
                m_avi.m_Layout.nAudioStream = m_state.streamLists - 1;
                return ReadAudioFormat();
            case kTxts:
                m_avi.m_bHasText = true;
                m_avi.m_TextHeader = header;
                return StreamStep::Next;
            default:
                return StreamStep::Next;
        }
    }

    // The tally of the list being read, made when its stream header is met; none past the
    // last stream number a chunk id can hold.
    StreamTally* Tally() {
        StreamTallies& streams = m_avi.m_arStreams;
        const auto number = static_cast<std::size_t>(m_state.streamLists - 1);
        if (number >= static_cast<std::size_t>(kMaxStreamLists)) return nullptr;
        if (streams.size() <= number) streams.resize(number + 1);
        return &streams[number];
    }

    // Every stream's header, in the place of its list.
    void KeepStreamHeader(const AVISTREAMHEADER& header) {
        if (StreamTally* tally = Tally()) {
            tally->header = header;
            tally->hasHeader = true;
        }
    }

    // The sub-chunk after a stream header is its format, whatever its id. EndList when
    // the list ends before it or the format runs past the list.
    StreamStep ReadFormatHeader(ChunkHeader& chunk) {
        if (BytesBefore(m_source, m_listEnd) < 8) return StreamStep::EndList;
        if (!ReadChunkHeader(m_source, chunk)) return StreamStep::Fail;
        return FitsInList(chunk.size) ? StreamStep::Next : StreamStep::EndList;
    }

    // At most 44 bytes of a video format are kept; a shorter one leaves the later
    // bytes as they were.
    // The format's data for the stream's tally (its frames are judged by it), read where it
    // stands without moving the walk.
    void KeepFormat(std::int64_t dataPos, std::uint32_t size) {
        StreamTally* tally = Tally();
        if (tally == nullptr) return;
        const std::int64_t resumeAt = m_source.Position();
        tally->format.resize(std::min<std::size_t>(size, kKeptFormatBytes));
        m_source.Seek(dataPos);
        if (!m_source.Read(tally->format.data(), tally->format.size())) tally->format.clear();
        m_source.Seek(resumeAt);
    }

    StreamStep ReadVideoFormat() {
        ChunkHeader chunk;
        if (const StreamStep step = ReadFormatHeader(chunk); step != StreamStep::Next) return step;
        KeepFormat(m_source.Position(), chunk.size);
        auto& bytes = m_state.videoFormatBytes;
        const auto kept =
            static_cast<std::uint32_t>(std::min<std::size_t>(chunk.size, bytes.size()));
        ReadRecord(m_source, bytes.data(), kept);
        m_avi.m_VideoFormat = DecodeVideoFormat(RecordCursor(bytes));
        if (StreamTally* tally = Tally()) {
            tally->formatBytes = chunk.size;
            tally->compression = m_avi.m_VideoFormat.bmiHeader.biCompression;
        }
        if (chunk.size > bytes.size())
            SkipPadded(m_source, chunk.size - static_cast<std::uint32_t>(bytes.size()));
        return StreamStep::Next;
    }

    // 18 bytes of an audio format are read whatever its size. An audio stream list
    // ends here: a shorter format was over-read, so this is the one step back, never
    // before the list's end.
    StreamStep ReadAudioFormat() {
        ChunkHeader chunk;
        if (const StreamStep step = ReadFormatHeader(chunk); step != StreamStep::Next) return step;
        KeepFormat(m_source.Position(), chunk.size);
        auto& bytes = m_state.audioFormatBytes;
        ReadRecord(m_source, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        m_avi.m_AudioFormat = DecodeAudioFormat(RecordCursor(bytes));
        if (StreamTally* tally = Tally()) {
            tally->formatBytes = chunk.size;
            tally->formatTag = m_avi.m_AudioFormat.wFormatTag;
            tally->bitsPerSample = m_avi.m_AudioFormat.wBitsPerSample;
            ReadSubFormat(chunk.size, *tally);
        }
        m_source.Seek(m_listEnd);
        return StreamStep::EndList;
    }

    // WAVE_FORMAT_EXTENSIBLE names its real format in the first two bytes of its sub-format
    // GUID, after the valid bits and the channel mask.
    void ReadSubFormat(std::uint32_t formatSize, StreamTally& tally) {
        std::uint8_t extension[kExtensibleBytes];
        if (tally.formatTag != kExtensible || formatSize < 18 + sizeof extension ||
            !m_source.Read(extension, sizeof extension)) {
            return;
        }
        tally.formatTag = RecordCursor({extension + 6, 2}).U16();
    }

    // An OpenDML super index of the list's own stream's chunks is kept for it (the last one
    // the list holds), with the entries that fit in its chunk; any other "indx" is passed. Either
    // way the walk goes on after the chunk.
    void ReadSuperIndex(std::uint32_t size) {
        const std::int64_t chunkEnd = m_source.Position() + static_cast<std::int64_t>(Padded(size));
        std::uint8_t header[kSuperIndexHeaderBytes];
        if (size >= sizeof header && m_source.Read(header, sizeof header)) {
            RecordCursor fields(header);
            const std::uint16_t longsPerEntry = fields.U16();
            const std::uint8_t subType = fields.U8();
            const std::uint8_t type = fields.U8();
            const std::uint32_t entriesInUse = fields.U32();
            const FOURCC chunkId = fields.U32();
            const bool ownStream =
                IsStreamChunkId(chunkId) && StreamOfChunk(chunkId) == m_state.streamLists - 1;
            if (longsPerEntry == kSuperIndexLongsPerEntry && subType == 0 &&
                type == kIndexOfIndexes && ownStream) {
                const std::uint32_t fit = (size - sizeof header) / kSuperIndexEntryBytes;
                ReadSuperIndexEntries(std::min(entriesInUse, fit));
            }
        }
        m_source.Seek(chunkEnd);
    }

    void ReadSuperIndexEntries(std::uint32_t count) {
        if (!BytesAhead(m_source, std::uint64_t{count} * kSuperIndexEntryBytes)) return;
        std::vector<AVISUPERINDEXENTRY> entries;
        entries.reserve(count);
        while (entries.size() < count) {
            const std::string_view run = m_source.View(
                (count - entries.size()) * kSuperIndexEntryBytes, kSuperIndexEntryBytes);
            if (run.empty()) return;
            RecordCursor fields({reinterpret_cast<const std::uint8_t*>(run.data()), run.size()});
            while (fields.Left() > 0) {
                AVISUPERINDEXENTRY& entry = entries.emplace_back();
                entry.qwOffset = fields.U64();
                entry.dwSize = fields.U32();
                entry.dwDuration = fields.U32();
            }
        }
        if (StreamTally* tally = Tally()) {
            tally->superIndex = std::move(entries);
            tally->hasSuperIndex = true;
        }
    }

    ParseState& m_state;
    CAviParser& m_avi;
    ByteSource& m_source;
    const std::int64_t m_listEnd;
};

}  // namespace

bool ParseStreamList(ParseState& state, std::int64_t listEnd) {
    return StreamListReader(state, listEnd).Read();
}

}  // namespace plovik
