// The batch outputs of plovik-report: JSON Lines, CSV, check lines, folders and name lists.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "golden_files.h"
#include "plovik/cli.h"
#include "plovik/file_facts.h"
#include "plovik/text_encoding.h"
#include "support/avi_writer.h"
#include "support/media.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace plovik {
namespace {

using test::TempDir;

struct BatchRun {
    int status;
    std::string out;
    std::string err;
};

BatchRun RunBatch(const std::vector<std::string>& args, const std::string& input = "") {
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in(input);
    StreamOutput outStream(out);
    StreamOutput errStream(err);
    StreamInput inStream(in);
    const int status =
        RunReportCli(args, CliStreams{.out = outStream, .err = errStream, .in = &inStream});
    return {status, out.str(), err.str()};
}

// The lines of text, each without its end; the text ends in one.
std::vector<std::string> Lines(std::string_view text, std::string_view end = "\n") {
    std::vector<std::string> lines;
    for (std::size_t at; (at = text.find(end)) != std::string_view::npos;) {
        lines.emplace_back(text.substr(0, at));
        text.remove_prefix(at + end.size());
    }
    if (!text.empty()) lines.emplace_back(text);
    return lines;
}

// "text" (GCC 12 warns wrongly about the plain '"' + text + '"').
std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text);
    quoted += '"';
    return quoted;
}

// The raw text of a value in one compact JSON line; "video.width" looks inside "video":{}.
std::string JsonValue(const std::string& line, const std::string& name) {
    std::string_view scope = line;
    std::string key = name;
    if (const auto dot = name.find('.'); dot != std::string::npos) {
        const std::string open = Quoted(name.substr(0, dot)) + ":{";
        const auto begin = line.find(open);
        if (begin == std::string::npos) return "<no " + name + ">";
        scope = scope.substr(begin + open.size());
        scope = scope.substr(0, scope.find('}'));
        key = name.substr(dot + 1);
    }
    const std::string quoted = Quoted(key) + ":";
    const auto at = scope.find(quoted);
    if (at == std::string::npos) return "<no " + name + ">";
    std::string_view value = scope.substr(at + quoted.size());
    if (value.starts_with('"')) {  // up to the closing quote, with \" and \\ undone
        std::string text;
        for (std::size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
            if (value[i] == '\\') ++i;
            text += value[i];
        }
        return text;
    }
    return std::string(value.substr(0, value.find_first_of(",}]")));
}

// A path inside dir with the system's separators, as the folder walk writes it.
std::string Native(const TempDir& dir, const std::string& relative) {
    const std::u8string text =
        std::filesystem::path(std::u8string(relative.begin(), relative.end()))
            .make_preferred()
            .u8string();
    return dir.PathOf(std::string(text.begin(), text.end()));
}

