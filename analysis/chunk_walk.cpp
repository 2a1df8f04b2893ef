// The top-level walk over the chunks of the first RIFF part, the main header, the
// authoring-software text of the INFO list, and the hop over the RIFF parts.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "parse_state.h"
#include "record_cursor.h"
#include "riff_reader.h"

namespace plovik {
namespace {

constexpr std::size_t kMainHeaderBytes = 64;
// No tool writes a longer authoring text; the rest of a longer one is passed over.
constexpr std::uint32_t kSoftwareTextLimit = 64 * 1024;

AVIMAINHEADER DecodeMainHeader(RecordCursor c) {
    AVIMAINHEADER h{};
    h.fcc = c.U32();
    h.cb = c.U32();
    h.dwMicroSecPerFrame = c.U32();
    h.dwMaxBytesPerSec = c.U32();
    h.dwPaddingGranularity = c.U32();
    h.dwFlags = c.U32();
    h.dwTotalFrames = c.U32();
    h.dwInitialFrames = c.U32();
    h.dwStreams = c.U32();
    h.dwSuggestedBufferSize = c.U32();
    h.dwWidth = c.U32();
    h.dwHeight = c.U32();
    for (std::uint32_t& field : h.dwReserved) field = c.U32();
    return h;
}

// A hop over the top-level chunks of a part reads ahead this much, so that a run of small
// chunks costs one read, and passes at most so many chunks: real parts hold a handful, and
// a part of millions of tiny chunks must not make every report slow.
constexpr std::size_t kHopReadAhead = 4096;
constexpr std::uint32_t kHopLimit = 65536;

// The bytes at position, at least n of them (more when read ahead), or none.
std::string_view ViewAt(ByteSource& source, std::uint64_t position, std::size_t n,
                        std::size_t readAhead = 0) {
    if (source.Seek(static_cast<std::int64_t>(position)) < 0) return {};
    return source.View(std::max(n, readAhead), n);
}

// A top-level chunk as the layout sees it: its header and, for a list, its type.
struct TopChunk {
    FOURCC id = 0;
    std::uint32_t size = 0;
    FOURCC listType = 0;  // 0 when the chunk is not a list
};

bool ReadTopChunk(ByteSource& source, std::uint64_t position, TopChunk& chunk) {
    const std::string_view header = ViewAt(source, position, 8, kHopReadAhead);
    if (header.size() < 8) return false;
    RecordCursor fields({reinterpret_cast<const std::uint8_t*>(header.data()), 8});
    chunk = {fields.U32(), fields.U32(), 0};
    if (chunk.id != kList || (chunk.size < 4 && chunk.size != 0)) return true;
    const std::string_view type = ViewAt(source, position + 8, 4, kHopReadAhead);
    if (type.size() >= 4) {
        chunk.listType =
            RecordCursor({reinterpret_cast<const std::uint8_t*>(type.data()), 4}).U32();
    }
    return true;
}

// A list of size 0 (a placeholder) runs to the end of its part.
std::uint64_t NextChunk(std::uint64_t position, const TopChunk& chunk, std::uint64_t partEnd) {
    if (chunk.id == kList && chunk.size == 0) return std::max(partEnd, position + 8);
    return position + 8 + Padded(chunk.size);
}

// The "strl" lists directly inside a header list that ends at end.
void CountStreamLists(ParseState& state, std::uint64_t position, std::uint64_t end) {
    CAviParser& avi = state.avi;
    TopChunk chunk;
    for (std::uint32_t hops = 0; position < end && avi.m_Layout.nStreamLists < kMaxStreamLists &&
                                 hops < kHopLimit && ReadTopChunk(state.source, position, chunk);
         ++hops) {
        if (chunk.listType == kStrl) ++avi.m_Layout.nStreamLists;
        position = NextChunk(position, chunk, end);
    }
}

// Notes what the layout keeps of a top-level chunk of part number part, which ends at
// partEnd.
void NoteTopChunk(ParseState& state, std::uint64_t position, const TopChunk& chunk,
                  std::uint64_t partEnd, std::uint32_t part) {
    // A list size of 0 is a writer's placeholder, never filled in: the list runs on.
    const bool unsized = chunk.id == kList && chunk.size == 0;
    const std::uint64_t end = unsized ? partEnd : std::min(position + 8 + chunk.size, partEnd);
    std::vector<AVIEXTENT>& lists = state.avi.m_Layout.arMoviLists;
    if (chunk.listType == kMovi && lists.size() < kLayoutKept) lists.push_back({position, end});
    if (chunk.listType == kHdrl && part == 0) CountStreamLists(state, position + 12, end);
    std::vector<AVITOPCHUNK>& chunks = state.avi.m_Layout.arTopChunks;
    if (chunks.size() < kLayoutKept) {
        chunks.push_back({position, chunk.id, chunk.listType, chunk.size, part});
    }
}

// The top-level chunks of a part from position on.
void HopPart(ParseState& state, std::uint64_t position, std::uint64_t end, std::uint32_t part) {
    TopChunk chunk;
    for (std::uint32_t hops = 0;
         position < end && hops < kHopLimit && ReadTopChunk(state.source, position, chunk);
         ++hops) {
        NoteTopChunk(state, position, chunk, end, part);
        position = NextChunk(position, chunk, end);
    }
}

// Text up to its first NUL byte, or all of it.
std::string TextUpToNul(std::string bytes) {
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    return bytes;
}

class ChunkWalk {
  public:
    explicit ChunkWalk(ParseState& state)
        : m_state(state), m_avi(state.avi), m_source(state.source) {}

