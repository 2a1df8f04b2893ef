#include "media.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace plovik::bench {
namespace {

constexpr std::string_view kPictures = "-f lavfi -i testsrc2=size=720x576:rate=25:duration=1";
constexpr std::string_view kSound = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=10";
constexpr std::string_view kClip =
    "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 "
    "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1";

struct Encoding {
    std::string_view name;
    std::string_view input;
    std::string_view codec;  // ffmpeg's output options
};

// One file to each codec that a frame checker knows.
constexpr Encoding kCodecFiles[] = {
    {"jpeg.avi", kPictures, "-c:v mjpeg -q:v 5"},
    {"png.avi", kPictures, "-c:v png"},
    {"dv.avi", kPictures, "-c:v dvvideo -pix_fmt yuv420p"},
    {"ffv1.avi", kPictures, "-c:v ffv1 -level 3 -slices 4 -slicecrc 1 -g 10"},
    {"rawrgb.avi", kPictures, "-c:v rawvideo -pix_fmt bgr24"},
    {"h264.avi", kPictures, "-c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p"},
    {"mpeg4.avi", kPictures, "-c:v mpeg4 -vtag XVID -g 12"},
    {"mpegvideo.avi", kPictures, "-c:v mpeg2video -g 12 -bf 2"},
    {"mpegaudio.avi", kSound, "-c:a libmp3lame -b:a 128k"},
    {"ac3.avi", kSound, "-c:a ac3 -b:a 192k"},
};

constexpr Encoding kClips[] = {
    {"clip-mpeg4-mp3.avi", kClip, "-c:v mpeg4 -vtag XVID -g 12 -c:a libmp3lame -b:a 96k"},
    {"clip-h264-ac3.avi", kClip,
     "-c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p -c:a ac3 -b:a 96k"},
    {"clip-mjpeg-mp2.avi", kClip, "-c:v mjpeg -q:v 5 -c:a mp2 -b:a 128k"},
    {"clip-ffv1-pcm.avi", kClip, "-c:v ffv1 -level 3 -slices 4 -slicecrc 1 -c:a pcm_s16le"},
};

// The path of the file that ffmpeg made in dir, or empty.
std::string Make(const plovik::test::TempDir& dir, const Encoding& encoding) {
    const std::string path = dir.PathOf(encoding.name);
    const std::string command = "ffmpeg -nostdin -v error -y " + std::string(encoding.input) + " " +
                                std::string(encoding.codec) + " '" + path + "'";
    const bool made = std::system(command.c_str()) == 0;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (made && !error && size > 0) return path;
    std::fprintf(stderr, "ffmpeg could not make %.*s: left out\n",
                 static_cast<int>(encoding.name.size()), encoding.name.data());
    return {};
}

template <std::size_t N>
std::vector<std::string> MakeAll(const plovik::test::TempDir& dir, const Encoding (&encodings)[N]) {
    std::vector<std::string> paths;
    for (const Encoding& encoding : encodings) {
        if (std::string path = Make(dir, encoding); !path.empty()) paths.push_back(path);
    }
    return paths;
}

}  // namespace

MediaFiles::MediaFiles() : codecFiles(MakeAll(dir, kCodecFiles)), clips(MakeAll(dir, kClips)) {}

const MediaFiles& Media() {
    static const MediaFiles media;
    return media;
}

}  // namespace plovik::bench
