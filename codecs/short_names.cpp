// Short codec names for scripts, as the common prober names them ("h264", "pcm_s16le").
#include <algorithm>
#include <array>
#include <cctype>

#include "plovik/codecs.h"

namespace plovik {
namespace {

struct VideoName {
    const char* fourcc;  // upper case
    const char* name;
};

// Either FourCC of a stream may name its codec; letter case varies between writers.
constexpr VideoName kVideoNames[] = {
    {"DIVX", "mpeg4"},      {"DX50", "mpeg4"},      {"XVID", "mpeg4"},      {"FMP4", "mpeg4"},
    {"MP4V", "mpeg4"},      {"3IV2", "mpeg4"},      {"DIV3", "msmpeg4v3"},  {"MP43", "msmpeg4v3"},
    {"MP42", "msmpeg4v2"},  {"MP41", "msmpeg4v1"},  {"MPG4", "msmpeg4v1"},  {"H264", "h264"},
    {"X264", "h264"},       {"AVC1", "h264"},       {"DAVC", "h264"},       {"HEVC", "hevc"},
    {"H265", "hevc"},       {"X265", "hevc"},       {"MJPG", "mjpeg"},      {"AVRN", "mjpeg"},
    {"DVSD", "dvvideo"},    {"DV25", "dvvideo"},    {"DV50", "dvvideo"},    {"DVHD", "dvvideo"},
    {"DVSL", "dvvideo"},    {"CDVC", "dvvideo"},    {"HFYU", "huffyuv"},    {"FFVH", "ffvhuff"},
    {"ULRG", "utvideo"},    {"ULRA", "utvideo"},    {"ULY0", "utvideo"},    {"ULY2", "utvideo"},
    {"ULY4", "utvideo"},    {"ULH0", "utvideo"},    {"ULH2", "utvideo"},    {"ULH4", "utvideo"},
    {"MPNG", "png"},        {"PNG ", "png"},        {"PNG1", "png"},        {"FFV1", "ffv1"},
    {"MPG1", "mpeg1video"}, {"MPG2", "mpeg2video"}, {"MPEG", "mpeg2video"}, {"WMV1", "wmv1"},
    {"WMV2", "wmv2"},       {"WMV3", "wmv3"},       {"VP80", "vp8"},        {"VP90", "vp9"},
    {"CVID", "cinepak"},    {"IV32", "indeo3"},     {"IV41", "indeo4"},     {"IV50", "indeo5"},
    {"MSVC", "msvideo1"},   {"CRAM", "msvideo1"},   {"MRLE", "msrle"},      {"TSCC", "tscc"},
    {"DIB ", "rawvideo"},   {"RGB ", "rawvideo"},   {"YUY2", "rawvideo"},   {"UYVY", "rawvideo"},
    {"YV12", "rawvideo"},   {"I420", "rawvideo"},   {"IYUV", "rawvideo"},   {"Y800", "rawvideo"},
};

std::array<char, 4> UpperFourCC(std::uint32_t fcc) {
    std::array<char, 4> text{};
    for (int i = 0; i < 4; ++i) {
        text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(fcc >> (8 * i))));
    }
    return text;
}

std::optional<std::string_view> FindVideo(std::uint32_t fcc) {
    const std::array<char, 4> text = UpperFourCC(fcc);
    for (const VideoName& entry : kVideoNames) {
        if (std::equal(text.begin(), text.end(), entry.fourcc)) return entry.name;
    }
    return std::nullopt;
}

struct AudioName {
    std::uint16_t tag;
    const char* name;
};

constexpr AudioName kAudioNames[] = {
    {0x0002, "adpcm_ms"},   {0x0006, "pcm_alaw"}, {0x0007, "pcm_mulaw"}, {0x0011, "adpcm_ima_wav"},
    {0x0022, "truespeech"}, {0x0031, "gsm_ms"},   {0x0050, "mp2"},       {0x0055, "mp3"},
    {0x00FF, "aac"},        {0x0160, "wmav1"},    {0x0161, "wmav2"},     {0x0162, "wmapro"},
    {0x1600, "aac"},        {0x2000, "ac3"},      {0x2001, "dts"},       {0x706D, "aac"},
    {0xF1AC, "flac"},
};

// PCM by its sample width; floats likewise.
std::optional<std::string_view> PcmName(std::uint16_t tag, std::uint16_t bitsPerSample) {
    if (tag == 0x0001) {
        switch (bitsPerSample) {
            case 8:
                return "pcm_u8";
            case 16:
                return "pcm_s16le";
            case 24:
                return "pcm_s24le";
            case 32:
                return "pcm_s32le";
            default:
                return std::nullopt;
        }
    }
    if (tag == 0x0003) {
        if (bitsPerSample == 32) return "pcm_f32le";
        if (bitsPerSample == 64) return "pcm_f64le";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> ShortVideoCodecName(std::uint32_t fccHandler,
                                                    std::uint32_t biCompression) {
    if (biCompression == 0 || biCompression == 3) return "rawvideo";  // BI_RGB, BI_BITFIELDS
    if (const auto name = FindVideo(biCompression)) return name;
    return FindVideo(fccHandler);
}

std::optional<std::string_view> ShortAudioCodecName(std::uint16_t wFormatTag,
                                                    std::uint16_t wBitsPerSample) {
    if (const auto pcm = PcmName(wFormatTag, wBitsPerSample)) return pcm;
    for (const AudioName& entry : kAudioNames) {
        if (entry.tag == wFormatTag) return entry.name;
    }
    return std::nullopt;
}

}  // namespace plovik
