#include "record_values.h"

#include "number_text.h"
#include "plovik/codecs.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

// What the catalogues give for a code they do not list ("알수없음", with the code for audio).
constexpr std::string_view kUnlisted = "알수없음";

std::optional<std::string> Listed(std::string description) {
    if (description.starts_with(kUnlisted)) return std::nullopt;
    return description;
}

}  // namespace

std::optional<double> DurationSeconds(const CAviParser& avi) {
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    if (video.dwRate == 0) return std::nullopt;
    return static_cast<double>(video.dwLength) * video.dwScale / video.dwRate;
}

std::optional<double> FrameRate(const CAviParser& avi) {
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    if (video.dwScale == 0) return std::nullopt;
    return static_cast<double>(video.dwRate) / video.dwScale;
}

std::string FourCCText(FOURCC fcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(fcc >> (8 * i));
        if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            text += '[';
            AppendNumber(text, unsigned{byte});
            text += ']';
        }
    }
    return text;
}

std::optional<std::string> VideoCodecName(const CAviParser& avi) {
    return Listed(
        GetVideoCodecName(avi.m_VideoHeader.fccHandler, avi.m_VideoFormat.bmiHeader.biCompression));
}

std::optional<std::string> AudioFormatName(std::uint16_t formatTag) {
    return Listed(GetAudioFormatName(formatTag));
}

std::string DisplayText(const std::string& bytes) { return FileTextToUtf8(bytes); }

}  // namespace plovik
