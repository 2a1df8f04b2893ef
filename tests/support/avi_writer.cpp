#include "support/avi_writer.h"

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
              Le32(h.totalFrames) + Le32(0) + Le32(h.streams) + Le32(0) + Le32(h.width) +
              Le32(h.height) + Zeros(16);
    return Chunk("avih", d);
}

Bytes Strh(const StreamHeader& h, std::uint32_t dataSize) {
    Bytes d = Id(h.type) + Id(h.handler) + Le32(0) + Le16(0) + Le16(0) + Le32(0) + Le32(h.scale) +
              Le32(h.rate) + Le32(0) + Le32(h.length) + Le32(0) + Le32(0xFFFFFFFF) +
              Le32(h.sampleSize) + Zeros(8);  // 56 bytes: rcFrame as four 16-bit values
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
                                           .rate = 16000,
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

}  // namespace plovik::test
