// The codec families of the FourCCs and format tags that AVI writers use.
#include "plovik/codec_family.h"

#include <algorithm>
#include <array>

namespace plovik {
namespace {

constexpr FOURCC Upper(FOURCC fcc) {
    FOURCC out = 0;
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<std::uint8_t>(fcc >> (8 * i));
        if (c >= 'a' && c <= 'z') c = static_cast<std::uint8_t>(c - 'a' + 'A');
        out |= FOURCC{c} << (8 * i);
    }
    return out;
}

struct FamilyRow {
    FOURCC fcc;  // upper case
    VideoFamily family;
};

constexpr FamilyRow Row(const char (&s)[5], VideoFamily family) { return {MakeFourCC(s), family}; }

using V = VideoFamily;

// Not intra-only, though often thought so: Cinepak, MS Video 1 and RLE code skipped blocks
// against the previous frame; FFV1 is written with inter frames too.
constexpr std::array kVideoFamilies = {
    Row("XVID", V::kMpeg4Part2), Row("DIVX", V::kMpeg4Part2), Row("DX50", V::kMpeg4Part2),
    Row("FMP4", V::kMpeg4Part2), Row("MP4V", V::kMpeg4Part2), Row("MP4S", V::kMpeg4Part2),
    Row("M4S2", V::kMpeg4Part2), Row("3IV2", V::kMpeg4Part2), Row("XVIX", V::kMpeg4Part2),
    Row("BLZ0", V::kMpeg4Part2), Row("DXGM", V::kMpeg4Part2), Row("RMP4", V::kMpeg4Part2),
    Row("SMP4", V::kMpeg4Part2), Row("UMP4", V::kMpeg4Part2), Row("DM4V", V::kMpeg4Part2),
    Row("HDX4", V::kMpeg4Part2), Row("SEDG", V::kMpeg4Part2),  //
    Row("H264", V::kH264),       Row("X264", V::kH264),       Row("AVC1", V::kH264),
    Row("DAVC", V::kH264),       Row("VSSH", V::kH264),  //
    Row("MPG1", V::kMpegVideo),  Row("MPG2", V::kMpegVideo),  Row("MPEG", V::kMpegVideo),
    Row("MP2V", V::kMpegVideo),  Row("MPGV", V::kMpegVideo),  Row("PIM1", V::kMpegVideo),
    Row("PIM2", V::kMpegVideo),  Row("EM2V", V::kMpegVideo),  Row("MMES", V::kMpegVideo),  //
    Row("MPG4", V::kMsMpeg4v1),  Row("MP41", V::kMsMpeg4v1),                               //
    Row("MP42", V::kMsMpeg4),    Row("DIV2", V::kMsMpeg4),    Row("MP43", V::kMsMpeg4),
    Row("DIV3", V::kMsMpeg4),    Row("DIV4", V::kMsMpeg4),    Row("DIV5", V::kMsMpeg4),
    Row("DIV6", V::kMsMpeg4),    Row("MPG3", V::kMsMpeg4),    Row("DVX3", V::kMsMpeg4),
    Row("AP41", V::kMsMpeg4),    Row("COL0", V::kMsMpeg4),    Row("COL1", V::kMsMpeg4),  //
    Row("WMV1", V::kWmv1),       Row("WMV2", V::kWmv2),                                  //
    Row("H263", V::kH263),       Row("U263", V::kH263),       Row("S263", V::kH263),     //
    Row("VP80", V::kVp8),        Row("ZMBV", V::kZmbv),       Row("CVID", V::kCinepak),  //
    Row("MJPG", V::kJpeg),       Row("AVRN", V::kJpeg),       Row("DMB1", V::kJpeg),
    Row("LJPG", V::kJpeg),       Row("JPGL", V::kJpeg),  //
    Row("DVSD", V::kDv),         Row("DVHD", V::kDv),         Row("DVSL", V::kDv),
    Row("DV25", V::kDv),         Row("DV50", V::kDv),         Row("CDVC", V::kDv),
    Row("DVH1", V::kDv),         Row("DVCP", V::kDv),         Row("DVPP", V::kDv),      //
    Row("MPNG", V::kPng),        Row("PNG1", V::kPng),        Row("PNG ", V::kPng),     //
    Row("HFYU", V::kHuffyuv),    Row("FFVH", V::kHuffyuv),    Row("FFV1", V::kFfv1),    //
    Row("DIB ", V::kRawRgb),     Row("RGB ", V::kRawRgb),     Row("RAW ", V::kRawRgb),  //
    Row("YUY2", V::kRawYuv),     Row("YUYV", V::kRawYuv),     Row("UYVY", V::kRawYuv),
    Row("YVYU", V::kRawYuv),     Row("I420", V::kRawYuv),     Row("IYUV", V::kRawYuv),
    Row("YV12", V::kRawYuv),     Row("YV16", V::kRawYuv),     Row("NV12", V::kRawYuv),
    Row("Y800", V::kRawYuv),     Row("Y8  ", V::kRawYuv),     Row("GREY", V::kRawYuv),
    Row("V210", V::kRawYuv),     Row("2VUY", V::kRawYuv),     Row("HDYC", V::kRawYuv),  //
    Row("MJLS", V::kOtherIntra), Row("ULRG", V::kOtherIntra), Row("ULRA", V::kOtherIntra),
    Row("ULY0", V::kOtherIntra), Row("ULY2", V::kOtherIntra), Row("ULY4", V::kOtherIntra),
    Row("ULH0", V::kOtherIntra), Row("ULH2", V::kOtherIntra), Row("ULH4", V::kOtherIntra),
    Row("UQY0", V::kOtherIntra), Row("UQY2", V::kOtherIntra), Row("UQRG", V::kOtherIntra),
    Row("UQRA", V::kOtherIntra), Row("LAGS", V::kOtherIntra), Row("MAGY", V::kOtherIntra),
};

constexpr FOURCC kBiRgb = 0;
constexpr FOURCC kBiBitfields = 3;

VideoFamily FamilyOf(FOURCC fcc) {
    if (fcc == kBiRgb || fcc == kBiBitfields) return V::kRawRgb;  // palette too
    const FOURCC upper = Upper(fcc);
    const auto* row = std::find_if(kVideoFamilies.begin(), kVideoFamilies.end(),
                                   [upper](const FamilyRow& r) { return r.fcc == upper; });
    return row == kVideoFamilies.end() ? V::kUnknown : row->family;
}

}  // namespace

