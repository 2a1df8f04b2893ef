#include "support/avi_writer.h"

#include <filesystem>
#include <fstream>
#include <numeric>
#include <stdexcept>

namespace plovik::test {

Bytes Le16(std::uint16_t v) {
    return Bytes{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

Bytes Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

Bytes Id(std::string_view fourChars) {
    if (fourChars.size() != 4) throw std::invalid_argument("a FOURCC has four characters");
    return Bytes(fourChars);
}

Bytes Zeros(std::size_t n) { return Bytes(n, '\0'); }

Bytes Chunk(std::string_view id, const Bytes& data) {
    Bytes out = ChunkWithSize(id, static_cast<std::uint32_t>(data.size()), data);
    if (data.size() % 2 != 0) out += '\0';
    return out;
}

Bytes ChunkWithSize(std::string_view id, std::uint32_t sizeField, const Bytes& data) {
    return Id(id) + Le32(sizeField) + data;
}

static Bytes Join(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) out += p;
    return out;
}

Bytes List(std::string_view type, std::initializer_list<Bytes> children) {
    return List(type, std::vector<Bytes>(children));
}

Bytes List(std::string_view type, const std::vector<Bytes>& children) {
    return Chunk("LIST", Id(type) + Join(children));
}

Bytes ListWithSize(std::string_view type, std::uint32_t sizeField,
                   std::initializer_list<Bytes> children) {
    return ChunkWithSize("LIST", sizeField, Id(type) + Join(children));
}

Bytes Riff(std::string_view form, std::initializer_list<Bytes> children) {
    return Riff(form, std::vector<Bytes>(children));
}

Bytes Riff(std::string_view form, const std::vector<Bytes>& children) {
    return Chunk("RIFF", Id(form) + Join(children));
}

Bytes RiffWithSize(std::string_view form, std::uint32_t sizeField,
                   std::initializer_list<Bytes> children) {
    return ChunkWithSize("RIFF", sizeField, Id(form) + Join(children));
}

Bytes Avih(const MainHeader& h) {
    Bytes d = Le32(h.microSecPerFrame) + Le32(h.maxBytesPerSec) + Le32(0) + Le32(h.flags) +
              Le32(h.totalFrames) + Le32(0) + Le32(h.streams) + Le32(h.suggestedBufferSize) +
              Le32(h.width) + Le32(h.height) + Zeros(16);
    return Chunk("avih", d);
}

Bytes Strh(const StreamHeader& h, std::uint32_t dataSize) {
    Bytes d = Id(h.type) + Id(h.handler) + Le32(0) + Le16(0) + Le16(0) + Le32(0) + Le32(h.scale) +
              Le32(h.rate) + Le32(0) + Le32(h.length) + Le32(h.suggestedBufferSize) +
              Le32(0xFFFFFFFF) + Le32(h.sampleSize) +
              Zeros(8);  // 56 bytes: rcFrame as four 16-bit values
    d.resize(dataSize, '\0');
    return Chunk("strh", d);
}

Bytes VideoStrf(const VideoFormat& f, std::uint32_t dataSize) {
    Bytes d = Le32(40) + Le32(static_cast<std::uint32_t>(f.width)) +
              Le32(static_cast<std::uint32_t>(f.height)) + Le16(1) + Le16(f.bitCount) +
              Id(f.compression) + Le32(0) + Le32(0) + Le32(0) + Le32(0) + Le32(0);
    d.resize(dataSize, '\0');
    return Chunk("strf", d);
}

Bytes AudioStrf(const AudioFormat& f, std::uint32_t dataSize) {
    Bytes d = Le16(f.formatTag) + Le16(f.channels) + Le32(f.samplesPerSec) +
              Le32(f.avgBytesPerSec) + Le16(f.blockAlign) + Le16(f.bitsPerSample) + Le16(0);
    d.resize(dataSize, '\0');
    return Chunk("strf", d);
}

IndexEntry Video(std::uint32_t flags, std::uint32_t offset) { return {"00dc", flags, offset, 8}; }
IndexEntry Audio(std::uint32_t flags, std::uint32_t offset) { return {"01wb", flags, offset, 8}; }

Bytes IndexEntries(const std::vector<IndexEntry>& entries) {
    Bytes out;
    out.reserve(entries.size() * 16);
    for (const IndexEntry& e : entries)
        out += Id(e.id) + Le32(e.flags) + Le32(e.offset) + Le32(e.length);
    return out;
}

Bytes Idx1(const std::vector<IndexEntry>& entries) { return Chunk("idx1", IndexEntries(entries)); }

Bytes BuildSimpleAvi(const SimpleAvi& a) {
    std::vector<Bytes> hdrl{Avih({.microSecPerFrame = a.microSecPerFrame,
                                  .flags = 0x10,
                                  .totalFrames = a.frames,
                                  .streams = a.audio ? 2u : 1u}),
                            List("strl", {Strh({.length = a.frames}), VideoStrf()})};
    if (a.audio) {
        hdrl.push_back(List("strl", {Strh({.type = "auds",
                                           .handler = std::string(4, '\0'),
                                           .scale = 1,
                                           .rate = 8 * 25,  // 8 bytes a frame at 25 a second
                                           .length = 8 * a.frames,
                                           .sampleSize = 1}),
                                     AudioStrf()}));
    }
    std::vector<Bytes> movi;
    std::vector<IndexEntry> index;
    std::uint32_t offset = 4;
    for (std::uint32_t i = 0; i < a.frames; ++i) {
        bool key = a.keyInterval != 0 && i % a.keyInterval == 0;
        movi.push_back(Chunk("00dc", Zeros(8)));
        index.push_back(Video(key ? kKey : 0, offset));
        offset += 16;
        if (a.audio) {
            movi.push_back(Chunk("01wb", Zeros(8)));
            index.push_back(Audio(0, offset));
            offset += 16;
        }
    }
    std::vector<Bytes> top{List("hdrl", hdrl)};
    if (!a.software.empty()) top.push_back(List("INFO", {Chunk("ISFT", a.software + '\0')}));
    if (a.indexFirst) top.push_back(Idx1(index));
    top.push_back(List("movi", movi));
    if (!a.indexFirst) top.push_back(Idx1(index));
    return Riff("AVI ", top);
}

static Bytes Le64(std::uint64_t v) {
    return Le32(static_cast<std::uint32_t>(v)) + Le32(static_cast<std::uint32_t>(v >> 32));
}

static Bytes SuperIndexEntries(const std::vector<SuperIndexEntry>& entries) {
    Bytes out;
    for (const SuperIndexEntry& e : entries)
        out += Le64(e.offset) + Le32(e.size) + Le32(e.duration);
    return out;
}

Bytes Indx(const std::vector<SuperIndexEntry>& entries, std::string_view chunkId,
           std::uint32_t capacity, std::uint8_t subType) {
    const auto count = static_cast<std::uint32_t>(entries.size());
    Bytes d = Le16(4) + Bytes{static_cast<char>(subType), '\0'} + Le32(count) + Id(chunkId) +
              Zeros(12) + SuperIndexEntries(entries) +
              Zeros(16 * (std::max(capacity, count) - count));
    return Chunk("indx", d);
}

Bytes StdIndex(std::uint64_t baseOffset, const std::vector<StdIndexEntry>& entries,
               std::string_view id, std::string_view chunkId) {
    Bytes d = Le16(2) + Bytes{'\0', '\1'} + Le32(static_cast<std::uint32_t>(entries.size())) +
              Id(chunkId) + Le64(baseOffset) + Le32(0);
    for (const StdIndexEntry& e : entries)
        d += Le32(e.offset) + Le32(e.size | (e.key ? 0 : 0x80000000u));
    return Chunk(id, d);
}

void SparseFile::Write(std::uint64_t offset, const Bytes& bytes) {
    for (auto& [start, piece] : pieces) {
        if (offset >= start && offset + bytes.size() <= start + piece.size()) {
            piece.replace(static_cast<std::size_t>(offset - start), bytes.size(), bytes);
            return;
        }
    }
    throw std::invalid_argument("a write lies outside every piece");
}

Bytes SparseFile::Flat() const {
    Bytes out(static_cast<std::size_t>(size), '\0');
    for (const auto& [start, piece] : pieces)
        out.replace(static_cast<std::size_t>(start), piece.size(), piece);
    return out;
}

void SparseFile::WriteTo(const std::string& path) const {
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();
    {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        for (const auto& [start, piece] : pieces) {
            out.seekp(static_cast<std::streamoff>(start));
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        }
        if (!out) throw std::runtime_error("cannot write " + path);
    }
    std::filesystem::resize_file(path, size);
}

void OpenDmlFile::SetSuperIndex(const std::vector<SuperIndexEntry>& entries) {
    if (entries.size() > kSuperIndexCapacity) throw std::invalid_argument("too many entries");
    file.Write(superIndex + 12, Le32(static_cast<std::uint32_t>(entries.size())));
    file.Write(superIndex + 32, SuperIndexEntries(entries));
}

namespace {

// The frames of one RIFF part and their index chunks.
struct PartLayout {
    std::vector<StdIndexEntry> video, audio;
    std::vector<IndexEntry> idx1;
};

}  // namespace

OpenDmlFile BuildOpenDmlAvi(const OpenDmlAvi& a) {
    if (a.frameBytes % 2 != 0 || a.frameBytes < 8) throw std::invalid_argument("frame size");
    const std::uint32_t total = std::accumulate(a.partFrames.begin(), a.partFrames.end(), 0u);
    const std::uint64_t audioBytes = a.audio ? 8 + 16 : 0;  // one small audio chunk per frame
    const std::uint64_t stride = a.frameBytes + audioBytes;
    const std::size_t parts = a.partFrames.size();
    auto headers = [&](const std::vector<SuperIndexEntry>& video,
                       const std::vector<SuperIndexEntry>& audio) {
        std::vector<Bytes> lists{
            Avih({.microSecPerFrame = a.microSecPerFrame,
                  .flags = 0x110,
                  .totalFrames = a.partFrames.empty() ? 0 : a.partFrames[0],
                  .streams = a.audio ? 2u : 1u}),
            List("strl", {Strh({.length = total}), VideoStrf(),
                          Indx(video, "00dc", OpenDmlFile::kSuperIndexCapacity)})};
        if (a.audio) {
            lists.push_back(
                List("strl", {Strh({.type = "auds", .rate = 16000, .length = total}), AudioStrf(),
                              Indx(audio, "01wb", OpenDmlFile::kSuperIndexCapacity)}));
        }
        lists.push_back(List("odml", {Chunk("dmlh", Le32(total) + Zeros(244))}));
        return List("hdrl", lists);
    };
    std::vector<SuperIndexEntry> video(parts), audio(a.audio ? parts : 0);
    const std::uint64_t headerBytes = headers(video, audio).size();

    OpenDmlFile out;
    std::uint64_t position = 0;
    std::uint32_t frame = 0;
    for (std::size_t p = 0; p < parts; ++p) {
        const std::uint64_t movi = position + 12 + (p == 0 ? headerBytes : 0);
        const std::uint64_t data = movi + 12;  // the base offset of the part's index chunks
        PartLayout layout;
        for (std::uint32_t i = 0; i < a.partFrames[p]; ++i, ++frame) {
            const std::uint64_t at = data + i * stride;
            const bool key = a.keyInterval != 0 && frame % a.keyInterval == 0;
            out.frames.push_back(at);
            if (a.chunkHeaders) {
                out.file.pieces.push_back({at, Id("00dc") + Le32(a.frameBytes - 8)});
                if (a.audio) out.file.pieces.push_back({at + a.frameBytes, Id("01wb") + Le32(16)});
            }
            layout.video.push_back({static_cast<std::uint32_t>(at + 8 - data),
                                    static_cast<std::uint32_t>(a.frameBytes - 8), key});
            layout.idx1.push_back(Video(key ? kKey : 0, static_cast<std::uint32_t>(at - movi - 8)));
            if (a.audio) {
                layout.audio.push_back(
                    {static_cast<std::uint32_t>(at + a.frameBytes + 8 - data), 16, true});
                layout.idx1.push_back(
                    {"01wb", kKey, static_cast<std::uint32_t>(at + a.frameBytes - movi - 8), 16});
            }
        }
        const std::uint64_t indexAt = data + a.partFrames[p] * stride;
        Bytes tail = StdIndex(data, layout.video, a.indexId);
        video[p] = {indexAt, static_cast<std::uint32_t>(tail.size()), a.partFrames[p]};
        if (a.audio) {
            const Bytes ix01 = StdIndex(data, layout.audio, "ix01", "01wb");
            audio[p] = {indexAt + tail.size(), static_cast<std::uint32_t>(ix01.size()),
                        a.partFrames[p]};
            tail += ix01;
        }
        const std::uint64_t moviSize = 4 + a.partFrames[p] * stride + tail.size();
        if (p == 0 && a.idx1) tail += Idx1(layout.idx1);
        const std::uint64_t riffSize = (indexAt - position - 8) + tail.size();
        const Bytes head = Id("RIFF") + Le32(static_cast<std::uint32_t>(riffSize)) +
                           Id(p == 0 ? "AVI " : "AVIX") + Zeros(p == 0 ? headerBytes : 0) +
                           Id("LIST") + Le32(static_cast<std::uint32_t>(moviSize)) + Id("movi");
        out.file.pieces.push_back({position, head});
        out.file.pieces.push_back({indexAt, tail});
        out.indexChunks.push_back(indexAt);
        position += 8 + riffSize;
    }
    out.file.size = position;
    const Bytes hdrl = headers(video, audio);
    out.file.Write(12, hdrl);
    out.superIndex = 12 + hdrl.find("indx");
    return out;
}

namespace {

// zlib's CRC-32, bit by bit: a test's few bytes need no table.
std::uint32_t Crc32(const Bytes& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

Bytes Be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

Bytes PngChunk(std::string_view type, const Bytes& data) {
    const Bytes typed = Bytes(type) + data;
    return Be32(static_cast<std::uint32_t>(data.size())) + typed + Be32(Crc32(typed));
}

}  // namespace

Bytes PngFrame(std::uint32_t width, std::uint32_t height) {
    const Bytes header = Be32(width) + Be32(height) + Bytes("\x08\x02\x00\x00\x00", 5);
    return Bytes("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) +
           PngChunk("IDAT", Bytes(40, 'x')) + PngChunk("IEND", "");
}

}  // namespace plovik::test
