// plovik-report's library over a folder of 5,000 small AVI files, in each output format,
// against the floor of opening each file, reading its first 64 KiB and closing it; and the
// text run with two jobs against one job and against the floor done by two threads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "batch_files.h"
#include "plovik/cli.h"
#include "ratio.h"
#include "support/temp_dir.h"

namespace {

// The files of batch_files.h.
struct Folder {
    Folder() {
        const std::vector<std::string> shapes = plovik::bench::BatchShapes();
        for (int i = 0; i < plovik::bench::kBatchFiles; ++i) {
            paths.push_back(dir.Write(plovik::bench::BatchFileName(i), shapes[i % shapes.size()]));
        }
    }

    plovik::test::TempDir dir;
    std::vector<std::string> paths;
};

const Folder& SmallFiles() {
    static const Folder folder;
    return folder;
}

// Counts what it is given and keeps none of it.
class CountingBuffer : public std::streambuf {
  public:
    std::size_t bytes = 0;

  protected:
    int_type overflow(int_type c) override {
        ++bytes;
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += static_cast<std::size_t>(n);
        return n;
    }
};

void RunBatch(benchmark::State& state, const char* format, const char* jobs = "1") {
    const Folder& folder = SmallFiles();
    CountingBuffer buffer;
    std::ostream out(&buffer);
    std::ostream err(&buffer);
    for (auto _ : state) {
        const int status = plovik::RunReportCli(
            {"-j", jobs, "--format", format, folder.dir.path().string()}, out, err);
        if (status != plovik::kExitOk) state.SkipWithError("a file gave only a message");
    }
    state.counters["out_MB"] = static_cast<double>(buffer.bytes) / 1e6 / state.iterations();
}

void BM_BatchText(benchmark::State& state) { RunBatch(state, "text"); }
void BM_BatchJson(benchmark::State& state) { RunBatch(state, "json"); }
void BM_BatchCsv(benchmark::State& state) { RunBatch(state, "csv"); }
void BM_BatchTextJobs2(benchmark::State& state) { RunBatch(state, "text", "2"); }

// Opens, reads the first 64 KiB of and closes every step-th file from the first-th.
std::size_t ReadFiles(const std::vector<std::string>& paths, std::size_t first, std::size_t step) {
    static thread_local char block[64 * 1024];
    std::size_t bytes = 0;
    for (std::size_t i = first; i < paths.size(); i += step) {
        const int fd = ::open(paths[i].c_str(), O_RDONLY);
        if (fd < 0) continue;
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got > 0) bytes += static_cast<std::size_t>(got);
        ::close(fd);
    }
    return bytes;
}

void BM_BatchFloor(benchmark::State& state) {
    const Folder& folder = SmallFiles();
    for (auto _ : state) benchmark::DoNotOptimize(ReadFiles(folder.paths, 0, 1));
}

// The same opens and reads shared by two threads, each started for the run as -j 2 starts
// its second worker.
void BM_BatchFloor2(benchmark::State& state) {
    const Folder& folder = SmallFiles();
    for (auto _ : state) {
        std::size_t other = 0;
        std::thread second([&] { other = ReadFiles(folder.paths, 1, 2); });
        benchmark::DoNotOptimize(ReadFiles(folder.paths, 0, 2));
        second.join();
        benchmark::DoNotOptimize(other);
    }
}

BENCHMARK(BM_BatchText)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BatchJson)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BatchCsv)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BatchFloor)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BatchTextJobs2)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_BatchFloor2)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

const bool kRegistered =
    plovik::bench::RegisterRatio({"batch text/floor", "BM_BatchText", "BM_BatchFloor"}) &&
    plovik::bench::RegisterRatio({"batch json/floor", "BM_BatchJson", "BM_BatchFloor"}) &&
    plovik::bench::RegisterRatio({"batch csv/floor", "BM_BatchCsv", "BM_BatchFloor"}) &&
    plovik::bench::RegisterRatio(
        {"batch text -j2", "BM_BatchText", "BM_BatchTextJobs2", "speed-up"}) &&
    plovik::bench::RegisterRatio({"batch text -j2/floor2", "BM_BatchTextJobs2", "BM_BatchFloor2"});

}  // namespace