VideoFamily VideoFamilyOf(FOURCC handler, FOURCC compression) {
    const VideoFamily family = FamilyOf(compression);
    // A handler of 0 names no codec: only a compression of 0 means uncompressed.
    if (family != V::kUnknown || handler == 0) return family;
    return FamilyOf(handler);
}

AudioFamily AudioFamilyOf(std::uint16_t formatTag) {
    switch (formatTag) {
        case 0x0001:  // integer PCM
        case 0x0003:  // IEEE float
            return AudioFamily::kPcm;
        case 0x0050:  // MPEG-1 layers I and II
        case 0x0055:  // MPEG layer III
            return AudioFamily::kMpegAudio;
        case 0x2000:
            return AudioFamily::kAc3;
        case 0x00FF:  // raw AAC
        case 0x1600:  // ADTS
        case 0x1601:
        case 0x1602:
        case 0x706D:
        case 0x4143:
        case 0xA106:
            return AudioFamily::kAac;
        case 0x0002:  // MS ADPCM
        case 0x0011:  // IMA ADPCM
            return AudioFamily::kAdpcm;
        case 0xF1AC:
            return AudioFamily::kFlac;
        case 0x2001:
            return AudioFamily::kDts;
        default:
            return AudioFamily::kUnknown;
    }
}

bool IsIntraOnly(VideoFamily family) {
    switch (family) {
        case V::kJpeg:
        case V::kDv:
        case V::kPng:
        case V::kHuffyuv:
        case V::kRawRgb:
        case V::kRawYuv:
        case V::kOtherIntra:
            return true;
        default:
            return false;
    }
}

std::string_view FamilyName(VideoFamily family) {
    switch (family) {
        case V::kUnknown:
            return "unknown";
        case V::kMpeg4Part2:
            return "mpeg4";
        case V::kH264:
            return "h264";
        case V::kMpegVideo:
            return "mpegvideo";
        case V::kMsMpeg4v1:
            return "msmpeg4v1";
        case V::kMsMpeg4:
            return "msmpeg4";
        case V::kWmv1:
            return "wmv1";
        case V::kWmv2:
            return "wmv2";
        case V::kH263:
            return "h263";
        case V::kVp8:
            return "vp8";
        case V::kZmbv:
            return "zmbv";
        case V::kCinepak:
            return "cinepak";
        case V::kJpeg:
            return "jpeg";
        case V::kDv:
            return "dv";
        case V::kPng:
            return "png";
        case V::kHuffyuv:
            return "huffyuv";
        case V::kFfv1:
            return "ffv1";
        case V::kRawRgb:
            return "rawrgb";
        case V::kRawYuv:
            return "rawyuv";
        case V::kOtherIntra:
            return "intra";
    }
    return "unknown";
}

std::string_view FamilyName(AudioFamily family) {
    switch (family) {
        case AudioFamily::kUnknown:
            return "unknown";
        case AudioFamily::kPcm:
            return "pcm";
        case AudioFamily::kMpegAudio:
            return "mpegaudio";
        case AudioFamily::kAc3:
            return "ac3";
        case AudioFamily::kAac:
            return "aac";
        case AudioFamily::kAdpcm:
            return "adpcm";
        case AudioFamily::kFlac:
            return "flac";
        case AudioFamily::kDts:
            return "dts";
    }
    return "unknown";
}

}  // namespace plovik
