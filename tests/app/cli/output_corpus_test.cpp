// Every output of plovik-report (text in both encodings, JSON, CSV, check lines; with and
// without --scan) over the real files of tests/data and a set of damaged files, compared
// byte for byte with the outputs recorded in tests/data/outputs. A change that alters any
// of them on purpose records them again: PLOVIK_RECORD_OUTPUTS=1 writes the files anew.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_system.h"
#include "golden_files.h"
#include "plovik/cli.h"
#include "plovik/system_error.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using namespace test;

Bytes Cut(const Bytes& bytes, std::size_t keep) { return bytes.substr(0, keep); }

Bytes WithBytesAt(Bytes bytes, std::size_t at, const Bytes& patch) {
    bytes.replace(at, patch.size(), patch);
    return bytes;
}

Bytes Header(std::uint32_t frames, bool audio) {
    std::vector<Bytes> hdrl{
        Avih({.flags = 0x910, .totalFrames = frames, .streams = audio ? 2u : 1u}),
        List("strl", {Strh({.length = frames}), VideoStrf()})};
    if (audio) {
        hdrl.push_back(
            List("strl", {Strh({.type = "auds", .rate = 16000, .length = 32000, .sampleSize = 1}),
                          AudioStrf({.avgBytesPerSec = 16000})}));
    }
    return List("hdrl", hdrl);
}

// Chunks of stream 0 video and stream 1 audio, n of each, and the index naming them.
struct Movie {
    Bytes movi;
    std::vector<IndexEntry> index;
};
Movie Frames(std::uint32_t n, std::uint32_t offsetShift = 0) {
    Movie m;
    std::vector<Bytes> chunks;
    std::uint32_t offset = 4;
    for (std::uint32_t i = 0; i < n; ++i) {
        chunks.push_back(Chunk("00dc", Bytes(i % 3 == 0 ? 0 : 40 + i, 'v')));
        m.index.push_back({"00dc", i % 4 == 0 ? kKey : 0, offset + offsetShift,
                           static_cast<std::uint32_t>(i % 3 == 0 ? 0 : 40 + i)});
        offset += static_cast<std::uint32_t>(chunks.back().size());
        chunks.push_back(Chunk("01wb", Bytes(640, 'a')));
        m.index.push_back({"01wb", kKey, offset + offsetShift, 640});
        offset += static_cast<std::uint32_t>(chunks.back().size());
    }
    m.movi = List("movi", chunks);
    return m;
}

Bytes WholeFile(const std::string& software = "Plovik test 1.0") {
    const Movie m = Frames(50);
    return Riff("AVI ", {Header(50, true), List("INFO", {Chunk("ISFT", software + '\0')}), m.movi,
                         Idx1(m.index)});
}

// The files the outputs are recorded for: name and bytes.
std::vector<std::pair<std::string, Bytes>> DamagedFiles() {
    const Bytes whole = WholeFile();
    const Movie m = Frames(50);
    const Bytes noIndex = Riff("AVI ", {Header(50, true), m.movi});
    Bytes garbled = whole;
    garbled.replace(whole.find("00dc", whole.find("movi") + 900), 300, Bytes(300, '\x5a'));
    OpenDmlFile odml =
        BuildOpenDmlAvi({.partFrames = {6, 5, 5}, .audio = true, .chunkHeaders = true});
    const Bytes odmlFlat = odml.file.Flat();
    const Bytes oddSoftware =
        Riff("AVI ", {Header(50, true), List("INFO", {ChunkWithSize("ISFT", 3, "abcX")}), m.movi,
                      Idx1(m.index)});
    Movie shorter = Frames(50);
    shorter.index.resize(60);
    return {
        {"whole.avi", whole},
        {"cut_half.avi", Cut(whole, whole.size() / 2)},
        {"cut_before_index.avi", Cut(whole, whole.find("idx1"))},
        {"no_index.avi", noIndex},
        {"short_index.avi", Riff("AVI ", {Header(50, true), m.movi, Idx1(shorter.index)})},
        {"index_off.avi", Riff("AVI ", {Header(50, true), m.movi, Idx1(Frames(50, 1000).index)})},
        {"front_index.avi", Riff("AVI ", {Header(50, true), Idx1(m.index), m.movi})},
        {"garbled.avi", garbled},
        {"software_cp949.avi", WholeFile("\xC7\xD1\xB1\xDB \xC5\xF8 2.0")},
        {"software_odd.avi", oddSoftware},
        {"video_only.avi", BuildSimpleAvi({.frames = 30, .keyInterval = 10, .audio = false})},
        {"simple_front.avi", BuildSimpleAvi({.indexFirst = true})},
        {"opendml.avi", odmlFlat},
        {"opendml_cut.avi", Cut(odmlFlat, static_cast<std::size_t>(odml.frames[13] + 4))},
        {"bad_header.avi", Riff("AVI ", {List("hdrl", {Chunk("JUNK", Zeros(64))})})},
        {"not_avi.avi", "RIFF\x04\0\0\0WAVE"},
        {"empty.avi", ""},
        {"zero_rate.avi",
         WithBytesAt(whole, whole.find("strh") + 8 + 24, Le32(0))},  // video dwRate 0
    };
}

