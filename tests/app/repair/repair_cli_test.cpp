#include "plovik/repair_cli.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "plovik/cli.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;

struct RepairRun {
    int status;
    std::string out;
    std::string err;
};

RepairRun RunRepair(const std::vector<std::string>& args, const std::atomic<bool>* stop = nullptr) {
    std::ostringstream out;
    std::ostringstream err;
    StreamOutput outStream(out);
    StreamOutput errStream(err);
    const int status =
        RunRepairCli(args, RepairCliStreams{.out = outStream, .err = errStream, .stop = stop});
    return {status, out.str(), err.str()};
}

fs::path FromUtf8(const std::string& s) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
}

bool Exists(const std::string& path) { return fs::exists(FromUtf8(path)); }

std::string CutSample() {
    const char* root = std::getenv("PLOVIK_SOURCE_DIR");
    return std::string(root != nullptr ? root : ".") + "/tests/data/msmpeg4v2_cut.avi";
}

TEST(RepairCliArguments, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"in.avi"},
        {"in.avi", "out.avi", "more.avi"},
        {"--bogus", "in.avi", "out.avi"},
        {"--format", "xml", "in.avi", "out.avi"},
        {"--format=", "in.avi", "out.avi"},
        {"in.avi", "out.avi", "--format"},
        {"--force"},
        {"", "out.avi"},
    };
    for (const auto& args : cases) {
        const RepairRun run = RunRepair(args);
        const std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(run.status, kRepairExitUsage) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("plovik-repair: ", 0), 0u) << shown;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << shown;
    }
    EXPECT_NE(RunRepair({"a", "b", "c"}).err.find("'c'"), std::string::npos);
    EXPECT_NE(RunRepair({"--format", "xml", "a", "b"}).err.find("'xml'"), std::string::npos);
}

TEST(RepairCliArguments, HelpAndVersionNeedNoFile) {
    const RepairRun help = RunRepair({"--help"});
    EXPECT_EQ(help.status, kRepairExitOk);
    EXPECT_EQ(help.out.rfind("Usage: plovik-repair [OPTION]... IN OUT\n", 0), 0u);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(RunRepair({"-h"}).out, help.out);

    const RepairRun version = RunRepair({"--version"});
    EXPECT_EQ(version.status, kRepairExitOk);
    EXPECT_EQ(version.out, std::string("plovik-repair ") + PLOVIK_VERSION + "\n");
}

// Refused runs exit 2, name IN on standard error and leave both files as they were.
TEST(RepairCliRefusal, ExistingOutputNeedsForce) {
    TempDir dir;
    const std::string in = dir.Write("in.avi", test::BuildSimpleAvi());
    const std::string out = dir.Write("out.avi", "keep me");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{in, out}, {"--dry-run", in, out}}) {
        const RepairRun run = RunRepair(args);
        EXPECT_EQ(run.status, kRepairExitUsage) << args[0];
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "plovik-repair: " + in + ": the output exists (--force replaces it)\n");
        EXPECT_EQ(ReadFileBytes(out), "keep me");
    }
}

TEST(RepairCliRefusal, OutputIsInputByAnyName) {
    TempDir dir;
    const std::string bytes = test::BuildSimpleAvi();
    const std::string in = dir.Write("in.avi", bytes);
    fs::create_directory(dir.path() / "sub");
    std::vector<std::string> sameFile = {in, dir.PathOf("sub/../in.avi"), dir.PathOf("./in.avi")};
    std::error_code linkError;
    fs::create_hard_link(FromUtf8(in), FromUtf8(dir.PathOf("link.avi")), linkError);
    if (!linkError) sameFile.push_back(dir.PathOf("link.avi"));
    for (const std::string& out : sameFile) {
        const RepairRun run = RunRepair({"--force", in, out});
        EXPECT_EQ(run.status, kRepairExitUsage) << out;
        EXPECT_EQ(run.err, "plovik-repair: " + in + ": the output is the input file\n") << out;
    }
    EXPECT_EQ(ReadFileBytes(in), bytes);
}

// The JSON object comes on standard output whatever the outcome, on one line.
TEST(RepairCliJson, RefusalAsOneObject) {
    TempDir dir;
    const std::string in = dir.Write("in.avi", test::BuildSimpleAvi());
    const RepairRun run = RunRepair({"--format", "json", in, in});
    std::string quoted;  // the path as a JSON string holds it: Windows' backslashes escaped
    for (const char c : in) quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ(run.status, kRepairExitUsage);
    EXPECT_EQ(run.out,
              "{\"status\":\"refused\",\"input\":\"" + quoted + "\",\"output\":\"" + quoted +
                  "\",\"message\":\"the output is the input file\",\"video_frames\":0,"
                  "\"empty_video_frames\":0,"
                  "\"audio_bytes\":0,\"chunks_kept\":0,\"regions_left_out\":0,"
                  "\"bytes_left_out\":0,\"regions\":[],\"index_entries\":0,\"keys_from_index\":0,"
                  "\"keys_from_bitstream\":0,\"keys_assumed\":0,\"assumed_fourcc\":null,"
                  "\"damaged_frames_kept\":0,\"damaged_frames_emptied\":0,"
                  "\"changes\":[],\"output_size\":0,\"riff_parts\":0,\"second_movie\":null}\n");
    EXPECT_NE(run.err.find("the output is the input file"), std::string::npos);
}

