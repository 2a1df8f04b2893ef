// The header list of a file whose headers are lost: inferred from the first frames' own
// headers, or taken from a reference file (or the file's own list) and checked against them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plovik/codec_family.h"
#include "plovik/movie_scan.h"
#include "plovik/repair_summary.h"
#include "plovik/stream_probe.h"

namespace plovik {

// What the first frames of each stream tell of it: the video stream's first key frame
// (else its first frame a family reads), the audio's first chunk a family reads.
class DataProbe final : public ScanObserver {
  public:
    std::size_t HeadBytes() const override { return kHeadBytes; }
    void Chunk(const SCANCHUNK& chunk) override;

    std::array<std::optional<ProbedVideo>, kMaxStreamLists> video;
    std::array<std::optional<ProbedAudio>, kMaxStreamLists> audio;
    // MPEG-4 Part 2: the times of the first frames from the key frame probed, for their rate.
    std::array<std::vector<VopTime>, kMaxStreamLists> vopTimes;
    // The first video key frame's chunk: a copy begins there, the frames before it lack
    // what they refer to.
    std::optional<std::uint64_t> firstKey;

  private:
    static constexpr std::size_t kHeadBytes = 64u << 10;  // a DV frame's header, a JPEG's SOF
    static constexpr std::uint32_t kAudioTries = 16;      // chunks that may open mid-frame
    static constexpr std::size_t kVopTimes = 50;          // two seconds at 25 a second
    void AddVopTime(std::size_t s, std::span<const std::uint8_t> frame);
    std::array<std::uint32_t, kMaxStreamLists> m_audioTries{};
};

struct RebuiltHeaders {
    std::string list;  // the header list with its "LIST" header
    std::vector<RebuiltField> fields;
    int videoStream = -1;  // the first video stream, and its frames' family
    VideoFamily videoFamily = VideoFamily::kUnknown;
};

// The first key frame of a video stream whose family tells frame types, by its bytes.
class KeyFrameFinder final : public ScanObserver {
  public:
    KeyFrameFinder(int stream, VideoFamily family) : m_stream(stream), m_family(family) {}
    std::size_t HeadBytes() const override;
    void Chunk(const SCANCHUNK& chunk) override;

    std::optional<std::uint64_t> first;  // its chunk's header

  private:
    int m_stream;
    VideoFamily m_family;
};

// The list inferred from the data; none (why says so) where a stream's kind or codec cannot be
// told from its chunks.
std::optional<RebuiltHeaders> InferHeaders(const LOSTMOVIE& lost, const DataProbe& probe,
                                           std::string& why);

// The header list of reference (a file recorded the same way, or the damaged file's own
// list, found at list with its stream facts in avi), checked against the data: none, with
// the first difference in why, when it does not match them.
// source names it in the fields ("the reference").
std::optional<RebuiltHeaders> CheckedHeaders(std::string list, const CAviParser& avi,
                                             const LOSTMOVIE& lost, const DataProbe& probe,
                                             const std::string& source, std::string& why);

// "RIFF" "AVI ", the list, then a "LIST" "movi" header for movieBytes of chunks.
std::string StitchedHead(const std::string& list, std::uint64_t movieBytes);

}  // namespace plovik
