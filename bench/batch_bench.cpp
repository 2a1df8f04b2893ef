// plovik-report's library over a folder of 5,000 small AVI files, in each output format,
// against the floor of opening each file, reading its first 64 KiB and closing it; the text
// run with two jobs against one job (its speed-up on two processors of its own: see
// cpu_clock.h) and against the floor done by two threads, beside the floor's own speed-up on
// two threads. And its check of 1,000 small files with real movie data against the floor of
// reading each of them whole.
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

#include "batch_files.h"
#include "media.h"
#include "plovik/cli.h"
#include "ratio.h"
#include "support/temp_dir.h"

namespace {

// Files clip00000.avi onwards, count of them, the i-th holding contents[i % size].
struct Folder {
    Folder(const std::vector<std::string>& contents, int count) {
        for (int i = 0; !contents.empty() && i < count; ++i) {
            paths.push_back(dir.Write(plovik::bench::BatchFileName(i),
                                      contents[static_cast<std::size_t>(i) % contents.size()]));
        }
    }

    plovik::test::TempDir dir;
    std::vector<std::string> paths;
};

// The files of batch_files.h.
const Folder& SmallFiles() {
    static const Folder folder(plovik::bench::BatchShapes(), plovik::bench::kBatchFiles);
    return folder;
}

// 1,000 copies of ffmpeg's clips (media.h): small files whose movie data are real frames.
const Folder& ClipFiles() {
    static const Folder folder(
        [] {
            std::vector<std::string> clips;
            for (const std::string& path : plovik::bench::Media().clips) {
                clips.push_back(plovik::test::ReadFileBytes(path));
            }
            return clips;
        }(),
        1000);
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
bool RunReport(std::vector<std::string> args, const Folder& folder, std::streambuf& printed) {
    if (folder.paths.empty()) {
        std::fprintf(stderr, "plovik-report: no files to report\n");
        return false;
    }
    std::ostream out(&printed);
    args.push_back(folder.dir.path().string());
    if (plovik::RunReportCli(args, out, out) == plovik::kExitOk) return true;
    std::fprintf(stderr, "plovik-report: a file gave only a message\n");
    return false;
}

plovik::bench::Run Report(std::vector<std::string> args, const Folder& (*folder)() = SmallFiles) {
    return [args, folder] {
        CountingBuffer printed;
        return RunReport(args, folder(), printed);
    };
}

std::function<std::string()> OutputNote(std::vector<std::string> args) {
    return [args] {
        CountingBuffer printed;
        RunReport(args, SmallFiles(), printed);
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
// The check reads every file's movie data.
const std::vector<std::string> kCheck = {"-j", "1", "--check"};

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

// Opens, reads to its end and closes every file.
std::uint64_t ReadWholeFiles(const std::vector<std::string>& paths) {
    static char block[1 << 20];
    std::uint64_t bytes = 0;
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) continue;
        for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) {
            bytes += static_cast<std::uint64_t>(got);
        }
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

bool ReadClipsFloor() {
    benchmark::DoNotOptimize(ReadWholeFiles(ClipFiles().paths));
    return true;
}

std::string ClipsNote() {
    const Folder& folder = ClipFiles();
    return std::to_string(folder.paths.size()) + " files of " +
           std::to_string(ReadWholeFiles(folder.paths) / 1000000) + " MB";
}

using plovik::bench::RegisterRatio;

const bool kRegistered = RegisterRatio({.label = "batch text/floor",
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
                                        .word = "speed-up",
                                        .twoThreads = true}) &&
                         // What two threads give the floor itself on this machine: two
                         // processors of a virtual machine may share a core of the host.
                         RegisterRatio({.label = "batch floor 2 threads",
                                        .measured = ReadFloor,
                                        .floor = ReadFloor2,
                                        .word = "speed-up",
                                        .twoThreads = true}) &&
                         RegisterRatio({.label = "batch text -j2/floor2",
                                        .measured = Report(kTextJobs2),
                                        .floor = ReadFloor2,
                                        .twoThreads = true}) &&
                         RegisterRatio({.label = "batch check/floor",
                                        .measured = Report(kCheck, ClipFiles),
                                        .floor = ReadClipsFloor,
                                        .note = ClipsNote});

}  // namespace
