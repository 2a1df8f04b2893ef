// Builds AVI files chunk by chunk, so that each test case is a few readable lines:
//
//   Bytes file = Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 3}),
//                                            List("strl", {Strh({}), VideoStrf()})}),
//                              List("movi", {}), Idx1({Video(kKey), Video(), Video()})});
//
// Sizes are computed from the data unless a *WithSize variant states them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plovik::test {

using Bytes = std::string;

Bytes Le16(std::uint16_t v);
Bytes Le32(std::uint32_t v);
Bytes Id(std::string_view fourChars);  // exactly four characters
Bytes Zeros(std::size_t n);

// id, size of data, data, and a zero pad byte when the size is odd.
Bytes Chunk(std::string_view id, const Bytes& data);
// id and the given size field, then data as it is (no pad): for lying sizes.
Bytes ChunkWithSize(std::string_view id, std::uint32_t sizeField, const Bytes& data);

// "LIST", size, type, children.
Bytes List(std::string_view type, std::initializer_list<Bytes> children);
Bytes List(std::string_view type, const std::vector<Bytes>& children);
Bytes ListWithSize(std::string_view type, std::uint32_t sizeField,
                   std::initializer_list<Bytes> children);

// "RIFF", size, form type, children.
Bytes Riff(std::string_view form, std::initializer_list<Bytes> children);
Bytes Riff(std::string_view form, const std::vector<Bytes>& children);
Bytes RiffWithSize(std::string_view form, std::uint32_t sizeField,
                   std::initializer_list<Bytes> children);

struct MainHeader {
    std::uint32_t microSecPerFrame = 40000;
    std::uint32_t maxBytesPerSec = 0;
    std::uint32_t flags = 0x10;  // has index
    std::uint32_t totalFrames = 0;
    std::uint32_t streams = 1;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t width = 640;
    std::uint32_t height = 480;
};
Bytes Avih(const MainHeader& h);  // "avih" chunk with 56 data bytes

struct StreamHeader {
    std::string type = "vids";
    std::string handler = "DIVX";  // four characters
    std::uint32_t scale = 1;
    std::uint32_t rate = 25;
    std::uint32_t length = 0;
    std::uint32_t sampleSize = 0;
    std::uint32_t suggestedBufferSize = 0;
};
// "strh" chunk; dataSize 56 is the usual, 48 the short form, more pads with zeros.
Bytes Strh(const StreamHeader& h, std::uint32_t dataSize = 56);

struct VideoFormat {
    std::string compression = "DIVX";  // four characters
    std::int32_t width = 640;
    std::int32_t height = 480;
    std::uint16_t bitCount = 24;
};
// "strf" with a BITMAPINFOHEADER; sizes above 40 add zero bytes (a colour table).
Bytes VideoStrf(const VideoFormat& f = {}, std::uint32_t dataSize = 40);

struct AudioFormat {
    std::uint16_t formatTag = 0x55;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSec = 44100;
    std::uint32_t avgBytesPerSec = 16000;
    std::uint16_t blockAlign = 1;
    std::uint16_t bitsPerSample = 0;
};
// "strf" with a WAVEFORMATEX; 16 omits cbSize, more than 18 adds zero bytes.
Bytes AudioStrf(const AudioFormat& f = {}, std::uint32_t dataSize = 18);

// A whole PNG image of width x height as a frame of an "MPNG" stream: signature, IHDR, one
// IDAT of filler (never decoded here) and IEND, each chunk with its CRC-32.
Bytes PngFrame(std::uint32_t width, std::uint32_t height);

struct IndexEntry {
    std::string id;  // "00dc", "01wb", ...
    std::uint32_t flags = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};
constexpr std::uint32_t kKey = 0x10;
IndexEntry Video(std::uint32_t flags = 0, std::uint32_t offset = 0);
IndexEntry Audio(std::uint32_t flags = 0, std::uint32_t offset = 0);
Bytes IndexEntries(const std::vector<IndexEntry>& entries);  // raw 16-byte entries
Bytes Idx1(const std::vector<IndexEntry>& entries);          // "idx1" chunk

// A typical file: hdrl (avih, video strl, optional audio strl), optional INFO/ISFT,
// movi with one small chunk per frame, idx1 with a key frame every keyInterval frames.
struct SimpleAvi {
    std::uint32_t frames = 10;
    std::uint32_t keyInterval = 5;
    std::uint32_t microSecPerFrame = 40000;
    bool audio = true;
    std::string software = "";  // empty: no INFO list
    bool indexFirst = false;    // idx1 before movi
};
Bytes BuildSimpleAvi(const SimpleAvi& a = {});

// ---- OpenDML: a super index ("indx") listing standard index chunks ("ix00") ----

struct SuperIndexEntry {
    std::uint64_t offset = 0;  // of the index chunk's header
    std::uint32_t size = 0;
    std::uint32_t duration = 0;
};
// Room for capacity entries (at least the entries given); the unused ones are zero.
Bytes Indx(const std::vector<SuperIndexEntry>& entries, std::string_view chunkId = "00dc",
           std::uint32_t capacity = 0, std::uint8_t subType = 0);

struct StdIndexEntry {
    std::uint32_t offset = 0;  // from the base offset to the frame's data
    std::uint32_t size = 0;
    bool key = false;
};
Bytes StdIndex(std::uint64_t baseOffset, const std::vector<StdIndexEntry>& entries,
               std::string_view id = "ix00", std::string_view chunkId = "00dc");

// A file as pieces at offsets; the bytes between them are zero (holes when sparse).
struct SparseFile {
    std::uint64_t size = 0;
    std::vector<std::pair<std::uint64_t, Bytes>> pieces;

    // Overwrites bytes inside one piece.
    void Write(std::uint64_t offset, const Bytes& bytes);
    Bytes Flat() const;
    // Writes it as a sparse file: only the pieces take disk space.
    void WriteTo(const std::string& path) const;
};

// A file in several RIFF parts as muxers write it: "AVI " then "AVIX" parts, each
// with a "movi" list of frames (zeros) ending in its index chunk; the video stream's
// super index lists them, the main header counts the first part, the video stream
// header the whole file.
struct OpenDmlAvi {
    std::vector<std::uint32_t> partFrames{4, 3, 3};
    std::uint32_t keyInterval = 2;  // over the whole file, from its first frame
    std::uint32_t microSecPerFrame = 40000;
    std::uint64_t frameBytes = 16;  // per frame, chunk header included; even
    bool audio = false;             // an audio stream with its own "indx" and "ix01" chunks
    bool idx1 = true;               // the first part's "idx1"
    std::string indexId = "ix00";
    bool chunkHeaders = false;  // each frame and audio chunk gets its header (data stay zero)
};
struct OpenDmlFile {
    SparseFile file;
    std::vector<std::uint64_t> indexChunks;  // positions of the video index chunks
    std::vector<std::uint64_t> frames;       // positions of the frame chunks' headers
    std::uint64_t superIndex = 0;            // position of the video "indx" chunk
    static constexpr std::uint32_t kSuperIndexCapacity = 16;

    // Replaces the entries of the video super index.
    void SetSuperIndex(const std::vector<SuperIndexEntry>& entries);
};
OpenDmlFile BuildOpenDmlAvi(const OpenDmlAvi& a = {});

}  // namespace plovik::test
