// The chunk ids, list types and stream types of AVI files, and the predicates on the ids of
// stream chunks ("00dc", "01wb"): the one place where a chunk's id is read for what it is.
#pragma once

#include <array>
#include <cstdint>

#include "plovik/fourcc.h"

namespace plovik {

inline constexpr FOURCC kRiff = MakeFourCC("RIFF");
inline constexpr FOURCC kAvi = MakeFourCC("AVI ");
inline constexpr FOURCC kAvix = MakeFourCC("AVIX");
inline constexpr FOURCC kList = MakeFourCC("LIST");
inline constexpr FOURCC kJunk = MakeFourCC("JUNK");
inline constexpr FOURCC kJunq = MakeFourCC("JUNQ");
inline constexpr FOURCC kSegm = MakeFourCC("segm");
inline constexpr FOURCC kIdx1 = MakeFourCC("idx1");
inline constexpr FOURCC kHdrl = MakeFourCC("hdrl");
inline constexpr FOURCC kAvih = MakeFourCC("avih");
inline constexpr FOURCC kStrl = MakeFourCC("strl");
inline constexpr FOURCC kStrh = MakeFourCC("strh");
inline constexpr FOURCC kStrf = MakeFourCC("strf");
inline constexpr FOURCC kStrd = MakeFourCC("strd");
inline constexpr FOURCC kStrn = MakeFourCC("strn");
inline constexpr FOURCC kIndx = MakeFourCC("indx");
inline constexpr FOURCC kVids = MakeFourCC("vids");
inline constexpr FOURCC kAuds = MakeFourCC("auds");
inline constexpr FOURCC kTxts = MakeFourCC("txts");
inline constexpr FOURCC kMids = MakeFourCC("mids");
inline constexpr FOURCC kIavs = MakeFourCC("iavs");
inline constexpr FOURCC kMovi = MakeFourCC("movi");
inline constexpr FOURCC kRec = MakeFourCC("rec ");
inline constexpr FOURCC kOdml = MakeFourCC("odml");
inline constexpr FOURCC kDmlh = MakeFourCC("dmlh");
inline constexpr FOURCC kInfo = MakeFourCC("INFO");
inline constexpr FOURCC kIsft = MakeFourCC("ISFT");
inline constexpr FOURCC kStdIndexId = MakeFourCC("ix00");
inline constexpr FOURCC kStdIndexIdSwapped = MakeFourCC("00ix");  // as some writers name it

// Character classes of id bytes, looked up: the movie-data scan asks for every chunk.
inline constexpr std::uint8_t kIdDigit = 1;
inline constexpr std::uint8_t kIdLetterOrDigit = 2;
inline constexpr auto kIdCharClass = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = '0'; c <= '9'; ++c) classes[c] = kIdDigit | kIdLetterOrDigit;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kIdLetterOrDigit;
    for (int c = 'a'; c <= 'z'; ++c) classes[c] = kIdLetterOrDigit;
    return classes;
}();

constexpr std::uint8_t IdByte(FOURCC id, int n) { return static_cast<std::uint8_t>(id >> (8 * n)); }

// "##xx": a stream number of two decimal digits, then two letters or digits.
constexpr bool IsStreamChunkId(FOURCC id) {
    return (kIdCharClass[IdByte(id, 0)] & kIdCharClass[IdByte(id, 1)] & kIdDigit) != 0 &&
           (kIdCharClass[IdByte(id, 2)] & kIdCharClass[IdByte(id, 3)] & kIdLetterOrDigit) != 0;
}

// The stream number of a stream chunk's id (0 to 99).
constexpr int StreamOfChunk(FOURCC id) {
    return (IdByte(id, 0) - '0') * 10 + (IdByte(id, 1) - '0');
}

// The id of stream's chunks of a kind ("dc", "wb").
constexpr FOURCC StreamChunkId(int stream, const char (&kind)[3]) {
    return static_cast<FOURCC>('0' + stream / 10) | static_cast<FOURCC>('0' + stream % 10) << 8 |
           static_cast<FOURCC>(static_cast<unsigned char>(kind[0])) << 16 |
           static_cast<FOURCC>(static_cast<unsigned char>(kind[1])) << 24;
}

constexpr bool HasKind(FOURCC id, const char (&kind)[3]) {
    return IdByte(id, 2) == static_cast<unsigned char>(kind[0]) &&
           IdByte(id, 3) == static_cast<unsigned char>(kind[1]);
}

// "00dc" and "00db" differ in one bit of the last character: with it set, both match.
inline constexpr FOURCC kVideoIdMask = 0x01000000;

// A compressed ("##dc") or uncompressed ("##db") video frame of the stream.
constexpr bool IsVideoFrameOf(FOURCC id, int stream) {
    return (id | kVideoIdMask) == StreamChunkId(stream, "dc");
}
static_assert(IsVideoFrameOf(MakeFourCC("00db"), 0) && IsVideoFrameOf(MakeFourCC("07dc"), 7) &&
              !IsVideoFrameOf(MakeFourCC("00wb"), 0));

// What a stream chunk holds for its stream.
enum class StreamChunkKind : std::uint8_t {
    kUnit,     // a frame or a piece of sound or text: it counts toward the stream's length
    kPalette,  // "##pc": a new palette for the frames after it, not a frame of its own
    kIndex,    // "##ix": a standard index chunk named after its stream
};

constexpr StreamChunkKind StreamChunkKindOf(FOURCC id) {
    if (HasKind(id, "pc")) return StreamChunkKind::kPalette;
    if (HasKind(id, "ix")) return StreamChunkKind::kIndex;
    return StreamChunkKind::kUnit;
}

// "ix##": a standard index chunk named after its stream the other way round.
constexpr bool IsStdIndexId(FOURCC id) {
    return IdByte(id, 0) == 'i' && IdByte(id, 1) == 'x' &&
           (kIdCharClass[IdByte(id, 2)] & kIdCharClass[IdByte(id, 3)] & kIdDigit) != 0;
}

// An index chunk of either kind: "idx1", "ix##", "##ix".
constexpr bool IsIndexChunkId(FOURCC id) {
    return id == kIdx1 || IsStdIndexId(id) ||
           (IsStreamChunkId(id) && StreamChunkKindOf(id) == StreamChunkKind::kIndex);
}

// The ids other than a stream's that a well-formed chunk of the movie data may have.
constexpr bool IsMovieNonStreamId(FOURCC id) {
    return id == kList || id == kJunk || id == kJunq || id == kIdx1 || IsStdIndexId(id);
}

}  // namespace plovik
