// Video frames for the checker and frame-type tests: a corpus file's frames and format as the
// checkers take them, and frames written bit by bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "plovik/frame_check.h"
#include "support/media.h"

namespace plovik::test {

using Bytes = std::span<const std::uint8_t>;

inline Bytes AsBytes(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Stream 0's frames: "00dc" chunks, or "00db" where GStreamer wrote them.
inline std::vector<std::string> VideoFrames(const std::string& path) {
    std::vector<std::string> frames = StreamChunks(path, 0, "dc");
    return frames.empty() ? StreamChunks(path, 0, "db") : frames;
}

// Stream 0's BITMAPINFOHEADER, its bytes after the header as extra (format must outlive it).
inline VideoStreamFormat VideoFormat(const std::string& format) {
    VideoStreamFormat video;
    if (format.size() < 40) return video;
    std::memcpy(&video.compression, format.data() + 16, 4);
    video.handler = video.compression;
    std::memcpy(&video.width, format.data() + 4, 4);
    std::memcpy(&video.height, format.data() + 8, 4);
    video.extra = AsBytes(format).subspan(40);
    return video;
}

// "0100 1..." as bytes, most significant bit first, the last byte filled with zeros; blanks are
// left out.
inline std::string FromBits(const std::string& bits) {
    std::string bytes;
    int count = 0;
    for (char bit : bits) {
        if (bit == ' ') continue;
        if (count % 8 == 0) bytes.push_back(0);
        if (bit == '1') bytes.back() = static_cast<char>(bytes.back() | 0x80 >> count % 8);
        ++count;
    }
    return bytes;
}

inline std::string ToBits(const std::string& bytes) {
    std::string bits;
    for (char byte : bytes) {
        for (int i = 7; i >= 0; --i) bits.push_back((byte >> i & 1) != 0 ? '1' : '0');
    }
    return bits;
}

}  // namespace plovik::test
