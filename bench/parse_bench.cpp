// Parse of a file shaped like a 10-hour, 30 fps movie with audio (about 1.1 million
// video and as many audio entries in "idx1", a key frame every 30 frames), read from
// the page cache, against the floor: reading the same index in 64 KiB blocks and
// counting its key-frame flags. The last line of output is the ratio of the two.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "byte_source.h"
#include "index_floor.h"
#include "plovik/avi_parser.h"
#include "ratio.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace plovik;
using namespace plovik::test;

// ---- Allocation counting: what one Parse allocates ----

std::atomic<std::size_t> g_allocatedBytes{0};
std::atomic<std::size_t> g_allocations{0};

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
    if (!out) std::abort();
}

const MovieFile& Movie() {
    static const MovieFile movie;
    return movie;
}

// ---- Benchmarks ----

void BM_Parse(benchmark::State& state) {
    const MovieFile& movie = Movie();
    std::size_t bytes = 0;
    std::size_t count = 0;
    for (auto _ : state) {
        const std::size_t bytesBefore = g_allocatedBytes;
        const std::size_t countBefore = g_allocations;
        CAviParser parser;
        if (!parser.Parse(movie.path, 0xFFFFFFFF, false) || !parser.m_bIndexOK ||
            parser.m_nKeyFrames != kFrames / kKeyInterval) {
            std::fprintf(stderr, "parse: error %d, index ok %d, key frames %u\n", parser.m_nError,
                         parser.m_bIndexOK, parser.m_nKeyFrames);
            state.SkipWithError("parse failed");
            break;
        }
        bytes = g_allocatedBytes - bytesBefore;
        count = g_allocations - countBefore;
    }
    state.counters["alloc_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["allocs"] = static_cast<double>(count);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * movie.indexBytes);
}

// The scan without the system's copying: the same file parsed from memory.
void BM_ParseFromMemory(benchmark::State& state) {
    const MovieFile& movie = Movie();
    static const std::string head = [&] {
        std::ifstream in(movie.path, std::ios::binary);
        std::string bytes(movie.indexPos + movie.indexBytes, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }();
    for (auto _ : state) {
        CAviParser parser;
        benchmark::DoNotOptimize(
            parser.ParseFrom(MakeMemorySource(head), "movie.avi", 0xFFFFFFFF, false));
    }
}

// The walk alone: what Parse costs besides the index scan.
void BM_ParseSkippingIndex(benchmark::State& state) {
    const MovieFile& movie = Movie();
    for (auto _ : state) {
        CAviParser parser;
        benchmark::DoNotOptimize(parser.Parse(movie.path, 0xFFFFFFFF, true));
    }
}

void BM_IndexFloor(benchmark::State& state) {
    const MovieFile& movie = Movie();
    for (auto _ : state) {
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
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * movie.indexBytes);
}

BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ParseFromMemory)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ParseSkippingIndex)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_IndexFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps the time of each benchmark for the ratios: the mean of its fastest repetition.
class TimeKeeper : public benchmark::ConsoleReporter {
  public:
    // Plain text, so that the ratio line stands alone as the last line.
    TimeKeeper() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            // The fastest repetition: on a shared machine the slower ones measure the others.
            const double time = run.GetAdjustedRealTime();
            auto [it, added] = times.try_emplace(run.run_name.function_name, time);
            if (!added && time < it->second) it->second = time;
        }
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    // The heap keeps its pages between runs: a parse in a loop would otherwise hand its
    // key-frame records back to the system and fault the same pages in again each run,
    // which a program parsing once never does twice.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Three repetitions of each benchmark unless the command line asks otherwise; the
    // ratios take the fastest of each.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    if (std::none_of(args.begin(), args.end(), [](const char* a) {
            return std::string_view(a).starts_with("--benchmark_repetitions");
        })) {
        args.push_back(repetitions.data());
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    std::printf("Writing a 10-hour movie index (%u video + %u audio entries)...\n", kFrames,
                kFrames);
    Movie();
    TimeKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bool allMeasured = true;
    auto printRatio = [&](const plovik::bench::RatioLine& line) {
        const double measured = reporter.times[line.measured];
        const double floor = reporter.times[line.floor];
        if (measured <= 0 || floor <= 0) {
            std::printf("%s %s: unavailable\n", line.label.c_str(), line.word.c_str());
            allMeasured = false;
            return;
        }
        std::printf("%s %s: %.2f\n", line.label.c_str(), line.word.c_str(), measured / floor);
    };
    for (const plovik::bench::RatioLine& line : plovik::bench::RatioLines()) printRatio(line);
    printRatio({"parse/floor", "BM_Parse", "BM_IndexFloor"});
    return allMeasured ? 0 : 1;
}