TEST(JsonRecords, EdgeFiles) {
    TempDir dir;
    // Handler bytes that are not printable, and authoring text in CP949 with a quote
    // and a line break; a video rate of 0 has no duration.
    const std::string odd = dir.Write(
        "odd.avi",
        test::Riff(
            "AVI ",
            {test::List("hdrl",
                        {test::Avih({.flags = 0}),
                         test::List("strl", {test::Strh({.handler = "H\x01\xFFZ", .rate = 0}),
                                             test::VideoStrf()})}),
             test::List("INFO", {test::Chunk("ISFT", Utf8ToCp949("say \"한글\"\n") + '\0')}),
             test::List("movi", {})}));
    const std::string notAvi = dir.Write("notes.avi", test::Riff("WAVE", {}));
    const std::string noHeader = dir.Write("cut.avi", test::Riff("AVI ", {test::List("hdrl", {})}));
    const std::string keys = dir.Write("keys.avi", test::BuildSimpleAvi({.audio = false}));
    const BatchRun run = RunBatch(
        {"--format", "json", "--key-frames", odd, dir.PathOf("gone.avi"), notAvi, noHeader, keys});
    EXPECT_EQ(run.status, kExitFailureMessage);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 5u);
    for (const std::string& line : lines) EXPECT_TRUE(IsValidUtf8(line)) << line;

    EXPECT_NE(lines[0].find(R"("software":"say \"한글\"\n")"), std::string::npos) << lines[0];
    EXPECT_EQ(JsonValue(lines[0], "video.handler"), "H[1][255]Z");
    EXPECT_EQ(JsonValue(lines[0], "duration_s"), "null");
    EXPECT_EQ(JsonValue(lines[0], "audio"), "null");
    EXPECT_EQ(JsonValue(lines[0], "index.kind"), "null");
    EXPECT_EQ(JsonValue(lines[0], "index.position"), "null");
    EXPECT_EQ(JsonValue(lines[0], "key_frame_times_s"), "[");  // an empty list

    // A file that gave only a message has the fields it got to, and its status.
    EXPECT_EQ(JsonValue(lines[1], "path"), dir.PathOf("gone.avi"));
    EXPECT_TRUE(
        lines[1].ends_with(R"(","file_name":"gone.avi","status":"open_failed","error_code":2})"))
        << lines[1];
    EXPECT_EQ(JsonValue(lines[2], "status"), "not_avi");
    EXPECT_EQ(JsonValue(lines[2], "file_size"), "12");
    EXPECT_EQ(JsonValue(lines[2], "riff_size"), "<no riff_size>");
    EXPECT_EQ(JsonValue(lines[3], "status"), "header_failed");
    EXPECT_EQ(JsonValue(lines[3], "riff_parts"), "1");
    EXPECT_EQ(JsonValue(lines[3], "video"), "<no video>");

    EXPECT_EQ(JsonValue(lines[4], "index.kind"), "idx1");
    EXPECT_NE(lines[4].find(R"("key_frame_times_s":[0,0.19999999999999998])"), std::string::npos)
        << lines[4];
}

// Every stream is in the record, not only the last of each kind.
TEST(JsonRecords, EveryStreamOfATwoTrackFile) {
    const std::string twoTracks = test::MediaFile("ff_mpeg4_ac3_mp3.avi");
    if (twoTracks.empty()) GTEST_SKIP() << "no corpus file";
    const std::string line = RunBatch({"--format", "json", "--scan", twoTracks}).out;
    EXPECT_NE(line.find(R"("index":1,"type":"audio","codec":"ac3",)"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("index":2,"type":"audio","codec":"mp3","fourcc":null,"format_tag":85,)"),
              std::string::npos)
        << line;
    EXPECT_EQ(JsonValue(line, "audio.codec"), "mp3");  // the report's: the last one
}

// Names with commas, quotes and line breaks stay one cell (names Windows allows, there).
TEST(CsvRecords, QuoteCellsAndKeepTheColumns) {
    TempDir dir;
#ifdef _WIN32
    const std::string name = "a, b.avi";
    const std::string quoted = Quoted(dir.PathOf(name));
#else
    const std::string name = "a, \"b\"\nc.avi";
    const std::string quoted = Quoted(dir.PathOf("a, \"\"b\"\"\nc.avi"));
#endif
    const std::string good = dir.Write(name, test::BuildSimpleAvi());
    const std::string cut = test::BuildSimpleAvi();
    const std::string damaged = dir.Write("cut.avi", cut.substr(0, cut.size() - 20));
    const BatchRun run =
        RunBatch({"--format", "csv", "--check", "--quick", good, damaged, dir.PathOf("gone.avi")});
    EXPECT_EQ(run.out.back(), '\n');
    const std::vector<std::string> rows = Lines(run.out, "\r\n");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].rfind("path,status,file_size,data_size,duration_s,video_handler,", 0), 0u);
    EXPECT_EQ(rows[1], quoted +
                           ",ok,974,966,0.4,DIVX,DivX MPEG-4 V4.x,640,480,25,85,2,44100,"
                           "true,10,2,false,false,false,ok,,1,1,mpeg4,mp3");
    EXPECT_EQ(rows[2], damaged +
                           ",index_failed,954,966,0.4,DIVX,DivX MPEG-4 V4.x,640,480,25,85,2,44100,"
                           "false,10,2,false,false,true,damaged,riff.truncated index.damaged,"
                           "1,1,mpeg4,mp3");
    EXPECT_EQ(rows[3], dir.PathOf("gone.avi") +
                           ",open_failed,,,,,,,,,,,,,,,,,,unreadable,file.open_failed,,,,");

    // Korean spreadsheets open CP949 as it is.
    const std::string korean = dir.Write("한글.avi", test::BuildSimpleAvi());
    const std::string utf8 = RunBatch({"--format", "csv", korean}).out;
    EXPECT_NE(utf8.find("한글.avi"), std::string::npos);
    EXPECT_EQ(RunBatch({"--format", "csv", "--encoding", "cp949", korean}).out, Utf8ToCp949(utf8));
}

