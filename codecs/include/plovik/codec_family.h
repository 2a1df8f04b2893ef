// Codec families: what a stream's FourCC or format tag says about how its frames are built,
// looked up once per stream. The frame-type readers, the frame checkers and the header
// probes all go by the family.
#pragma once

#include <cstdint>
#include <string_view>

#include "plovik/fourcc.h"

namespace plovik {

enum class VideoFamily : std::uint8_t {
    kUnknown,     // the bytes are not read
    kMpeg4Part2,  // start codes, VOL and VOP headers (XVID, DIVX, FMP4, ...)
    kH264,        // Annex B byte stream: start codes, NAL units
    kMpegVideo,   // MPEG-1/2 video: start codes, sequence and picture headers
    kMsMpeg4v1,   // MS MPEG-4 v1: a start code, then the picture type
    kMsMpeg4,     // MS MPEG-4 v2/v3 (MP42, DIV3, ...): the picture type in the first bits
    kWmv1,        // as kMsMpeg4
    kWmv2,        // the picture type in the first bit
    kH263,        // picture start code, PTYPE
    kVp8,         // the frame tag
    kZmbv,        // the flags byte
    kCinepak,     // frame and strip headers
    kJpeg,        // MJPEG: markers and segments (intra)
    kDv,          // 80-byte DIF blocks, a frame size fixed by the system (intra)
    kPng,         // chunks with CRC-32 (intra)
    kHuffyuv,     // HFYU, FFVH (intra)
    kFfv1,        // slices with CRCs (version 3); key frames by their first symbol
    kRawRgb,      // uncompressed RGB, palette or bit fields (intra)
    kRawYuv,      // packed or planar YUV (intra)
    kOtherIntra,  // other codecs whose every frame stands alone (UT Video, Lagarith, ...)
};

enum class AudioFamily : std::uint8_t {
    kUnknown,
    kPcm,        // integer or float samples
    kMpegAudio,  // MPEG-1/2 layers I-III (MP2, MP3)
    kAc3,
    kAac,  // raw or ADTS
    kAdpcm,
    kFlac,
    kDts,
};

// From a video stream's handler and compression FourCCs (either may name the codec; letter
// case ignored). The compression decides where both name a family.
VideoFamily VideoFamilyOf(FOURCC handler, FOURCC compression);
AudioFamily AudioFamilyOf(std::uint16_t formatTag);

// Every frame of the family is a key frame, whatever its bytes.
bool IsIntraOnly(VideoFamily family);

// "mpeg4", "jpeg", ...: for tests and diagnostics.
std::string_view FamilyName(VideoFamily family);
std::string_view FamilyName(AudioFamily family);

}  // namespace plovik
