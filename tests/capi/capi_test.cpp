// The C interface against the command-line tools it stands for: the same records and
// summaries, byte for byte, and its own contract (handles, status codes, the stop).
#include "plovik/plovik.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "plovik/cli.h"
#include "plovik/repair_cli.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using test::ReadFileBytes;
using test::TempDir;

std::string DataFile(const std::string& name) {
    const char* root = std::getenv("PLOVIK_SOURCE_DIR");
    return std::string(root != nullptr ? root : ".") + "/tests/data/" + name;
}

std::vector<std::string> DataFiles() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(DataFile(""))) {
        if (entry.path().extension() == ".avi") paths.push_back(entry.path().string());
    }
    EXPECT_FALSE(paths.empty());
    return paths;
}

struct FileCloser {
    void operator()(plovik_file* file) const { plovik_close(file); }
};
using Handle = std::unique_ptr<plovik_file, FileCloser>;

Handle Open(const std::string& path, unsigned flags = 0) {
    plovik_file* file = nullptr;
    EXPECT_EQ(plovik_open(path.c_str(), flags, nullptr, nullptr, &file), PLOVIK_OK)
        << plovik_last_error();
    return Handle(file);
}

std::string Taken(char* text) {
    std::string copy = text != nullptr ? text : "";
    plovik_free(text);
    return copy;
}

std::string Record(plovik_file* file, unsigned flags = 0) {
    char* json = nullptr;
    size_t length = 0;
    EXPECT_EQ(plovik_record(file, flags, &json, &length), PLOVIK_OK) << plovik_last_error();
    std::string record = Taken(json);
    EXPECT_EQ(record.size(), length);
    return record;
}

std::string ReportCli(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    RunReportCli(args, out, err);
    return out.str();
}

