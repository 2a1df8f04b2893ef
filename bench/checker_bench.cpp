// The frame checkers alone, over real frames in memory: the first stream of each codec file
// that ffmpeg made (media.h), its chunks checked again and again to about 100 MB, a fresh
// checker for each time through as for a new stream. Printed as "checker jpeg: 1234 MB/s",
// the median of three such passes in CPU time (cpu_clock.h). A checker that judges only a
// frame's size (uncompressed video) gets no bytes, and its line says so.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cpu_clock.h"
#include "media.h"
#include "plovik/avi_parser.h"
#include "plovik/codec_family.h"
#include "plovik/frame_check.h"
#include "ratio.h"
#include "support/media.h"

namespace {

using namespace plovik;
using plovik::bench::CpuStopwatch;

constexpr double kPassBytes = 100e6;
constexpr int kPasses = 3;

using Bytes = std::span<const std::uint8_t>;

Bytes AsBytes(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// A codec file's first stream: its headers as the parser read them, the bytes of its format
// chunk (the format's extra bytes, after the fixed header) and its chunks.
struct CodecStream {
    bool audio = false;
    AVISTREAMHEADER header{};
    BITMAPINFOHEADER picture{};
    WAVEFORMATEX sound{};
    std::string strf;
    std::vector<std::string> chunks;
    std::uint64_t bytes = 0;  // of all the chunks

    std::string Family() const {
        return std::string(
            audio ? FamilyName(AudioFamilyOf(sound.wFormatTag))
                  : FamilyName(VideoFamilyOf(header.fccHandler, picture.biCompression)));
    }

    std::unique_ptr<FrameChecker> MakeChecker() const {
        const Bytes format = AsBytes(strf);
        if (audio) {
            return MakeAudioFrameChecker(
                {.formatTag = sound.wFormatTag,
                 .channels = sound.nChannels,
                 .sampleRate = sound.nSamplesPerSec,
                 .avgBytesPerSec = sound.nAvgBytesPerSec,
                 .blockAlign = sound.nBlockAlign,
                 .bitsPerSample = sound.wBitsPerSample,
                 .sampleSize = header.dwSampleSize,
                 .scale = header.dwScale,
                 .rate = header.dwRate,
                 .extra = format.subspan(std::min<std::size_t>(18, format.size()))});
        }
        return MakeVideoFrameChecker(
            {.handler = header.fccHandler,
             .compression = picture.biCompression,
             .width = picture.biWidth,
             .height = picture.biHeight,
             .bitCount = picture.biBitCount,
             .sizeImage = picture.biSizeImage,
             .extra = format.subspan(std::min<std::size_t>(40, format.size()))});
    }
};

std::optional<CodecStream> ReadCodecStream(const std::string& path) {
    CAviParser parser;
    if (!parser.Parse(path, 0xFFFFFFFF, false)) return std::nullopt;
    CodecStream stream;
    stream.audio = parser.m_VideoHeader.fccType != MakeFourCC("vids");
    stream.header = stream.audio ? parser.m_AudioHeader : parser.m_VideoHeader;
    stream.picture = parser.m_VideoFormat.bmiHeader;
    stream.sound = parser.m_AudioFormat;
    stream.strf = test::StreamFormat(path, 0);
    stream.chunks = test::StreamChunks(path, 0, stream.audio ? "wb" : "dc");
    if (stream.chunks.empty() && !stream.audio) stream.chunks = test::StreamChunks(path, 0, "db");
    for (const std::string& chunk : stream.chunks) stream.bytes += chunk.size();
    if (stream.bytes == 0) return std::nullopt;
    return stream;
}

struct Pass {
    double seconds = 0;
    std::size_t cannotTell = 0;  // chunks of one time through
    std::string damage;          // the first chunk judged damaged: the figure is void
};

// The stream's chunks times times through, each time with a fresh checker.
Pass CheckPass(const CodecStream& stream, int times) {
    Pass pass;
    const CpuStopwatch watch;
    for (int time = 0; time < times && pass.damage.empty(); ++time) {
        const std::unique_ptr<FrameChecker> checker = stream.MakeChecker();
        const bool needsData = checker->NeedsData();
        pass.cannotTell = 0;
        for (std::size_t i = 0; i < stream.chunks.size() && pass.damage.empty(); ++i) {
            const std::string& chunk = stream.chunks[i];
            const FrameVerdict verdict = checker->Check(needsData ? AsBytes(chunk) : Bytes{},
                                                        static_cast<std::uint32_t>(chunk.size()));
            if (verdict.state == FrameState::kCannotTell) ++pass.cannotTell;
            if (verdict.state == FrameState::kDamaged) {
                pass.damage = "chunk " + std::to_string(i) + ": " + verdict.reason;
            }
        }
        if (pass.damage.empty() && checker->End().state == FrameState::kDamaged) {
            pass.damage = "its end";
        }
    }
    pass.seconds = watch.Seconds();
    return pass;
}

// The line of one codec file; false when it could not be measured.
bool PrintCheckerLine(const std::string& path) {
    const std::optional<CodecStream> stream = ReadCodecStream(path);
    const std::string label = stream ? "checker " + stream->Family() : "checker of " + path;
    const std::unique_ptr<FrameChecker> checker = stream ? stream->MakeChecker() : nullptr;
    if (!checker) {
        std::printf("%s: unavailable (%s)\n", label.c_str(),
                    stream ? "no checker for its format" : "no frames read");
        return false;
    }
    const int times = static_cast<int>(std::ceil(kPassBytes / static_cast<double>(stream->bytes)));
    std::vector<double> seconds;
    Pass pass;
    for (int i = 0; i < kPasses && pass.damage.empty(); ++i) {
        pass = CheckPass(*stream, times);
        seconds.push_back(pass.seconds);
    }
    if (!pass.damage.empty()) {
        std::printf("%s: unavailable (judged damaged at %s)\n", label.c_str(), pass.damage.c_str());
        return false;
    }
    std::sort(seconds.begin(), seconds.end());
    const double megabytes = static_cast<double>(stream->bytes) * times / 1e6;
    std::string remark;
    if (!checker->NeedsData()) remark = " (sizes only)";
    if (pass.cannotTell > 0) {
        remark += " (" + std::to_string(pass.cannotTell) + " of " +
                  std::to_string(stream->chunks.size()) + " chunks cannot be told)";
    }
    std::printf("%s: %.0f MB/s%s\n", label.c_str(), megabytes / seconds[seconds.size() / 2],
                remark.c_str());
    std::fflush(stdout);
    return true;
}

bool PrintCheckerLines() {
    bool allMeasured = true;
    for (const std::string& path : plovik::bench::Media().codecFiles) {
        allMeasured = PrintCheckerLine(path) && allMeasured;
    }
    return allMeasured;
}

const bool kRegistered =
    plovik::bench::RegisterFigures({.name = "checker", .print = PrintCheckerLines});

}  // namespace