    // A flat walk: the "hdrl" list is entered, not skipped, so its chunks come to this
    // loop as if they stood at the top level. It ends at the first chunk it does not
    // handle, which for a file of several RIFF parts is the second "RIFF".
    bool Run() {
        if (!ReadRiffHeader()) {
            m_avi.m_nError = PARSE_ERR_NOT_AVI;
            return false;
        }
        while (m_source.Position() != static_cast<std::int64_t>(m_source.Size())) {
            const std::int64_t at = m_source.Position();
            ChunkHeader chunk;
            if (!ReadChunkHeader(m_source, chunk)) return true;
            if (at == m_state.layoutAt && at < m_state.firstPartEnd) NoteWalkedChunk(at);
            if (chunk.id == kList) {
                if (!ParseList(chunk.size)) return false;
            } else if (chunk.id == kJunk || chunk.id == kJunq || chunk.id == kSegm) {
                SkipPadded(m_source, chunk.size);
            } else if (chunk.id == kIdx1) {
                if (!ReadIdx1(m_state, chunk.size)) {
                    m_avi.m_nError = PARSE_ERR_INDEX;
                    return false;
                }
            } else {
                return true;
            }
        }
        return true;
    }

  private:
    bool ReadRiffHeader() {
        ChunkHeader riff;
        if (!ReadChunkHeader(m_source, riff) || riff.id != kRiff) return false;
        std::uint8_t form[4];
        if (!m_source.Read(form, sizeof form) || RecordCursor(form).U32() != kAvi) return false;
        m_avi.m_dwRiffSize = riff.size;
        // A size of 0 is a writer's placeholder: for the layout the part runs to the end.
        const std::uint64_t end = riff.size == 0 ? m_source.Size() : 8 + Padded(riff.size);
        m_state.firstPartEnd = static_cast<std::int64_t>(end);
        return true;
    }

    // A chunk at the top level of the first part, whose header was just read: the walk
    // goes on from where it stood. Chunks inside the header list are not at the top level.
    void NoteWalkedChunk(std::int64_t at) {
        const std::int64_t resumeAt = m_source.Position();
        TopChunk chunk;
        const auto position = static_cast<std::uint64_t>(at);
        if (ReadTopChunk(m_source, position, chunk)) {
            NoteTopChunk(m_state, position, chunk, static_cast<std::uint64_t>(m_state.firstPartEnd),
                         0);
            m_state.layoutAt = static_cast<std::int64_t>(
                NextChunk(position, chunk, static_cast<std::uint64_t>(m_state.firstPartEnd)));
        }
        m_source.Seek(resumeAt);
    }

    bool ParseList(std::uint32_t size) {
        const std::int64_t listEnd = m_source.Position() + static_cast<std::int64_t>(Padded(size));
        std::uint8_t typeBytes[4];
        if (!m_source.Read(typeBytes, sizeof typeBytes)) return false;
        switch (RecordCursor(typeBytes).U32()) {
            case kHdrl:
                m_state.headersEnd = std::max(m_state.headersEnd, listEnd);
                if (ReadMainHeader()) return true;
                m_avi.m_nError = PARSE_ERR_HEADER;
                return false;
            case kStrl:
                ++m_state.streamLists;
                if (ParseStreamList(m_state, listEnd)) return true;
                m_avi.m_nError = PARSE_ERR_STREAM;
                return false;
            case kMovi:
                m_avi.m_llMoviPos = m_source.Position() - 12;
                m_avi.m_llMoviSize = std::int64_t{size} + 8;
                SkipPadded(m_source, ListDataSize(size));  // the media data is never read
                return true;
            case kInfo:
                return ParseInfoList(listEnd);
            case kOdml:
                ReadExtendedHeader(listEnd);
                return true;
            default:
                SkipPadded(m_source, ListDataSize(size));
                return true;
        }
    }