TEST(CheckMode, LinesSummaryAndExitStatus) {
    TempDir dir;
    const std::string good = dir.Write("good.avi", test::BuildSimpleAvi());
    const std::string full = test::BuildSimpleAvi();
    const std::string cut = dir.Write("cut.avi", full.substr(0, full.size() - 20));
    const std::string noIndex =
        dir.Write("noindex.avi", test::Riff("AVI ", {test::List("hdrl", {test::Avih({})})}));
    const std::string text = dir.Write("text.avi", "plain text");

    const BatchRun ok = RunBatch({"--check", good});
    EXPECT_EQ(ok.status, kExitOk);
    EXPECT_EQ(ok.out, good + ": ok\n");
    EXPECT_EQ(ok.err, "");  // no summary for one file
    EXPECT_EQ(RunBatch({"--check", "--quick", good}).out, good + ": ok (movie data not read)\n");

    // Quick: the headers and the index only.
    const BatchRun mixed =
        RunBatch({"--check", "--quick", good, cut, noIndex, text, dir.PathOf("gone.avi")});
    EXPECT_EQ(mixed.status, kExitFailureMessage);
    const std::vector<std::string> lines = Lines(mixed.out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], cut +
                            ": truncated (20 bytes missing) [riff.truncated]; index damaged (9 "
                            "of 10 frames indexed) [index.damaged]");
    EXPECT_EQ(lines[2], noIndex +
                            ": dwStreams is 1, the header list has 0 stream lists [avih.streams]; "
                            "no index [idx1.missing]");
    EXPECT_EQ(lines[3], text + ": not an AVI file [file.not_avi]");
    EXPECT_EQ(lines[4].rfind(dir.PathOf("gone.avi") + ": cannot open (", 0), 0u);
    EXPECT_EQ(Lines(mixed.err).back(),
              "5 files: 1 ok, 0 with warnings, 2 damaged, 2 unreadable; movie data not read "
              "(--quick)");
    EXPECT_EQ(Lines(RunBatch({"--check", noIndex}).out)[0],
              noIndex +
                  ": dwStreams is 1, the header list has 0 stream lists [avih.streams]; "
                  "no index [idx1.missing]; no stream data [movi.no_data]");

    const BatchRun json = RunBatch({"--check", "--quick", "--format", "json", cut});
    EXPECT_NE(json.out.find(R"x("verdict":"damaged","data_checked":false,"findings":[{"rule":)x"
                            R"x("riff.truncated","severity":"error","position":954,"length":20,)x"
                            R"x("message":"truncated (20 bytes missing)"})x"),
              std::string::npos);

    // Warnings pass unless --strict; an empty folder fails in every mode.
    const std::string warned =
        dir.Write("warned.avi", test::BuildSimpleAvi({.microSecPerFrame = 50000}));
    EXPECT_EQ(RunBatch({"--check", warned}).status, kExitOk);
    EXPECT_EQ(RunBatch({"--check", "--strict", warned}).status, kExitFailureMessage);
    const std::string empty = dir.PathOf("empty");
    std::filesystem::create_directory(empty);
    for (const char* mode : {"--check", "--scan"}) {
        const BatchRun none = RunBatch({mode, empty});
        EXPECT_EQ(none.status, kExitFailureMessage);
        EXPECT_EQ(none.err, "plovik-report: " + empty + ": no AVI files\n");
        EXPECT_EQ(none.out, "");
    }
}