TEST(CApiRecord, SameBytesAsTheJsonOfTheCommandLine) {
    struct Case {
        std::vector<std::string> options;
        unsigned openFlags;
        unsigned recordFlags;
    };
    const Case cases[] = {
        {{}, 0, 0},
        {{"--check", "--quick"}, 0, PLOVIK_RECORD_CHECK},
        {{"--check"}, PLOVIK_OPEN_SCAN, PLOVIK_RECORD_CHECK},
        {{"--check", "--scan"}, PLOVIK_OPEN_SCAN, PLOVIK_RECORD_CHECK},
        {{"--scan", "--key-frames"}, PLOVIK_OPEN_SCAN, PLOVIK_RECORD_KEY_FRAMES},
    };
    for (const std::string& path : DataFiles()) {
        for (const Case& c : cases) {
            std::vector<std::string> args = {"--format", "json", "-j", "1"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.push_back(path);
            const Handle file = Open(path, c.openFlags);
            EXPECT_EQ(Record(file.get(), c.recordFlags), ReportCli(args))
                << path << " " << c.options.size();
        }
    }
}

// Bytes in memory behind the read callback; a boastful one claims more than it was asked
// for, a failing one fails at a position (reads end short before it).
struct MemoryBytes {
    std::string bytes;
    std::int64_t extraClaimed = 0;
    std::uint64_t failFrom = UINT64_MAX;

    static std::int64_t Read(void* user, std::uint64_t position, void* buffer, size_t n) {
        const MemoryBytes& self = *static_cast<const MemoryBytes*>(user);
        if (position >= self.failFrom) return -1;
        const size_t got =
            std::min<std::uint64_t>({n, self.bytes.size() - position, self.failFrom - position});
        std::memcpy(buffer, self.bytes.data() + position, got);
        return static_cast<std::int64_t>(got) + self.extraClaimed;
    }
    plovik_reader Reader() { return {this, bytes.size(), &MemoryBytes::Read}; }
};

Handle OpenReader(MemoryBytes& bytes, const std::string& name) {
    const plovik_reader reader = bytes.Reader();
    plovik_file* file = nullptr;
    EXPECT_EQ(plovik_open_reader(&reader, name.c_str(), PLOVIK_OPEN_SCAN, nullptr, nullptr, &file),
              PLOVIK_OK);
    return Handle(file);
}

TEST(CApiReader, GivesTheRecordOfTheFileItReads) {
    for (const std::string& path : DataFiles()) {
        const std::string expected =
            Record(Open(path, PLOVIK_OPEN_SCAN).get(), PLOVIK_RECORD_CHECK);
        for (const std::int64_t extra : {0, 1000}) {
            MemoryBytes bytes{ReadFileBytes(path), extra};
            EXPECT_EQ(Record(OpenReader(bytes, path).get(), PLOVIK_RECORD_CHECK), expected)
                << path << " claiming " << extra << " bytes more";
        }
    }
}

TEST(CApiReader, AFailingReadMakesTheFileUnreadable) {
    MemoryBytes bytes{ReadFileBytes(DataFile("mjpeg_pcm.avi"))};
    bytes.failFrom = bytes.bytes.size() / 2;
    const Handle file = OpenReader(bytes, "half.avi");
    const char* reason = nullptr;
    EXPECT_EQ(plovik_file_failure(file.get(), &reason), PLOVIK_ERROR_READ);
    EXPECT_NE(std::string(reason).find("the read callback failed"), std::string::npos) << reason;
    plovik_verdict verdict = PLOVIK_VERDICT_OK;
    ASSERT_EQ(plovik_verdict_of(file.get(), &verdict), PLOVIK_OK);
    EXPECT_EQ(verdict, PLOVIK_VERDICT_UNREADABLE);
}

TEST(CApiOpen, FilesThatGiveOnlyAMessageStillGiveTheirRecord) {
    TempDir dir;
    const struct {
        std::string path;
        plovik_status failure;
        std::string status;
    } cases[] = {
        {dir.PathOf("missing.avi"), PLOVIK_ERROR_OPEN, "\"status\":\"open_failed\""},
        {dir.Write("text.avi", "not a movie at all"), PLOVIK_ERROR_NOT_AVI,
         "\"status\":\"not_avi\""},
    };
    for (const auto& c : cases) {
        const Handle file = Open(c.path);
        const char* reason = nullptr;
        EXPECT_EQ(plovik_file_failure(file.get(), &reason), c.failure) << c.path;
        EXPECT_STRNE(reason, "");
        const std::string record = Record(file.get(), PLOVIK_RECORD_CHECK);
        EXPECT_NE(record.find(c.status), std::string::npos) << record;
        EXPECT_NE(record.find("\"verdict\":\"unreadable\""), std::string::npos) << record;
    }
    EXPECT_EQ(plovik_file_failure(Open(DataFile("mjpeg_pcm.avi")).get(), nullptr), PLOVIK_OK);
}

TEST(CApiOpen, BadArgumentsFailWithAMessageAndNoHandle) {
    const plovik_reader noCallback{nullptr, 10, nullptr};
    const std::string path = DataFile("mjpeg_pcm.avi");
    plovik_file* file = reinterpret_cast<plovik_file*>(1);
    EXPECT_EQ(plovik_open(nullptr, 0, nullptr, nullptr, &file), PLOVIK_ERROR_ARGUMENT);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(plovik_open("", 0, nullptr, nullptr, &file), PLOVIK_ERROR_ARGUMENT);
    EXPECT_EQ(plovik_open(path.c_str(), 0x80, nullptr, nullptr, &file), PLOVIK_ERROR_ARGUMENT);
    EXPECT_STRNE(plovik_last_error(), "");
    EXPECT_EQ(plovik_open(path.c_str(), 0, nullptr, nullptr, nullptr), PLOVIK_ERROR_ARGUMENT);
    EXPECT_EQ(plovik_open_reader(&noCallback, "x", 0, nullptr, nullptr, &file),
              PLOVIK_ERROR_ARGUMENT);
    EXPECT_EQ(file, nullptr);
    char* json = nullptr;
    EXPECT_EQ(plovik_record(Open(path).get(), 0x80, &json, nullptr), PLOVIK_ERROR_ARGUMENT);
    EXPECT_EQ(json, nullptr);
}

// Stops at its first call: the scan ends at its next step (16 MiB further on).
int StopAtOnce(void* calls, std::uint64_t, std::uint64_t) {
    ++*static_cast<int*>(calls);
    return 1;
}

TEST(CApiScan, AProgressCallbackThatAsksToStopEndsTheScan) {
    TempDir dir;
    const std::string path = dir.PathOf("long.avi");
    test::BuildOpenDmlAvi({.partFrames = {20}, .frameBytes = 2u << 20, .chunkHeaders = true})
        .file.WriteTo(path);
    int calls = 0;
    plovik_file* file = reinterpret_cast<plovik_file*>(1);
    EXPECT_EQ(plovik_open(path.c_str(), PLOVIK_OPEN_SCAN, StopAtOnce, &calls, &file),
              PLOVIK_ERROR_STOPPED);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(calls, 1);
    // Without the scan nobody is asked.
    EXPECT_EQ(plovik_open(path.c_str(), 0, StopAtOnce, &calls, &file), PLOVIK_OK);
    plovik_close(file);
    EXPECT_EQ(calls, 1);
}

TEST(CApiCheck, VerdictAndFindingsAreTheRecordsOnes) {
    const Handle file = Open(DataFile("msmpeg4v2_cut.avi"), PLOVIK_OPEN_SCAN);
    plovik_verdict verdict = PLOVIK_VERDICT_OK;
    size_t count = 0;
    ASSERT_EQ(plovik_verdict_of(file.get(), &verdict), PLOVIK_OK);
    ASSERT_EQ(plovik_finding_count(file.get(), &count), PLOVIK_OK);
    EXPECT_EQ(verdict, PLOVIK_VERDICT_DAMAGED);
    const std::string record = Record(file.get(), PLOVIK_RECORD_CHECK);
    ASSERT_GT(count, 0u);
    for (size_t i = 0; i < count; ++i) {
        plovik_finding f{};
        ASSERT_EQ(plovik_finding_at(file.get(), i, &f), PLOVIK_OK);
        const std::string severity[] = {"error", "warning", "info"};
        std::string expected =
            "{\"rule\":\"" + std::string(f.rule) + "\",\"severity\":\"" + severity[f.severity] +
            "\",\"position\":" + (f.has_position ? std::to_string(f.position) : "null") +
            ",\"length\":" + (f.has_length ? std::to_string(f.length) : "null");
        EXPECT_NE(record.find(expected), std::string::npos) << expected << "\n" << record;
        EXPECT_NE(record.find(f.message), std::string::npos) << f.message;
    }
    plovik_finding none{};
    EXPECT_EQ(plovik_finding_at(file.get(), count, &none), PLOVIK_ERROR_ARGUMENT);
}

struct Repair {
    plovik_status status;
    std::string summary;
};

Repair RunRepair(const std::string& in, const std::string& out, unsigned flags,
                 plovik_progress_fn progress = nullptr, void* user = nullptr,
                 const char* reference = nullptr) {
    char* summary = nullptr;
    const plovik_status status =
        plovik_repair(in.c_str(), out.c_str(), reference, flags, progress, user, &summary, nullptr);
    return {status, Taken(summary)};
}

std::string RepairCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    RunRepairCli(args, out, err);
    return out.str();
}

