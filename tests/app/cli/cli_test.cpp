#include "plovik/cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "golden_files.h"
#include "plovik/text_encoding.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using test::TempDir;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunReportCli(args, out, err);
    return {status, out.str(), err.str()};
}

const char* const kOpenFailure = "\n 파일 열기 실패. 파일이 사용중이면 파일을 닫아 주세요.\n";

TEST(CliArguments, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--encoding", "cp949"},  // options but no file
        {"--bogus", "a.avi"},
        {"-x", "a.avi"},
        {"a.avi", "--encoding"},
        {"--encoding", "latin1", "a.avi"},
        {"--encoding=", "a.avi"},
        {"--encodingcp949", "a.avi"},
        {"--format", "xml", "a.avi"},
        {"--format", "json", "--encoding", "cp949", "a.avi"},  // JSON is always UTF-8
        {"--key-frames", "a.avi"},                             // only JSON has the times
        {"--files0-from=list", "a.avi"},
        {"--files0-from="},
        {"-j", "0", "a.avi"},
        {"-j", "-1", "a.avi"},
        {"--jobs=2x", "a.avi"},
        {"--jobs=1025", "a.avi"},
        {"a.avi", "-j"},
        {"--shard", "3/3", "a.avi"},
        {"--shard", "x", "a.avi"},
        {"--shard=1/", "a.avi"},
    };
    for (const auto& args : cases) {
        const CliRun run = RunCli(args);
        const std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(run.status, kExitUsage) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_NE(run.err.find("plovik-report: "), std::string::npos) << shown;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << shown;
    }
    EXPECT_NE(RunCli({"--bogus"}).err.find("unknown option '--bogus'"), std::string::npos);
    EXPECT_NE(RunCli({"--encoding", "latin1", "a"}).err.find("latin1"), std::string::npos);
}

