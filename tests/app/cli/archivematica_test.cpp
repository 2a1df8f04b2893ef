// --check --format archivematica: one Python-literal dictionary for the one file, exit
// status 0 whatever its outcome.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "plovik/cli.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

struct Answered {
    int status;
    std::string out;
};

Answered Answer(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunReportCli(args, out, err);
    return {status, out.str()};
}

Answered Validate(const std::string& path) {
    return Answer({"--check", "--scan", "--format", "archivematica", path});
}

TEST(ArchivematicaFormat, EachVerdictHasItsOutcomeAndTheExitStatusIsZero) {
    test::TempDir dir;
    const std::string good = test::BuildSimpleAvi({.frames = 10});
    const Answered ok = Validate(dir.Write("ok.avi", good));
    EXPECT_EQ(ok.status, kExitOk);
    // The path as a Python string: on Windows its backslashes are escaped.
    EXPECT_TRUE(
        ok.out.starts_with("{'eventOutcomeInformation': 'pass', 'eventOutcomeDetailNote': '"))
        << ok.out;
    EXPECT_TRUE(ok.out.ends_with("ok.avi: ok', 'stdout': ''}\n")) << ok.out;

    const Answered warned = Validate(dir.Write("tail.avi", good + "trailing bytes"));
    EXPECT_EQ(warned.status, kExitOk);
    EXPECT_TRUE(warned.out.starts_with("{'eventOutcomeInformation': 'partial pass', "))
        << warned.out;
    EXPECT_NE(warned.out.find("'stdout': 'warning riff.trailing_data: "), std::string::npos)
        << warned.out;

    const Answered cut = Validate(dir.Write("cut.avi", good.substr(0, good.size() - 100)));
    EXPECT_EQ(cut.status, kExitOk);
    EXPECT_TRUE(cut.out.starts_with("{'eventOutcomeInformation': 'fail', ")) << cut.out;

    const Answered missing = Validate(dir.PathOf("missing.avi"));
    EXPECT_EQ(missing.status, kExitOk);
    EXPECT_NE(missing.out.find("'stdout': 'error file.open_failed: cannot open ("),
              std::string::npos)
        << missing.out;
}

#ifndef _WIN32  // no line break or backslash in a Windows name
TEST(ArchivematicaFormat, QuotesBackslashesAndLineBreaksAreEscaped) {
    test::TempDir dir;
    const std::string path = dir.Write("it's \\ a\nb.avi", "no movie");
    const std::string shown = dir.PathOf("it\\'s \\\\\\\\ a\\\\nb.avi");
    EXPECT_EQ(Validate(path).out,
              "{'eventOutcomeInformation': 'fail', 'eventOutcomeDetailNote': '\\\\" + shown +
                  ": not an AVI file [file.not_avi]', 'stdout': 'error file.not_avi: not an AVI "
                  "file'}\n");
}

#endif

TEST(ArchivematicaFormat, AnswersForOneFileOnly) {
    test::TempDir dir;
    const std::string file = dir.Write("ok.avi", test::BuildSimpleAvi({}));
    const std::vector<std::vector<std::string>> refused = {
        {"--check", "--format", "archivematica", dir.path().string()},
        {"--check", "--format", "archivematica", file, file},
        {"--check", "--format", "archivematica", "--files0-from=-"},
        {"--format", "archivematica", file},
        {"--check", "--format", "archivematica", "--encoding", "cp949", file},
    };
    for (const std::vector<std::string>& args : refused) {
        const Answered run = Answer(args);
        EXPECT_EQ(run.status, kExitUsage) << args.back();
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
}  // namespace plovik