    // The 64 bytes of the "avih" chunk, header included, whatever its size field says.
    // Its frame total stands for the index until an OpenDML index replaces it.
    bool ReadMainHeader() {
        std::uint8_t bytes[kMainHeaderBytes];
        if (!m_source.Read(bytes, sizeof bytes)) return false;
        m_avi.m_MainHeader = DecodeMainHeader(RecordCursor(bytes));
        m_avi.m_dwIndexTotalFrames = m_avi.m_MainHeader.dwTotalFrames;
        return m_avi.m_MainHeader.fcc == kAvih;
    }

    // The frames of the whole file, from the "dmlh" chunk that opens an "odml" list.
    void ReadExtendedHeader(std::int64_t listEnd) {
        ChunkHeader chunk;
        std::uint8_t frames[4];
        if (BytesBefore(m_source, listEnd) >= 12 && ReadChunkHeader(m_source, chunk) &&
            chunk.id == kDmlh && chunk.size >= sizeof frames &&
            m_source.Read(frames, sizeof frames)) {
            m_avi.m_Layout.bHasGrandFrames = true;
            m_avi.m_Layout.dwGrandFrames = RecordCursor(frames).U32();
        }
        SkipForwardTo(m_source, listEnd);
    }

    // The authoring software is the first "ISFT" anywhere in the list. A list without
    // one may still carry the name in a leading "JUNK" sub-chunk.
    bool ParseInfoList(std::int64_t listEnd) {
        bool first = true;
        bool haveJunkText = false;
        std::string junkText;
        while (BytesBefore(m_source, listEnd) >= 8) {
            ChunkHeader chunk;
            if (!ReadChunkHeader(m_source, chunk)) {
                if (first) return false;
                break;
            }
            if (Padded(chunk.size) > static_cast<std::uint64_t>(BytesBefore(m_source, listEnd))) {
                break;
            }
            const bool wanted = chunk.id == kIsft || (first && chunk.id == kJunk);
            first = false;
            if (!wanted) {
                SkipPadded(m_source, chunk.size);
                continue;
            }
            std::string text = ReadChunkText(chunk.size);
            if (chunk.id == kIsft) {
                m_avi.m_strSoftware = std::move(text);
                SkipForwardTo(m_source, listEnd);
                return true;
            }
            junkText = std::move(text);
            haveJunkText = true;
        }
        if (haveJunkText) m_avi.m_strSoftware = std::move(junkText);
        SkipForwardTo(m_source, listEnd);
        return true;
    }

    // A chunk's data as text up to its first NUL, at most its first 64 KiB; empty when
    // the chunk is not wholly in the file. Either way the walk goes on after it.
    std::string ReadChunkText(std::uint32_t size) {
        const std::int64_t chunkEnd = m_source.Position() + static_cast<std::int64_t>(Padded(size));
        std::string text;
        if (BytesAhead(m_source, Padded(size))) {
            text.resize(std::min(size, kSoftwareTextLimit));
            if (!m_source.Read(text.data(), text.size())) text.clear();
        }
        m_source.Seek(chunkEnd);
        return TextUpToNul(std::move(text));
    }

