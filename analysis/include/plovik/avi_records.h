// Records of the published AVI and Windows formats, decoded field by field from
// little-endian file bytes (never copied as raw structs).
#pragma once

#include <cstdint>

#include "plovik/fourcc.h"

namespace plovik {

struct AVIMAINHEADER {  // 64 bytes in the file, chunk header included
    FOURCC fcc;
    std::uint32_t cb;
    std::uint32_t dwMicroSecPerFrame;
    std::uint32_t dwMaxBytesPerSec;
    std::uint32_t dwPaddingGranularity;
    std::uint32_t dwFlags;
    std::uint32_t dwTotalFrames;
    std::uint32_t dwInitialFrames;
    std::uint32_t dwStreams;
    std::uint32_t dwSuggestedBufferSize;
    std::uint32_t dwWidth;
    std::uint32_t dwHeight;
    std::uint32_t dwReserved[4];
};

struct AVISTREAMHEADER {  // the first 64 bytes of a "strh" chunk's data
    FOURCC fccType;
    FOURCC fccHandler;
    std::uint32_t dwFlags;
    std::uint16_t wPriority;
    std::uint16_t wLanguage;
    std::uint32_t dwInitialFrames;
    std::uint32_t dwScale;
    std::uint32_t dwRate;
    std::uint32_t dwStart;
    std::uint32_t dwLength;
    std::uint32_t dwSuggestedBufferSize;
    std::uint32_t dwQuality;
    std::uint32_t dwSampleSize;
    std::uint32_t rcFrame[4];  // not used
};

struct WAVEFORMATEX {  // 18 bytes in the file
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};

struct BITMAPINFOHEADER {  // 40 bytes in the file
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    FOURCC biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

struct RGBQUAD {
    std::uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct BITMAPINFO {  // 44 bytes in the file
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct KEYFRAMEINFO {
    double dTime;                 // seconds
    std::uint32_t dwChunkOffset;  // the frame's offset as the index entry gives it
    std::uint32_t dwReserved;     // 0
    // File position of the frame chunk's header, from an OpenDML index entry (its
    // chunk's base offset + dwChunkOffset - 8); 0 for "idx1", whose base is not stated.
    std::uint64_t qwChunkPos;
};

// One entry of an OpenDML super index ("indx"): where a standard index chunk stands.
struct AVISUPERINDEXENTRY {
    std::uint64_t qwOffset;    // absolute position of the index chunk's header
    std::uint32_t dwSize;      // that chunk's size with its header
    std::uint32_t dwDuration;  // stream ticks it covers
};

}  // namespace plovik
