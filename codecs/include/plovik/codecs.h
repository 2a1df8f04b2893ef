// Fixed catalogues that name a video FourCC and an audio format tag.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovik {

// Description of a video stream's codec (UTF-8). fccHandler is the lookup key;
// biCompression only settles the "DIVX"/"divx" row.
std::string GetVideoCodecName(std::uint32_t fccHandler, std::uint32_t biCompression);

// Description of a WAVE format tag (UTF-8); unlisted tags read "알수없음(code:0x..)".
std::string GetAudioFormatName(std::uint16_t wFormatTag);

// The catalogues' descriptions of what they list; none for a code they do not.
std::optional<std::string_view> FindVideoCodecName(std::uint32_t fccHandler,
                                                   std::uint32_t biCompression);
std::optional<std::string_view> FindAudioFormatName(std::uint16_t wFormatTag);

// Short names for scripts, as the common prober gives them ("h264", "pcm_s24le"); none for a
// codec they do not know. The audio name of WAVE_FORMAT_EXTENSIBLE is its sub-format's.
std::optional<std::string_view> ShortVideoCodecName(std::uint32_t fccHandler,
                                                    std::uint32_t biCompression);
std::optional<std::string_view> ShortAudioCodecName(std::uint16_t wFormatTag,
                                                    std::uint16_t wBitsPerSample);

}  // namespace plovik