    ParseState& m_state;
    CAviParser& m_avi;
    ByteSource& m_source;
};

}  // namespace

bool WalkChunks(ParseState& state) { return ChunkWalk(state).Run(); }

namespace {

// The form of the RIFF part at position ("AVIX"); 0 when the file ends before it.
FOURCC PartForm(ByteSource& source, std::uint64_t position) {
    const std::string_view form = ViewAt(source, position + 8, 4);
    if (form.size() < 4) return 0;
    return RecordCursor({reinterpret_cast<const std::uint8_t*>(form.data()), 4}).U32();
}

}  // namespace

// Files over the RIFF size limit continue in further "RIFF" parts. Only their
// headers are read, one seek each; every hop moves forward by at least 8 bytes. A part of
// form "AVI " is no continuation but the start of another movie: the first one ends there.
std::uint32_t CountRiffParts(ParseState& state) {
    CAviParser& avi = state.avi;
    if (state.partsCounted) return avi.m_nRiffParts;
    state.partsCounted = true;
    ByteSource& source = state.source;
    const std::int64_t resumeAt = source.Position();
    std::uint64_t total = avi.m_dwRiffSize;
    avi.m_nRiffParts = 1;
    // A size of 0 is a placeholder: the first part runs to the file's end.
    std::uint64_t next = static_cast<std::uint64_t>(state.firstPartEnd);
    std::vector<AVIRIFFPART>& parts = avi.m_Layout.arRiffParts;
    parts.push_back({0, next, kAvi});
    while (next + 8 <= source.Size()) {
        // A view of the header alone: nothing near it is read.
        const std::string_view header = ViewAt(source, next, 8);
        if (header.size() != 8) break;
        RecordCursor fields({reinterpret_cast<const std::uint8_t*>(header.data()), 8});
        if (fields.U32() != kRiff) break;
        const std::uint32_t size = fields.U32();
        const FOURCC form = PartForm(source, next);
        if (form == kAvi) {
            avi.m_Layout.qwSecondMovie = next;
            break;
        }
        total += size;
        ++avi.m_nRiffParts;
        const std::uint64_t end = next + 8 + Padded(size);
        if (state.laterParts.size() < kLayoutKept) state.laterParts.push_back({next, end});
        if (parts.size() < kLayoutKept) parts.push_back({next, end, form});
        next = end;
    }
    const std::uint64_t lastEnd =
        avi.m_Layout.qwSecondMovie != 0 ? avi.m_Layout.qwSecondMovie : source.Size();
    if (next < lastEnd) avi.m_Layout.qwTrailingBytes = lastEnd - next;
    avi.m_qwDataSize = total;
    source.Seek(resumeAt);
    return avi.m_nRiffParts;
}

namespace {

constexpr std::uint32_t kPlaceholderSize = 0xFFFFFFFF;

bool IsPlaceholder(std::uint32_t size) { return size == 0 || size == kPlaceholderSize; }

// Whether a stream chunk's header stands at position.
bool StreamChunkAt(ByteSource& source, std::uint64_t position) {
    const std::string_view id = ViewAt(source, position, 4);
    return id.size() == 4 &&
           IsStreamChunkId(
               RecordCursor({reinterpret_cast<const std::uint8_t*>(id.data()), 4}).U32());
}

// A file its writer is still writing (or never closed): one part, no index, and sizes
// that the movie data outgrow: left as placeholders, or written early and stream chunks
// after the end they give. Its movie list then runs on as a placeholder's would, to the
// end of the file and past it, and the bytes after the part are that list's.
void NoteUnfinishedMovie(ParseState& state) {
    CAviParser& avi = state.avi;
    AVILAYOUT& layout = avi.m_Layout;
    if (state.idx1Met || avi.m_nRiffParts != 1 || layout.arMoviLists.size() != 1) return;
    AVIEXTENT& movi = layout.arMoviLists.front();
    const std::uint64_t size = state.source.Size();
    const auto moviSize = static_cast<std::uint32_t>(avi.m_llMoviSize - 8);
    const bool placeholders =
        IsPlaceholder(avi.m_dwRiffSize) || (avi.m_llMoviPos != 0 && IsPlaceholder(moviSize));
    const bool outgrown = movi.qwEnd < size && StreamChunkAt(state.source, movi.qwEnd);
    if (!placeholders && !outgrown) return;
    movi.qwEnd = std::max(movi.qwEnd, movi.qwPosition + 8 + kPlaceholderSize);
    layout.qwTrailingBytes = 0;
    layout.bUnfinished = true;
}

}  // namespace

void CompleteLayout(ParseState& state) {
    CountRiffParts(state);
    const std::int64_t resumeAt = state.source.Position();
    if (state.layoutAt < state.firstPartEnd) {
        HopPart(state, static_cast<std::uint64_t>(state.layoutAt),
                static_cast<std::uint64_t>(state.firstPartEnd), 0);
    }
    for (std::uint32_t i = 0; i < state.laterParts.size(); ++i) {
        const AVIEXTENT& part = state.laterParts[i];
        HopPart(state, part.qwPosition + 12, part.qwEnd, i + 1);
    }
    NoteUnfinishedMovie(state);
    state.source.Seek(resumeAt);
}

}  // namespace plovik
