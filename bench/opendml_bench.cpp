// Parse of a file shaped like a 10-hour, 30 fps movie with audio in ten RIFF parts
// (a video and an audio super index, an "ix00" and an "ix01" chunk at the end of each
// part's movie data, "idx1" for the first part), read from the page cache, against
// the floor: reading the same video index chunks in 64 KiB blocks and counting their
// key frames. Printed as "opendml parse/floor ratio: R".
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "index_floor.h"
#include "page_cache.h"
#include "plovik/avi_parser.h"
#include "ratio.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace plovik;
using namespace plovik::test;

constexpr std::uint32_t kParts = 10;
constexpr std::uint32_t kFramesPerPart = 10 * 3600 * 30 / kParts;  // 108,000
constexpr std::uint32_t kKeyInterval = 30;
constexpr std::uint64_t kFrameBytes = 9000;  // parts of about 1 GiB, holes in a sparse file

struct OpenDmlMovie {
    OpenDmlMovie();

    TempDir dir;
    std::string path = dir.PathOf("movie.avi");
    std::vector<std::uint64_t> indexChunks;
    std::uint64_t indexChunkBytes = 0;  // each, header included
};

OpenDmlMovie::OpenDmlMovie() {
    OpenDmlMovie& m = *this;
    const OpenDmlFile file = BuildOpenDmlAvi({.partFrames = std::vector(kParts, kFramesPerPart),
                                              .keyInterval = kKeyInterval,
                                              .microSecPerFrame = 33367,
                                              .frameBytes = kFrameBytes,
                                              .audio = true});
    file.file.WriteTo(m.path);
    plovik::bench::ReadBackFromDisk(m.path);
    m.indexChunks = file.indexChunks;
    m.indexChunkBytes = 32 + 8 * std::uint64_t{kFramesPerPart};
}

const OpenDmlMovie& Movie() {
    static const OpenDmlMovie movie;
    return movie;
}

// Heap bytes in use, mapped blocks included.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

bool ParsedWhole(CAviParser& parser, const std::string& path) {
    if (parser.Parse(path, 0xFFFFFFFF, false) && parser.m_bIndexOK &&
        parser.m_nIndexKind == INDEX_KIND_OPENDML &&
        parser.m_nKeyFrames == kParts * kFramesPerPart / kKeyInterval) {
        return true;
    }
    std::fprintf(stderr, "opendml parse: error %d, index ok %d, kind %d, key frames %u\n",
                 parser.m_nError, parser.m_bIndexOK, parser.m_nIndexKind, parser.m_nKeyFrames);
    return false;
}

// One parser for every run, as a caller may reuse one: its key-time array, made once, is a
// cost of the parser, not of the file.
bool ParseMovie() {
    static CAviParser parser;
    return ParsedWhole(parser, Movie().path);
}

bool ReadIndexFloor() {
    const OpenDmlMovie& movie = Movie();
    const int fd = ::open(movie.path.c_str(), O_RDONLY);
    std::uint32_t keys = 0;
    for (const std::uint64_t chunk : movie.indexChunks) {
        plovik::bench::ReadInBlocks(fd, chunk + 32, movie.indexChunkBytes - 32,
                                    [&](const char* data, std::size_t n) {
                                        for (std::size_t i = 0; i + 8 <= n; i += 8) {
                                            std::uint32_t size;
                                            std::memcpy(&size, data + i + 4, 4);
                                            keys += (size & 0x80000000u) == 0;
                                        }
                                    });
    }
    ::close(fd);
    benchmark::DoNotOptimize(keys);
    return true;
}

// What a parser holds after a parse: the key-frame records and the key-time array.
std::string HeapNote() {
    const std::size_t before = HeapInUse();
    CAviParser parser;
    if (!ParsedWhole(parser, Movie().path)) return "a parse failed";
    char note[64];
    std::snprintf(note, sizeof note, "a parser holds %.2f MB",
                  static_cast<double>(HeapInUse() - before) / 1e6);
    return note;
}

const bool kRegistered = plovik::bench::RegisterRatio({.label = "opendml parse/floor",
                                                       .measured = ParseMovie,
                                                       .floor = ReadIndexFloor,
                                                       .note = HeapNote});

}  // namespace