TEST(CApiRepair, SummariesAreThoseOfTheCommandLine) {
    TempDir dir;
    const std::string in = DataFile("msmpeg4v2_cut.avi");
    const std::string out = dir.PathOf("fixed.avi");
    const Repair planned = RunRepair(in, out, PLOVIK_REPAIR_DRY_RUN);
    EXPECT_EQ(planned.status, PLOVIK_OK);
    EXPECT_EQ(planned.summary, RepairCli({"--dry-run", "--format", "json", in, out}));
    EXPECT_FALSE(std::filesystem::exists(out));

    const Repair written = RunRepair(in, out, 0);
    EXPECT_EQ(written.status, PLOVIK_OK) << plovik_last_error();
    EXPECT_NE(written.summary.find("\"status\":\"written\""), std::string::npos);
    plovik_verdict verdict = PLOVIK_VERDICT_UNREADABLE;
    ASSERT_EQ(plovik_verdict_of(Open(out, PLOVIK_OPEN_SCAN).get(), &verdict), PLOVIK_OK);
    EXPECT_EQ(verdict, PLOVIK_VERDICT_OK);

    const Repair again = RunRepair(in, out, 0);
    EXPECT_EQ(again.status, PLOVIK_ERROR_REFUSED);
    EXPECT_NE(again.summary.find("\"status\":\"refused\""), std::string::npos);
    EXPECT_EQ(RunRepair(in, out, PLOVIK_REPAIR_FORCE).status, PLOVIK_OK);
    EXPECT_EQ(RunRepair(dir.Write("text.avi", "no movie"), dir.PathOf("x.avi"), 0).status,
              PLOVIK_ERROR_NOT_REPAIRABLE);
}

TEST(CApiRepair, StoppedOrRefusedRepairsLeaveNothing) {
    TempDir dir;
    const std::string in = DataFile("msmpeg4v2_cut.avi");
    const std::string out = dir.PathOf("fixed.avi");
    int calls = 0;
    const Repair stopped = RunRepair(in, out, 0, StopAtOnce, &calls);
    EXPECT_EQ(stopped.status, PLOVIK_ERROR_STOPPED);
    EXPECT_NE(stopped.summary.find("\"status\":\"stopped\""), std::string::npos);
    // A reference that cannot be read rebuilds nothing.
    const std::string lost = dir.Write("lost.avi", "RIFX" + ReadFileBytes(in).substr(4));
    const std::string missing = dir.PathOf("missing.avi");
    const Repair referenced = RunRepair(lost, out, 0, nullptr, nullptr, missing.c_str());
    EXPECT_EQ(referenced.status, PLOVIK_ERROR_NOT_REPAIRABLE);
    EXPECT_NE(referenced.summary.find("cannot open the reference"), std::string::npos);
    std::filesystem::remove(lost);
    EXPECT_EQ(RunRepair(in, out, 0x80).status, PLOVIK_ERROR_ARGUMENT);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace plovik
