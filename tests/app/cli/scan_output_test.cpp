// What --scan adds to the batch outputs: the JSON scan object, the CSV columns and the
// check problems, for a whole file and one cut in its movie data.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "plovik/cli.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

std::string Output(const std::vector<std::string>& args, int expectedStatus) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunReportCli(args, out, err), expectedStatus) << err.str();
    return out.str();
}

// The text from key on up to the end of the line it stands in.
std::string From(const std::string& text, const std::string& key, std::size_t line = 0) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < line; ++i) start = text.find('\n', start) + 1;
    const std::size_t at = text.find(key, start);
    if (at == std::string::npos) return "<no " + key + ">";
    return text.substr(at, text.find_first_of("\r\n", at) - at);
}

TEST(ScanOutput, JsonCsvAndCheckOfAWholeAndACutFile) {
    test::TempDir dir;
    // 250 frames (10 s) with 8 bytes of audio each, at 200 bytes a second.
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 250});
    const std::string whole = dir.Write("whole.avi", bytes);
    const std::size_t moviData = bytes.find("movi") + 4;
    const std::string cut = dir.Write("cut.avi", bytes.substr(0, moviData + 100 * 32 + 5));

    const std::string json = Output({"--scan", "--format", "json", whole, cut}, kExitOk);
    EXPECT_EQ(From(json, "\"scan\":", 0),
              R"("scan":{"video_frames":250,"video_frames_expected":250,"empty_frames":0,)"
              R"("audio_bytes":2000,"audio_s":10,"playable_s":10,"damaged_regions":[],)"
              R"("damaged_region_count":0,"damaged_bytes":0,"index_mismatches":0,)"
              R"("interleave":{"interleaved":true,"preload_s":0,"max_audio_lead_s":0,)"
              R"("max_audio_lead_position":0,"max_audio_lag_s":0,"max_audio_lag_position":0},)"
              R"("key_flag_mismatches":null,"packed_bitstream":false,"damaged_frame_count":0,)"
              R"("damaged_frames":[]}})");
    EXPECT_EQ(From(json, "\"scan\":", 1),
              R"("scan":{"video_frames":100,"video_frames_expected":250,"empty_frames":0,)"
              R"("audio_bytes":800,"audio_s":4,"playable_s":4,)"
              R"("damaged_regions":[{"position":3526,"length":5}],)"
              R"("damaged_region_count":1,"damaged_bytes":5,"index_mismatches":null,)"
              R"("interleave":{"interleaved":true,"preload_s":0,"max_audio_lead_s":0,)"
              R"("max_audio_lead_position":0,"max_audio_lag_s":0,"max_audio_lag_position":0},)"
              R"("key_flag_mismatches":null,"packed_bitstream":false,"damaged_frame_count":0,)"
              R"("damaged_frames":[]}})");
    EXPECT_EQ(Output({"--format", "json", whole}, kExitOk).find("\"scan\""), std::string::npos);

    const std::string csv =
        Output({"--scan", "--check", "--format", "csv", whole, cut}, kExitFailureMessage);
    EXPECT_EQ(From(csv, "truncated,", 0),
              "truncated,scan_video_frames,scan_video_frames_expected,scan_empty_frames,"
              "scan_audio_bytes,scan_audio_s,scan_playable_s,scan_damaged_region_count,"
              "scan_damaged_bytes,scan_index_mismatches,scan_interleaved,scan_preload_s,"
              "scan_max_audio_lead_s,scan_max_audio_lag_s,scan_key_flag_mismatches,"
              "scan_packed_bitstream,scan_damaged_frames,audio_vbr,verdict,findings,"
              "video_streams,audio_streams,"
              "video_codecs,audio_codecs");
    EXPECT_EQ(From(csv, "false,250,", 1),
              "false,250,250,0,2000,10,10,0,0,0,true,0,0,0,,false,0,false,ok,,1,1,mpeg4,mp3");
    EXPECT_EQ(From(csv, "true,100,", 2),
              "true,100,250,0,800,4,4,1,5,,true,0,0,0,,false,0,false,damaged,riff.truncated "
              "idx1.missing movi.playable_short,1,1,mpeg4,mp3");

    // The cut chunk at the end is the truncation, not damaged data.
    EXPECT_EQ(Output({"--scan", "--check", whole, cut}, kExitFailureMessage),
              whole + ": ok\n" + cut +
                  ": truncated (12803 bytes missing) [riff.truncated]; no index [idx1.missing]; "
                  "playable 4 of 10 s [movi.playable_short]\n");
}

}  // namespace
}  // namespace plovik