struct Mode {
    std::string name;
    std::vector<std::string> options;
};

const std::vector<Mode>& Modes() {
    static const std::vector<Mode> modes = [] {
        const std::vector<Mode> base{
            {"text", {}},
            {"text-cp949", {"--encoding", "cp949"}},
            {"json", {"--format", "json"}},
            {"json-key-frames", {"--format", "json", "--key-frames"}},
            {"csv", {"--format", "csv"}},
            {"csv-cp949", {"--format", "csv", "--encoding", "cp949"}},
            {"check", {"--check"}},
            {"check-json", {"--check", "--format", "json"}},
            {"check-csv", {"--check", "--format", "csv"}},
        };
        std::vector<Mode> all = base;
        for (Mode mode : base) {
            Mode scan = mode;
            scan.name += "-scan";
            scan.options.push_back("--scan");
            all.push_back(scan);
            if (!mode.name.starts_with("check")) continue;
            mode.name += "-quick";  // the headers and the index only
            mode.options.push_back("--quick");
            all.push_back(mode);
        }
        return all;
    }();
    return modes;
}

// The system's words for a missing file read as the recorded ones (POSIX's), so that the
// outputs compare on Windows too.
std::string WithPosixMissingFileReason(std::string text) {
    const std::string reason = OpenFailureReason("missing.avi");
    const std::string posix = "No such file or directory";
    for (std::size_t at = 0; (at = text.find(reason, at)) != std::string::npos; at += posix.size())
        text.replace(at, reason.size(), posix);
    return text;
}

std::string RunIn(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunReportCli(args, out, err);
    const std::string reasonsAsRecorded = WithPosixMissingFileReason(
        out.str() + "--- stderr\n" + err.str() + "--- exit " + std::to_string(status) + "\n");
    std::filesystem::current_path(before);
    return reasonsAsRecorded;
}

class OutputCorpus : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const GoldenFile& golden : LoadGoldenFiles()) {
            const std::filesystem::path from(golden.aviPath);
            m_names.push_back(from.filename().string());
            m_dir.Write(m_names.back(), ReadFileBytes(golden.aviPath));
        }
        for (const auto& [name, bytes] : DamagedFiles()) {
            m_names.push_back(name);
            m_dir.Write(name, bytes);
        }
        m_names.push_back("missing.avi");
    }

    TempDir m_dir;
    std::vector<std::string> m_names;
};

std::filesystem::path RecordedOutputs() {
    const char* sourceDir = std::getenv("PLOVIK_SOURCE_DIR");
    return std::filesystem::path(sourceDir != nullptr ? sourceDir : "") / "tests/data/outputs";
}

TEST_F(OutputCorpus, EveryFormatAndModeAsRecorded) {
    const std::filesystem::path outputs = RecordedOutputs();
    const bool record = std::getenv("PLOVIK_RECORD_OUTPUTS") != nullptr;
    for (const Mode& mode : Modes()) {
        std::vector<std::string> args = mode.options;
        args.insert(args.end(), {"-j", "1", "--"});
        args.insert(args.end(), m_names.begin(), m_names.end());
        const std::string actual = RunIn(m_dir.path(), args);
        const std::filesystem::path file = outputs / (mode.name + ".txt");
        if (record) {
            std::filesystem::create_directories(outputs);
            std::ofstream(file, std::ios::binary) << actual;
            continue;
        }
        EXPECT_EQ(actual, ReadFileBytes(file.string())) << mode.name;
    }
}

// Four files at once, of very different sizes, give the bytes of one at a time: records,
// diagnostics, summary and exit status, in every format and mode.
TEST_F(OutputCorpus, FourJobsGiveTheBytesOfOne) {
    for (const Mode& mode : Modes()) {
        std::vector<std::string> args = mode.options;
        args.insert(args.end(), {"-j", "4", "--"});
        args.insert(args.end(), m_names.begin(), m_names.end());
        EXPECT_EQ(RunIn(m_dir.path(), args),
                  ReadFileBytes((RecordedOutputs() / (mode.name + ".txt")).string()))
            << mode.name;
    }
}

}  // namespace
}  // namespace plovik
