// plovik-report's library over a folder of 5,000 small AVI files, in each output format,
// against the floor of opening each file, reading its first 64 KiB and closing it; and the
// text run with two jobs against one job (its speed-up on two processors of its own: see
// cpu_clock.h) and against the floor done by two threads.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "plovik/cli.h"
#include "ratio.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

constexpr int kFiles = 5000;

// Small files of a few shapes: with and without audio and software text, some cut short.
struct Folder {
    Folder() {
        using plovik::test::BuildSimpleAvi;
        const std::string shapes[] = {
            BuildSimpleAvi({.frames = 50, .keyInterval = 12}),
            BuildSimpleAvi({.frames = 30, .audio = false, .software = "Bench Encoder"}),
            BuildSimpleAvi({.frames = 75, .keyInterval = 7, .software = "Lavf59.27.100"}),
            BuildSimpleAvi({.frames = 40}).substr(0, 900),
        };
        for (int i = 0; i < kFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "clip%05d.avi", i);
            paths.push_back(dir.Write(name, shapes[i % 4]));
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

// plovik-report over the folder with options; false unless every file gave a full report.
bool RunReport(std::vector<std::string> args, std::streambuf& printed) {
    std::ostream out(&printed);
    args.push_back(SmallFiles().dir.path().string());
    if (plovik::RunReportCli(args, out, out) == plovik::kExitOk) return true;
    std::fprintf(stderr, "plovik-report: a file gave only a message\n");
    return false;
}

plovik::bench::Run Report(std::vector<std::string> args) {
    return [args] {
        CountingBuffer printed;
        return RunReport(args, printed);
    };
}

std::function<std::string()> OutputNote(std::vector<std::string> args) {
    return [args] {
        CountingBuffer printed;
        RunReport(args, printed);
        char note[48];
        std::snprintf(note, sizeof note, "prints %.2f MB",
                      static_cast<double>(printed.bytes) / 1e6);
        return std::string(note);
    };
}

const std::vector<std::string> kText = {"-j", "1", "--format", "text"};
const std::vector<std::string> kJson = {"-j", "1", "--format", "json"};
const std::vector<std::string> kCsv = {"-j", "1", "--format", "csv"};
const std::vector<std::string> kTextJobs2 = {"-j", "2", "--format", "text"};

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

bool ReadFloor() {
    benchmark::DoNotOptimize(ReadFiles(SmallFiles().paths, 0, 1));
    return true;
}

// The same opens and reads shared by two threads, the second started for the run as -j 2
// starts its second worker.
bool ReadFloor2() {
    const Folder& folder = SmallFiles();
    std::size_t other = 0;
    std::thread second([&] { other = ReadFiles(folder.paths, 1, 2); });
    benchmark::DoNotOptimize(ReadFiles(folder.paths, 0, 2));
    second.join();
    benchmark::DoNotOptimize(other);
    return true;
}

using plovik::bench::RegisterRatio;

const bool kRegistered =
    RegisterRatio({.label = "batch text/floor",
                   .measured = Report(kText),
                   .floor = ReadFloor,
                   .note = OutputNote(kText)}) &&
    RegisterRatio({.label = "batch json/floor",
                   .measured = Report(kJson),
                   .floor = ReadFloor,
                   .note = OutputNote(kJson)}) &&
    RegisterRatio({.label = "batch csv/floor",
                   .measured = Report(kCsv),
                   .floor = ReadFloor,
                   .note = OutputNote(kCsv)}) &&
    RegisterRatio({.label = "batch text -j2",
                   .measured = Report(kText),
                   .floor = Report(kTextJobs2),
                   .word = "speed-up"}) &&
    RegisterRatio(
        {.label = "batch text -j2/floor2", .measured = Report(kTextJobs2), .floor = ReadFloor2});

}  // namespace