TEST(CliArguments, OptionsAndFiles) {
    CliParseResult parsed = ParseCliArguments({"--encoding", "cp949", "a.avi", "b.avi"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.encoding, OutputEncoding::kCp949);
    EXPECT_EQ(parsed.options.files, (std::vector<std::string>{"a.avi", "b.avi"}));

    parsed = ParseCliArguments({"a.avi", "--encoding=CP949", "--encoding=utf-8"});
    EXPECT_EQ(parsed.options.encoding, OutputEncoding::kUtf8);  // the last one counts
    EXPECT_EQ(parsed.options.files, std::vector<std::string>{"a.avi"});

    // "--" ends the options; "-" is an ordinary file name.
    parsed = ParseCliArguments({"-", "--", "--help", "-x"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.options.showHelp);
    EXPECT_EQ(parsed.options.files, (std::vector<std::string>{"-", "--help", "-x"}));

    EXPECT_EQ(ParseCliArguments({"--"}).error, "missing FILE");

    EXPECT_EQ(ParseCliArguments({"a.avi"}).options.jobs, 0u);  // the usable processors
    EXPECT_EQ(ParseCliArguments({"-j4", "a.avi"}).options.jobs, 4u);
    EXPECT_EQ(ParseCliArguments({"-j", "3", "a.avi"}).options.jobs, 3u);
    EXPECT_EQ(ParseCliArguments({"--jobs=2", "a.avi"}).options.jobs, 2u);
    parsed = ParseCliArguments({"--shard", "2/5", "a.avi"});
    EXPECT_EQ(parsed.options.shard.index, 2u);
    EXPECT_EQ(parsed.options.shard.count, 5u);
}

TEST(CliRun, HelpAndVersionNeedNoFile) {
    const CliRun help = RunCli({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_EQ(help.out.rfind("Usage: plovik-report [OPTION]... FILE...\n", 0), 0u);
    EXPECT_EQ(help.err, "");

    const CliRun version = RunCli({"--version"});
    EXPECT_EQ(version.status, kExitOk);
    EXPECT_EQ(version.out, std::string("plovik-report ") + PLOVIK_VERSION + "\n");
}

TEST(CliRun, FailureMessagesGiveStatusOne) {
    TempDir dir;
    const std::string text = dir.Write("notes.avi", test::Riff("WAVE", {}));
    const CliRun notAvi = RunCli({text});
    EXPECT_EQ(notAvi.status, kExitFailureMessage);
    EXPECT_EQ(notAvi.out, "\n AVI 파일이 아님\n");
    EXPECT_EQ(notAvi.err, "plovik-report: " + text + ": not an AVI file\n");

    // Standard error names the file and gives the system's reason.
    const std::string missingPath = dir.PathOf("missing.avi");
    const CliRun missing = RunCli({missingPath});
    EXPECT_EQ(missing.status, kExitFailureMessage);
    EXPECT_EQ(missing.out, kOpenFailure);
    EXPECT_EQ(missing.err.rfind("plovik-report: " + missingPath + ": ", 0), 0u) << missing.err;
#ifndef _WIN32
    EXPECT_EQ(missing.err, "plovik-report: " + missingPath + ": No such file or directory\n");
#endif

    // "-" names a file like any other word; it does not mean standard input.
    EXPECT_EQ(RunCli({"--", "-"}).out, kOpenFailure);
    EXPECT_EQ(RunCli({""}).out, "\n 먼저 파일을 선택해 주세요.\n");
    EXPECT_EQ(RunCli({""}).status, kExitFailureMessage);
}

TEST(CliRun, ReportsAreSeparatedByOneEmptyLine) {
    TempDir dir;
    const std::string good = dir.Write("clip.avi", test::BuildSimpleAvi());
    const std::string missing = dir.PathOf("missing.avi");
    const std::string goodReport = RunCli({good}).out;
    ASSERT_EQ(goodReport.rfind("파일명 : clip.avi\n", 0), 0u);
    EXPECT_EQ(goodReport.find('\r'), std::string::npos);
    EXPECT_EQ(goodReport.back(), '\n');

    const CliRun two = RunCli({good, good});
    EXPECT_EQ(two.status, kExitOk);
    EXPECT_EQ(two.out, goodReport + "\n" + goodReport);

    const CliRun mixed = RunCli({missing, good});
    EXPECT_EQ(mixed.status, kExitFailureMessage);  // one failure is enough
    EXPECT_EQ(mixed.out, kOpenFailure + ("\n" + goodReport));
}

// Both streams written to one log, as `2>&1` into a file makes them: standard output
// reaches it only when flushed (a buffered C stream), standard error at once.
class LogOutput final : public CliOutput {
  public:
    LogOutput(std::string& log, bool buffered) : m_log(log), m_buffered(buffered) {}
    void Write(std::string_view bytes) override { (m_buffered ? m_pending : m_log).append(bytes); }
    bool Flush() override {
        m_log += m_pending;
        m_pending.clear();
        return true;
    }
    bool Good() const override { return true; }

  private:
    std::string& m_log;
    bool m_buffered;
    std::string m_pending;
};

TEST(CliRun, OneLogOfBothStreamsKeepsTheirOrder) {
    TempDir dir;
    const std::string good = dir.Write("clip.avi", test::BuildSimpleAvi());
    const std::string missing = dir.PathOf("missing.avi");
    const std::string goodReport = RunCli({good}).out;
    std::string log;
    LogOutput out(log, true);
    LogOutput err(log, false);
    RunReportCli({good, missing, good}, CliStreams{.out = out, .err = err});

    ASSERT_EQ(log.rfind(goodReport + "plovik-report: " + missing + ": ", 0), 0u) << log;
    const std::string tail = std::string("\n").append(kOpenFailure).append("\n").append(goodReport);
    ASSERT_GT(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);  // everything written by the end
}

TEST(CliRun, OutputFailureIsNotSuccess) {
    TempDir dir;
    const std::string path = dir.Write("clip.avi", test::BuildSimpleAvi());
    std::ostringstream out;
    std::ostringstream err;
    out.setstate(std::ios::badbit);  // as when standard output is a closed pipe
    EXPECT_EQ(RunReportCli({path}, out, err), kExitFailureMessage);
    EXPECT_EQ(err.str(), "plovik-report: cannot write the report\n");
}

TEST(CliRun, Cp949OutputIsTheSameText) {
    TempDir dir;
    // Authoring text stored in CP949, as older tools wrote it.
    const std::string cp949Tool = Utf8ToCp949("한글 인코더");
    const std::string path = dir.Write("clip.avi", test::BuildSimpleAvi({.software = cp949Tool}));

    const CliRun utf8 = RunCli({path});
    const CliRun cp949 = RunCli({"--encoding", "cp949", path});
    EXPECT_EQ(utf8.status, kExitOk);
    EXPECT_EQ(cp949.status, kExitOk);
    EXPECT_NE(utf8.out.find(": 한글 인코더\n"), std::string::npos);
    EXPECT_EQ(cp949.out, Utf8ToCp949(utf8.out));
    EXPECT_EQ(cp949.out.rfind("\xC6\xC4\xC0\xCF\xB8\xED : clip.avi\n", 0), 0u);  // "파일명"
    EXPECT_NE(cp949.out.find(": " + cp949Tool + "\n"), std::string::npos);
}

TEST(CliRun, Utf8FileNames) {
    TempDir dir;
    const std::string path = dir.Write("한글 클립.avi", test::BuildSimpleAvi());
    const CliRun run = RunCli({path});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out.rfind("파일명 : 한글 클립.avi\n", 0), 0u) << run.out;
}

TEST(CliRun, ScanAddsTheDataCheckSection) {
    TempDir dir;
    const std::string path = dir.Write("clip.avi", test::BuildSimpleAvi());
    const std::string report = RunCli({path}).out;
    const CliRun scanned = RunCli({"--scan", path});
    EXPECT_EQ(scanned.status, kExitOk);
    EXPECT_EQ(scanned.out.substr(0, report.size()), report);
    EXPECT_EQ(scanned.out.substr(report.size()),
              "\n* 데이터 검사\n"
              "    영상 프레임 수     : 10 / 10 (100.0%)\n"
              "    빈 프레임 수       : 0\n"
              "    소리 데이터        : 80 바이트 (0 초)\n"
              "    재생 가능 시간     : 00:00:00 (0 초)\n"
              "    손상 구간          : 없음\n"
              "    손상 프레임        : 없음\n"
              "    인덱스 대조        : 일치\n"
              "    인터리브 상태      : 정상 (선행 0.00초, 소리 앞섬 최대 0.00초, 늦음 최대 "
              "0.00초)\n"
              "    프레임 크기        : 키 2개 평균 8 바이트, 일반 8개 평균 8 바이트\n");
}

TEST(CliRun, GoldenFilesPrintTheirExpectedReports) {
    const std::vector<test::GoldenFile> golden = test::LoadGoldenFiles();
    ASSERT_GE(golden.size(), 4u);
    std::vector<std::string> all;
    std::string allExpected;
    for (const auto& file : golden) {
        SCOPED_TRACE(file.aviPath);
        const CliRun run = RunCli({file.aviPath});
        EXPECT_EQ(run.status, kExitOk);
        EXPECT_EQ(run.out, file.expected);
        all.push_back(file.aviPath);
        allExpected += (allExpected.empty() ? "" : "\n") + file.expected;
    }
    EXPECT_EQ(RunCli(all).out, allExpected);
}

}  // namespace
}  // namespace plovik