// On a terminal the progress line shows once the run has lasted a second, then at most
// every 100 ms, and makes way for the summary; elsewhere it never shows. Each reading of
// the clock is 600 ms after the last.
TEST(CheckMode, ProgressLineOnATerminalOnly) {
    using namespace std::chrono_literals;
    TempDir dir;
    const std::string clip = dir.Write("clip.avi", test::BuildSimpleAvi());
    const std::string summary =
        "3 files: 3 ok, 0 with warnings, 0 damaged, 0 unreadable; movie data not read "
        "(--quick)\n";
    for (const bool terminal : {true, false}) {
        SCOPED_TRACE(terminal);
        std::chrono::steady_clock::time_point now{};
        std::ostringstream out;
        std::ostringstream err;
        StreamOutput outStream(out);
        StreamOutput errStream(err);
        RunReportCli(
            {"-j", "1", "--check", "--quick", clip, clip, clip},
            CliStreams{.out = outStream, .err = errStream, .errIsTerminal = terminal, .clock = [&] {
                           return now += 600ms;
                       }});
        EXPECT_EQ(err.str(), terminal ? "\r2/3 files\r3/3 files\r         \r" + summary : summary);
    }
}

TEST(CheckMode, RuleListForPeopleAndScripts) {
    const BatchRun text = RunBatch({"--list-rules"});
    EXPECT_EQ(text.status, kExitOk);
    EXPECT_EQ(Lines(text.out).size(), Rules().size());
    EXPECT_EQ(Lines(text.out)[0].rfind("read.failed\terror\t", 0), 0u);
    const BatchRun json = RunBatch({"--list-rules", "--format", "json"});
    EXPECT_EQ(json.out.rfind(R"({"id":"read.failed","severity":"error","summary":")", 0), 0u);
    EXPECT_EQ(RunBatch({"--list-rules", "x.avi"}).status, kExitUsage);
    EXPECT_EQ(RunBatch({"--strict", "x.avi"}).status, kExitUsage);
}

TEST(FolderWalk, AviFilesOfATreeSortedWithoutFollowingLinks) {
    TempDir dir;
    namespace fs = std::filesystem;
    const std::string avi = test::BuildSimpleAvi();
    fs::create_directories(dir.path() / u8"한글 폴더" / "deep");
    fs::create_directories(dir.path() / "folder.avi");
    dir.Write("b.AVI", avi);
    dir.Write("a.Avi", avi);
    dir.Write("notes.txt", "not listed");
    dir.Write("clip.avi.bak", "not listed");
    dir.Write("한글 폴더/클립.avi", avi);
    dir.Write("한글 폴더/deep/z.avi", avi);
    dir.Write("folder.avi/inner.avi", avi);
    const std::string named = dir.Write("named.bin", avi);  // named on its own: analysed
    std::vector<std::string> expected = {
        Native(dir, "a.Avi"), Native(dir, "b.AVI"), Native(dir, "folder.avi/inner.avi"),
        Native(dir, "한글 폴더/deep/z.avi"), Native(dir, "한글 폴더/클립.avi")};
    int wantedStatus = kExitOk;
#ifndef _WIN32
    // Links to folders are never followed; a link that points at itself and a FIFO
    // are listed, fail to open with their reasons, and do not stop the run.
    fs::create_directory_symlink(dir.path(), dir.path() / "한글 폴더" / "up");
    fs::create_directory_symlink(dir.path() / "한글 폴더" / "deep", dir.path() / "linked");
    fs::create_symlink("self.avi", dir.path() / "self.avi");
    ASSERT_EQ(::mkfifo(dir.PathOf("pipe.avi").c_str(), 0600), 0);
    expected.insert(expected.begin() + 3, {dir.PathOf("pipe.avi"), dir.PathOf("self.avi")});
    wantedStatus = kExitFailureMessage;
#endif
    expected.push_back(named);

    const BatchRun run = RunBatch({"--check", dir.PathOf(""), named});
    EXPECT_EQ(run.status, wantedStatus) << run.err;
    std::vector<std::string> checked;
    for (const std::string& line : Lines(run.out))
        checked.push_back(line.substr(0, line.rfind(": ")));
    EXPECT_EQ(checked, expected);
#ifndef _WIN32
    EXPECT_NE(run.err.find(dir.PathOf("pipe.avi") + ": not a regular file\n"), std::string::npos);
    EXPECT_NE(run.err.find(dir.PathOf("self.avi") + ": Too many levels of symbolic links\n"),
              std::string::npos);
#endif
}

TEST(NameList, NulSeparatedNamesFromInputOrFile) {
    TempDir dir;
    const std::string avi = test::BuildSimpleAvi();
    const std::string blank = dir.Write("with blank.avi", avi);
#ifdef _WIN32
    const std::string odd = dir.Write("한글.avi", avi);
#else
    const std::string odd = dir.Write("line\nbreak.avi", avi);
#endif
    const std::string names = blank + '\0' + odd + '\0';
    const BatchRun fromInput = RunBatch({"--check", "--files0-from=-"}, names);
    EXPECT_EQ(fromInput.status, kExitOk) << fromInput.err;
#ifdef _WIN32
    EXPECT_EQ(fromInput.out, blank + ": ok\n" + odd + ": ok\n");
#else
    // A line break in a name is escaped, and the line marked, so that one file is one line.
    EXPECT_EQ(fromInput.out, blank + ": ok\n\\" + dir.PathOf("line\\nbreak.avi") + ": ok\n");
    const std::string slash = dir.Write("back\\slash.avi", avi);
    const std::string escaped = dir.PathOf("back\\\\slash.avi");
    EXPECT_EQ(RunBatch({"--check", slash}).out, std::string(1, '\\') + escaped + ": ok\n");
#endif

    const std::string list = dir.Write("list", blank + '\0' + odd);  // no final NUL
    EXPECT_EQ(RunBatch({"--check", "--files0-from", list}).out, fromInput.out);

    const BatchRun empty = RunBatch({"--files0-from=-"}, blank + '\0' + '\0' + odd);
    EXPECT_EQ(empty.status, kExitUsage);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "plovik-report: -:2: invalid zero-length file name\n");
    EXPECT_EQ(RunBatch({"--files0-from", dir.PathOf("missing")}).status, kExitUsage);
}

// Shard I of N holds the records at places I, I+N, ... of the whole run's, so that the
// shards together are the run; the list counts a folder that failed to open.
TEST(Shards, TogetherTheRecordsOfOneRun) {
    TempDir dir;
    const std::string avi = test::BuildSimpleAvi();
    for (const char* name : {"a.avi", "b/c.avi", "b/d.avi", "e.avi", "f/g.avi", "h.avi", "i.avi"}) {
        std::filesystem::create_directories((dir.path() / name).parent_path());
        dir.Write(name, avi);
    }
    const std::vector<std::string> all =
        Lines(RunBatch({"--format", "json", dir.PathOf(""), dir.PathOf("gone")}).out);
    ASSERT_EQ(all.size(), 8u);
    for (unsigned shard = 0; shard < 3; ++shard) {
        const std::string option = std::to_string(shard) + "/3";
        const BatchRun run =
            RunBatch({"--format", "json", "--shard", option, dir.PathOf(""), dir.PathOf("gone")});
        std::vector<std::string> expected;
        for (std::size_t i = shard; i < all.size(); i += 3) expected.push_back(all[i]);
        EXPECT_EQ(Lines(run.out), expected) << option;
    }
}

}  // namespace
}  // namespace plovik
