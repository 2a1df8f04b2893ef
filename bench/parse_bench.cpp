// Parse of a file shaped like a 10-hour, 30 fps movie with audio (about 1.1 million
// video and as many audio entries in "idx1", a key frame every 30 frames), read from
// the page cache, against the floor: reading the same index in 64 KiB blocks and
// counting its key-frame flags. Printed last, as "parse/floor ratio: R".
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "index_floor.h"
#include "page_cache.h"
#include "plovik/avi_parser.h"
#include "ratio.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace plovik;
using namespace plovik::test;

// ---- Allocation counting: what one parse allocates ----

// Of the thread that allocates: the parse counted runs on one thread, and counters that the
// threads of plovik-report -j 2 shared would make them wait on each other's every allocation,
// which the program itself never does.
thread_local std::size_t g_allocatedBytes = 0;
thread_local std::size_t g_allocations = 0;

}  // namespace

void* operator new(std::size_t n) {
    g_allocatedBytes += n;
    ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// ---- The movie file ----

constexpr std::uint32_t kFrames = 10 * 3600 * 30;  // 1,080,000
constexpr std::uint32_t kKeyInterval = 30;
constexpr std::uint32_t kVideoChunk = 3000;  // bytes per frame: the whole movie fits one RIFF
constexpr std::uint32_t kAudioChunk = 500;
static_assert(std::uint64_t{kFrames} * (16 + kVideoChunk + kAudioChunk + 32) < 0xFFFFFFFFull);

struct MovieFile {
    MovieFile();

    plovik::test::TempDir dir;
    std::string path = dir.PathOf("movie.avi");
    std::uint64_t indexPos = 0;  // of the "idx1" data
    std::uint32_t indexBytes = 0;
};

// The movie data is a hole in a sparse file: Parse passes it with one seek.
MovieFile::MovieFile() {
    MovieFile& movie = *this;

    const Bytes hdrl =
        List("hdrl",
             {Avih({.microSecPerFrame = 33333, .totalFrames = kFrames, .streams = 2}),
              List("strl", {Strh({.scale = 1001, .rate = 30000, .length = kFrames}), VideoStrf()}),
              List("strl", {Strh({.type = "auds", .handler = std::string(4, '\0'), .rate = 16000}),
                            AudioStrf()})});
    const Bytes info = List("INFO", {Chunk("ISFT", Bytes("Bench Encoder\0", 14))});
    const std::uint64_t moviData = std::uint64_t{kFrames} * (16 + kVideoChunk + kAudioChunk);
    movie.indexBytes = kFrames * 2 * 16;
    const std::uint64_t riffSize =
        4 + hdrl.size() + info.size() + 12 + moviData + 8 + movie.indexBytes;

    Bytes index;
    index.reserve(movie.indexBytes);
    std::uint32_t offset = 4;
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        index += IndexEntries({{"00dc", i % kKeyInterval == 0 ? kKey : 0u, offset, kVideoChunk},
                               {"01wb", kKey, offset + 8 + kVideoChunk, kAudioChunk}});
        offset += 16 + kVideoChunk + kAudioChunk;
    }

    std::ofstream out(movie.path, std::ios::binary);
    out << "RIFF" << Le32(static_cast<std::uint32_t>(riffSize)) << "AVI " << hdrl << info << "LIST"
        << Le32(static_cast<std::uint32_t>(4 + moviData)) << "movi";
    out.seekp(static_cast<std::streamoff>(out.tellp()) + static_cast<std::streamoff>(moviData));
    out << "idx1" << Le32(movie.indexBytes);
    movie.indexPos = static_cast<std::uint64_t>(out.tellp());
    out << index;
    out.close();
    if (!out) std::abort();
    plovik::bench::ReadBackFromDisk(movie.path);
}

const MovieFile& Movie() {
    static const MovieFile movie;
    return movie;
}

// ---- The runs ----

bool ParseMovie() {
    const MovieFile& movie = Movie();
    CAviParser parser;
    if (parser.Parse(movie.path, 0xFFFFFFFF, false) && parser.m_bIndexOK &&
        parser.m_nKeyFrames == kFrames / kKeyInterval) {
        return true;
    }
    std::fprintf(stderr, "parse: error %d, index ok %d, key frames %u\n", parser.m_nError,
                 parser.m_bIndexOK, parser.m_nKeyFrames);
    return false;
}

bool ReadIndexFloor() {
    const MovieFile& movie = Movie();
    const int fd = ::open(movie.path.c_str(), O_RDONLY);
    std::uint32_t keys = 0;
    plovik::bench::ReadInBlocks(fd, movie.indexPos, movie.indexBytes,
                                [&](const char* data, std::size_t n) {
                                    for (std::size_t i = 0; i + 16 <= n; i += 16) {
                                        std::uint32_t flags;
                                        std::memcpy(&flags, data + i + 4, 4);
                                        keys += (flags & 0x10) != 0;
                                    }
                                });
    ::close(fd);
    benchmark::DoNotOptimize(keys);
    return true;
}

std::string AllocationNote() {
    const std::size_t bytesBefore = g_allocatedBytes;
    const std::size_t countBefore = g_allocations;
    ParseMovie();
    char note[80];
    std::snprintf(note, sizeof note, "a parse allocates %.2f MB in %zu blocks",
                  static_cast<double>(g_allocatedBytes - bytesBefore) / 1e6,
                  g_allocations - countBefore);
    return note;
}

// Last: scripts and notes read the last line of `make bench`.
const bool kRegistered = plovik::bench::RegisterRatio({.label = "parse/floor",
                                                       .measured = ParseMovie,
                                                       .floor = ReadIndexFloor,
                                                       .note = AllocationNote,
                                                       .last = true});

}  // namespace
