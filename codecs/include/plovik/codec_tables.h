// The catalogue tables behind GetVideoCodecName and GetAudioFormatName, for code
// that needs their structure (tests, tools). Descriptions are plain ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace plovik::detail {

// Four characters in file order, the first in the lowest eight bits ("DIVX" -> 0x58564944).
constexpr std::uint32_t MakeFourCC(std::string_view chars) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && i < chars.size(); ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(chars[i])) << (8 * i);
    }
    return value;
}

// One row of the video catalogue: its keys, four characters each, written one after
// the other ("ANIM" "IAN " "RVX "), and the description they share.
struct VideoCodecRow {
    std::string_view keys;
    std::string_view description;
};

// One key of the video catalogue and the index of its row.
struct VideoCodecKey {
    std::uint32_t fourcc;
    std::uint16_t row;
};

struct AudioFormatEntry {
    std::uint16_t tag;
    std::string_view description;
};

// Rows in ascending byte order of their first key. The row of "DIVX" and "divx" holds
// the text its rule gives for a DivX 4 stream; otherwise the rule borrows the "MPG4" row.
std::span<const VideoCodecRow> VideoCodecRows();
// Every key once, in ascending order of its 32-bit value.
std::span<const VideoCodecKey> VideoCodecKeys();
// In ascending order of tag.
std::span<const AudioFormatEntry> AudioFormatEntries();

}  // namespace plovik::detail
