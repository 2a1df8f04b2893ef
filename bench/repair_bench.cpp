// The repair of a 10-hour movie whose index is missing: 25 fps for 36,000 s, 900,000 video
// frames of 80-120 bytes (MPEG-4 Part 2, each a VOP whose type tells a key frame) and one
// audio chunk of 1,000 bytes a second, no "idx1"; about 134 MB. The repair walks the
// movie data, writes the copy with a new index and checks it. Floor: copying the same file
// in 1 MiB reads and writes and flushing it to the disk, as the repair flushes its copy.
// Both are timed in CPU time (cpu_clock.h): waiting for the disk is part of neither.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "page_cache.h"
#include "plovik/repair.h"
#include "ratio.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace plovik;
using namespace plovik::test;

constexpr std::uint32_t kFramesPerSecond = 25;
constexpr std::uint32_t kSeconds = 36000;
constexpr std::uint32_t kFrames = kFramesPerSecond * kSeconds;  // 900,000
constexpr std::uint32_t kKeyInterval = 250;
constexpr std::uint32_t kAudioChunk = 1000;  // a second of 8 kbit/s MP3

std::uint32_t VideoChunkSize(std::uint32_t frame) {
    return 80 + (frame * 2654435761u >> 16) % 41;  // 80..120, even and odd
}

class UnindexedMovie {
  public:
    UnindexedMovie() { Write(); }

    const std::string& Path() const { return m_path; }
    std::string PathOf(std::string_view name) const { return m_dir.PathOf(name); }
    std::uint64_t Size() const { return m_size; }

  private:
    void Write() {
        const Bytes hdrl = List(
            "hdrl",
            {Avih({.totalFrames = kFrames, .streams = 2}),
             List("strl", {Strh({.handler = "XVID", .rate = kFramesPerSecond, .length = kFrames}),
                           VideoStrf({.compression = "XVID"})}),
             List("strl",
                  {Strh({.type = "auds",
                         .handler = std::string(4, '\0'),
                         .rate = kAudioChunk,
                         .length = kAudioChunk * kSeconds,
                         .sampleSize = 1}),
                   AudioStrf(
                       {.channels = 1, .samplesPerSec = 8000, .avgBytesPerSec = kAudioChunk})})});
        std::uint64_t moviData = 4 + std::uint64_t{kSeconds} * (8 + kAudioChunk);
        for (std::uint32_t i = 0; i < kFrames; ++i) moviData += 8 + Padded(VideoChunkSize(i));
        const std::uint64_t riffSize = 4 + hdrl.size() + 8 + moviData;

        std::ofstream out(m_path, std::ios::binary);
        out << "RIFF" << Le32(static_cast<std::uint32_t>(riffSize)) << "AVI " << hdrl << "LIST"
            << Le32(static_cast<std::uint32_t>(moviData)) << "movi";
        const Bytes audio(kAudioChunk, 'a');
        Bytes frame(128, 'v');
        frame.replace(0, 4, "\0\0\1\xB6", 4);  // a VOP start code
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            if (i % kFramesPerSecond == 0) out << "01wb" << Le32(kAudioChunk) << audio;
            const std::uint32_t size = VideoChunkSize(i);
            frame[4] = i % kKeyInterval == 0 ? '\x10' : '\x50';  // vop_coding_type I or P
            out << "00dc" << Le32(size);
            out.write(frame.data(), static_cast<std::streamsize>(Padded(size)));
        }
        m_size = static_cast<std::uint64_t>(out.tellp());
        out.close();
        if (!out) std::abort();
        plovik::bench::ReadBackFromDisk(m_path);
    }

    static std::uint64_t Padded(std::uint32_t size) { return size + (size & 1); }

    TempDir m_dir;
    std::string m_path = m_dir.PathOf("unindexed.avi");
    std::uint64_t m_size = 0;
};

const UnindexedMovie& Movie() {
    static const UnindexedMovie movie;
    return movie;
}

bool Repair() {
    const UnindexedMovie& movie = Movie();
    RepairOptions options;
    options.force = true;
    const RepairSummary summary = RepairFile(movie.Path(), movie.PathOf("repaired.avi"), options);
    if (summary.status == RepairStatus::kWritten && summary.videoFrames == kFrames) return true;
    std::fprintf(stderr, "repair: %s, %llu frames\n", summary.message.c_str(),
                 static_cast<unsigned long long>(summary.videoFrames));
    return false;
}

bool CopyFloor() {
    const UnindexedMovie& movie = Movie();
    static char block[1 << 20];
    const int in = ::open(movie.Path().c_str(), O_RDONLY);
    const int copy = ::open(movie.PathOf("copy.avi").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::uint64_t total = 0;
    for (ssize_t got; (got = ::read(in, block, sizeof block)) > 0;) {
        if (::write(copy, block, static_cast<std::size_t>(got)) != got) std::abort();
        total += static_cast<std::uint64_t>(got);
    }
    if (total != movie.Size() || ::fsync(copy) != 0) std::abort();
    ::close(copy);
    ::close(in);
    return true;
}

std::string SizeNote() { return std::to_string(Movie().Size() / 1000000) + " MB a run"; }

const bool kRegistered = plovik::bench::RegisterRatio(
    {.label = "repair/copy", .measured = Repair, .floor = CopyFloor, .note = SizeNote});

}  // namespace
