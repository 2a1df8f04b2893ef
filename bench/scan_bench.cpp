// The movie-data scan of a file shaped like a 10-hour, 30 fps movie with audio: 1,080,000
// video and as many audio chunks, interleaved, with an "idx1" naming each of them. To keep
// writing it affordable the chunks are small (video 200-600 bytes, key frames every 30th
// 2 KiB more, audio 96 bytes) and every 10,000th frame is 1.5 MiB, larger than the scan's
// buffer: about 830 MB in all, every chunk header real. Floor: reading the same file from
// start to end in 1 MiB blocks. Both run from the page cache and are bound by the processor.
// Memory: the most heap in use during the scan.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "page_cache.h"
#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"
#include "ratio.h"
#include "raw_file.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace plovik;
using namespace plovik::test;

constexpr std::uint32_t kFrames = 10 * 3600 * 30;  // 1,080,000
constexpr std::uint32_t kKeyInterval = 30;
constexpr std::uint32_t kHugeInterval = 10000;
constexpr std::uint32_t kHugeFrame = 3u << 19;  // 1.5 MiB
constexpr std::uint32_t kAudioChunk = 96;

std::uint32_t VideoChunkSize(std::uint32_t frame) {
    if (frame % kHugeInterval == kHugeInterval / 2) return kHugeFrame;
    const std::uint32_t varying =
        200 + (frame * 2654435761u >> 16) % 401;  // 200..600, even and odd
    return frame % kKeyInterval == 0 ? varying + 2048 : varying;
}

class ScanMovie {
  public:
    ScanMovie() { Write(); }

    const std::string& Path() const { return m_path; }
    std::uint64_t Size() const { return m_size; }

  private:
    void Write() {
        const Bytes hdrl = List(
            "hdrl",
            {Avih({.microSecPerFrame = 33367, .totalFrames = kFrames, .streams = 2}),
             List("strl", {Strh({.scale = 1001, .rate = 30000, .length = kFrames}), VideoStrf()}),
             List("strl",
                  {Strh({.type = "auds", .rate = 2880}), AudioStrf({.avgBytesPerSec = 2880})})});
        std::uint64_t moviData = 4;
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            moviData += 8 + Padded(VideoChunkSize(i)) + 8 + kAudioChunk;
        }
        const std::uint64_t indexBytes = std::uint64_t{kFrames} * 2 * 16;
        const std::uint64_t riffSize = 4 + hdrl.size() + 8 + moviData + 8 + indexBytes;

        std::ofstream out(m_path, std::ios::binary);
        out << "RIFF" << Le32(static_cast<std::uint32_t>(riffSize)) << "AVI " << hdrl << "LIST"
            << Le32(static_cast<std::uint32_t>(moviData)) << "movi";
        const Bytes media(kHugeFrame + 1, 'm');
        Bytes index;
        index.reserve(indexBytes);
        std::uint32_t offset = 4;
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            const std::uint32_t size = VideoChunkSize(i);
            out << "00dc" << Le32(size);
            out.write(media.data(), static_cast<std::streamsize>(Padded(size)));
            out << "01wb" << Le32(kAudioChunk);
            out.write(media.data(), kAudioChunk);
            index +=
                IndexEntries({{"00dc", i % kKeyInterval == 0 ? kKey : 0u, offset, size},
                              {"01wb", kKey, offset + 8 + static_cast<std::uint32_t>(Padded(size)),
                               kAudioChunk}});
            offset += 16 + static_cast<std::uint32_t>(Padded(size)) + kAudioChunk;
        }
        out << "idx1" << Le32(static_cast<std::uint32_t>(indexBytes)) << index;
        m_size = static_cast<std::uint64_t>(out.tellp());
        out.close();
        if (!out) std::abort();
        plovik::bench::ReadBackFromDisk(m_path);
    }

    static std::uint64_t Padded(std::uint32_t size) { return size + (size & 1); }

    plovik::test::TempDir m_dir;
    std::string m_path = m_dir.PathOf("movie.avi");
    std::uint64_t m_size = 0;
};

const ScanMovie& Movie() {
    static const ScanMovie movie;
    return movie;
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// One parse for every scan; each scan fills its streams' data tallies afresh.
CAviParser& Parsed() {
    static CAviParser avi;
    static const bool parsed = avi.Parse(Movie().Path(), 0xFFFFFFFF, false);
    if (!parsed) std::abort();
    return avi;
}

// Scans the movie, calling progress as it goes; false when the scan saw what is not there.
template <class Progress>
bool ScanMovie(Progress progress) {
    CAviParser& avi = Parsed();
    CMovieScan scan;
    const OpenedFile opened = OpenRawFile(Movie().Path());
    if (!opened.file) std::abort();
    scan.ScanFrom(*opened.file, avi, progress);
    if (avi.m_arStreams[0].data.chunks == kFrames && scan.m_qwDamagedRegions == 0 &&
        scan.m_qwIndexMismatches == 0 && scan.m_qwIndexEntries == 2ull * kFrames) {
        return true;
    }
    std::fprintf(stderr, "scan: %llu frames, %llu regions, %llu of %llu entries off\n",
                 static_cast<unsigned long long>(avi.m_arStreams[0].data.chunks),
                 static_cast<unsigned long long>(scan.m_qwDamagedRegions),
                 static_cast<unsigned long long>(scan.m_qwIndexMismatches),
                 static_cast<unsigned long long>(scan.m_qwIndexEntries));
    return false;
}

bool Scan() {
    return ScanMovie([](std::uint64_t, std::uint64_t) {});
}

bool ReadFloor() {
    static char block[1 << 20];
    const int fd = ::open(Movie().Path().c_str(), O_RDONLY);
    std::uint64_t total = 0;
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) {
        total += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    benchmark::DoNotOptimize(total);
    return true;
}

// The most heap in use during a scan, sampled at its progress calls.
std::string HeapNote() {
    const std::size_t before = HeapInUse();
    std::size_t most = 0;
    ScanMovie([&](std::uint64_t, std::uint64_t) {
        most = std::max(most, HeapInUse() - std::min(before, HeapInUse()));
    });
    char note[64];
    std::snprintf(note, sizeof note, "at most %.2f MB of heap; %.0f MB a run",
                  static_cast<double>(most) / (1 << 20), static_cast<double>(Movie().Size()) / 1e6);
    return note;
}

const bool kRegistered = plovik::bench::RegisterRatio(
    {.label = "scan/floor", .measured = Scan, .floor = ReadFloor, .note = HeapNote});

}  // namespace