// What cannot be repaired, or is stopped, leaves nothing named OUT.
TEST(RepairCliFailure, NothingUnderTheOutputName) {
    TempDir dir;
    const std::string wave = dir.Write("notes.avi", test::Riff("WAVE", {}));
    const std::string out = dir.PathOf("out.avi");
    const RepairRun notAvi = RunRepair({wave, out});
    EXPECT_EQ(notAvi.status, kRepairExitFailed);
    EXPECT_EQ(notAvi.out, "");
    EXPECT_EQ(notAvi.err.rfind("plovik-repair: " + wave + ": ", 0), 0u) << notAvi.err;
    EXPECT_FALSE(Exists(out));

    const RepairRun missing = RunRepair({dir.PathOf("missing.avi"), out});
    EXPECT_EQ(missing.status, kRepairExitFailed);
    EXPECT_FALSE(Exists(out));

    const std::atomic<bool> stop = true;
    const RepairRun stopped = RunRepair({"--format=json", CutSample(), out}, &stop);
    EXPECT_EQ(stopped.status, kRepairExitFailed);
    EXPECT_FALSE(Exists(out));
    EXPECT_EQ(stopped.out.rfind("{\"status\":\"stopped\",", 0), 0u) << stopped.out;
}

// A cut file: written, the summary's size is the copy's, and the copy passes the check.
TEST(RepairCliWritten, CutFileRepairedAndChecked) {
    TempDir dir;
    const std::string out = dir.PathOf("fixed.avi");
    const RepairRun dry = RunRepair({"--dry-run", CutSample(), out});
    EXPECT_EQ(dry.status, kRepairExitOk) << dry.err;
    EXPECT_EQ(dry.out.rfind("plovik-repair: would write " + out + " (", 0), 0u) << dry.out;
    EXPECT_FALSE(Exists(out));

    dir.Write("fixed.avi", "old");
    const RepairRun run = RunRepair({"--force", CutSample(), out});
    EXPECT_EQ(run.status, kRepairExitOk) << run.err;
    EXPECT_EQ(run.err, "");
    const std::uint64_t size = fs::file_size(FromUtf8(out));
    std::string grouped = std::to_string(size);
    for (std::size_t at = grouped.size(); at > 3; at -= 3) grouped.insert(at - 3, 1, ',');
    EXPECT_EQ(
        run.out.rfind("plovik-repair: wrote " + out + " (" + grouped + " bytes, 1 RIFF part)\n", 0),
        0u)
        << run.out;
    // The dry run planned this very copy.
    EXPECT_EQ(dry.out.substr(dry.out.find('\n')), run.out.substr(run.out.find('\n')));
    for (const char* line :
         {"\nvideo frames kept: ", "\naudio bytes kept: ", "\nchunks kept: ",
          "\nleft out: 1 region, ", "\nindex entries written: ", "\nkey flags: "}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    }

    std::ostringstream checkOut;
    std::ostringstream checkErr;
    EXPECT_EQ(RunReportCli({"--check", "--scan", out}, checkOut, checkErr), kExitOk);
    EXPECT_EQ(checkOut.str(), out + ": ok\n");

    const RepairRun json = RunRepair({"--force", "--format", "json", CutSample(), out});
    EXPECT_EQ(json.status, kRepairExitOk);
    EXPECT_EQ(json.out.rfind("{\"status\":\"written\",", 0), 0u) << json.out;
    EXPECT_NE(json.out.find(",\"output_size\":" + std::to_string(size) +
                            ",\"riff_parts\":1,\"second_movie\":null}\n"),
              std::string::npos)
        << json.out;
}

// Two movies joined: the first alone without --split; with it each into a file of its own,
// each the movie as it was (both are whole).
TEST(RepairCliWritten, JoinedMoviesSplitIntoFilesOfTheirOwn) {
    TempDir dir;
    const test::Bytes first = test::BuildSimpleAvi({.frames = 12});
    const test::Bytes second = test::BuildSimpleAvi({.frames = 40, .keyInterval = 4});
    const std::string in = dir.Write("joined.avi", first + second);
    const RepairRun one = RunRepair({in, dir.PathOf("one.avi")});
    EXPECT_EQ(one.status, kRepairExitOk) << one.err;
    EXPECT_NE(
        one.out.find("\nleft out: another movie from byte " + std::to_string(first.size()) + "\n"),
        std::string::npos)
        << one.out;
    EXPECT_TRUE(ReadFileBytes(dir.PathOf("one.avi")) == first);
    EXPECT_FALSE(Exists(dir.PathOf("one.2.avi")));

    const RepairRun split = RunRepair({"--split", "--format=json", in, dir.PathOf("movie.avi")});
    EXPECT_EQ(split.status, kRepairExitOk) << split.err;
    EXPECT_TRUE(ReadFileBytes(dir.PathOf("movie.avi")) == first);
    EXPECT_TRUE(ReadFileBytes(dir.PathOf("movie.2.avi")) == second);
    EXPECT_FALSE(Exists(dir.PathOf("movie.3.avi")));
    EXPECT_NE(split.out.find("\"second_movie\":" + std::to_string(first.size()) + "}\n{"),
              std::string::npos)
        << split.out;
    EXPECT_NE(split.out.find("\"second_movie\":null}\n"), std::string::npos);
}

}  // namespace
}  // namespace plovik
