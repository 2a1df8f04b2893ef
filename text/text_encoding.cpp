#include "plovik/text_encoding.h"

#include "plovik/text_encoding_detail.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>

#include <climits>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace plovik {
namespace {

constexpr char kReplacementCp949 = '?';
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

// Input handed to the system converter on this thread (see text_encoding_detail.h).
thread_local std::size_t t_converterInputBytes = 0;

// Length of the well-formed UTF-8 sequence at the start of bytes, or 0 when it is
// not one (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut off).
std::size_t Utf8SequenceLength(std::string_view bytes) {
    if (bytes.empty()) return 0;
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byteAt(0);
    if (lead < 0x80) return 1;

    std::size_t length = 0;
    unsigned char low = 0x80;  // allowed range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    if (byteAt(1) < low || byteAt(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byteAt(i) < 0x80 || byteAt(i) > 0xBF) return 0;
    }
    return length;
}

// Decoded, an ASCII byte gives one byte of UTF-8 and a high byte at most three: a
// double-byte character gives three for two, a byte that starts no character a U+FFFD.
std::size_t Cp949ToUtf8Bound(std::string_view bytes) {
    const auto high = std::count_if(bytes.begin(), bytes.end(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return bytes.size() + 2 * static_cast<std::size_t>(high);
}

#ifdef _WIN32

constexpr UINT kCp949 = 949;

int ClampedSize(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

// One character of code page 949 (one or two bytes), or false when it maps to nothing.
bool DecodeCp949Char(std::string_view bytes, wchar_t& out) {
    t_converterInputBytes += bytes.size();
    wchar_t wide[2];
    const int size = MultiByteToWideChar(kCp949, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), wide, 2);
    if (size != 1) return false;
    out = wide[0];
    return true;
}

// A character of the Basic Multilingual Plane (all that code page 949 holds) as UTF-8.
void AppendUtf8(std::string& out, wchar_t wide) {
    const auto code = static_cast<std::uint32_t>(wide);
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes UTF-8 ourselves so that malformed input gets the same U+FFFD per byte as
// on every other platform. Characters beyond the BMP become U+FFFD as well: CP949
// holds none of them, and one '?' per character is what the caller gets elsewhere.
std::wstring Utf8ToWideForCp949(std::string_view utf8) {
    std::wstring wide;
    wide.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t length = Utf8SequenceLength(utf8.substr(pos));
        if (length == 0 || length == 4) {
            wide += L'\xFFFD';
            pos += length == 0 ? 1 : length;
            continue;
        }
        std::uint32_t code = static_cast<unsigned char>(utf8[pos]);
        if (length > 1) code &= 0x7Fu >> length;
        for (std::size_t i = 1; i < length; ++i) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[pos + i]) & 0x3Fu);
        }
        wide += static_cast<wchar_t>(code);
        pos += length;
    }
    return wide;
}

#else  // POSIX: iconv

// One descriptor per direction per thread; opening one costs more than a short conversion.
class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (IsOpen()) iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

  private:
    iconv_t m_cd;
};

// iconv gets the input a window at a time. When it rejects a character it may redo its
// whole window up to that character (a converter of several steps does), so the window
// shrinks to kMinWindow after each rejection and doubles with each window taken whole:
// what a rejection costs stays within kMinWindow plus twice the input converted since the
// rejection before, and the whole conversion linear in the text.
constexpr std::size_t kMinWindow = 4;  // holds the longest character
constexpr std::size_t kMaxWindow = 4096;

enum class WindowEnd { kWhole, kCutOff, kRejected };

// Converts as much of [src, src + srcLeft) as cd takes, appending to out.
WindowEnd ConvertWindow(iconv_t cd, char*& src, std::size_t& srcLeft, std::string& out) {
    char buffer[2 * kMaxWindow];  // more than a window's output: no E2BIG in practice
    while (true) {
        t_converterInputBytes += srcLeft;
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (result != static_cast<std::size_t>(-1)) return WindowEnd::kWhole;
        if (errno == E2BIG) continue;
        return errno == EINVAL ? WindowEnd::kCutOff : WindowEnd::kRejected;
    }
}

// What a conversion does with input that it cannot take: each piece of it becomes
// `replacement`, and conversion carries on behind it.
struct Direction {
    std::string_view replacement;
    // Length of the piece at the start of rest that the target cannot hold by its form
    // alone, or 0 when only iconv can tell: such pieces cost no converter call.
    std::size_t (*knownBadLength)(std::string_view rest);
    // Length of the piece at the start of rest that iconv rejected.
    std::size_t (*rejectedLength)(std::string_view rest);
};

std::string IconvConvert(const IconvHandle& handle, std::string_view input,
                         const Direction& direction, std::size_t outputBound) {
    std::string out;
    out.reserve(outputBound);
    if (!handle.IsOpen()) {
        // No converter on this system: keep ASCII, replace the rest byte by byte.
        for (const char c : input) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += direction.replacement;
            }
        }
        return out;
    }
    iconv_t cd = handle.Get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state

    std::size_t pos = 0;
    std::size_t window = kMinWindow;
    while (pos < input.size()) {
        const std::size_t rest = input.size() - pos;
        if (const std::size_t bad = direction.knownBadLength(input.substr(pos))) {
            out += direction.replacement;
            pos += bad;
            continue;
        }
        const std::size_t size = std::min(window, rest);
        char* src = const_cast<char*>(input.data() + pos);
        std::size_t srcLeft = size;
        const WindowEnd end = ConvertWindow(cd, src, srcLeft, out);
        pos += size - srcLeft;
        // A character cut off by the window's end is whole in the next window.
        if (end == WindowEnd::kWhole || (end == WindowEnd::kCutOff && size < rest)) {
            window = std::min(2 * window, kMaxWindow);
            continue;
        }
        // Rejected, or cut off at the end of the text: replace and step over.
        out += direction.replacement;
        pos += std::min(direction.rejectedLength(input.substr(pos)), input.size() - pos);
        window = kMinWindow;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

bool CanTrailCp949(unsigned char byte) {
    return (byte >= 0x41 && byte <= 0x5A) || (byte >= 0x61 && byte <= 0x7A) ||
           (byte >= 0x81 && byte <= 0xFE);
}

// 0x80 and 0xFF start no character of CP949, nor does a lead byte without a byte after it
// that can trail one.
std::size_t Cp949KnownBadLength(std::string_view rest) {
    const auto lead = static_cast<unsigned char>(rest[0]);
    if (lead < 0x80) return 0;
    const bool canLead = lead != 0x80 && lead != 0xFF;
    const bool trailed = rest.size() > 1 && CanTrailCp949(static_cast<unsigned char>(rest[1]));
    return canLead && trailed ? 0 : 1;
}

// A CP949 byte that does not start a character costs one U+FFFD; decoding resumes
// at the next byte, so an ASCII byte after a bad lead byte survives.
std::size_t SkipOneByte(std::string_view) { return 1; }

// Malformed UTF-8 costs a '?' per byte; a character beyond the BMP or U+FFFD (what
// undecodable file text became) a '?' per character: CP949 holds none of them.
std::size_t Utf8KnownBadLength(std::string_view rest) {
    const std::size_t length = Utf8SequenceLength(rest);
    if (length == 0) return 1;
    return length == 4 || rest.starts_with(kReplacementUtf8) ? length : 0;
}

// How far to step over input that a conversion to CP949 could not take: a whole
// character when it is well-formed UTF-8 (one '?' per character), else one byte.
std::size_t Utf8SkipLength(std::string_view rest) {
    const std::size_t length = Utf8SequenceLength(rest);
    return length == 0 ? 1 : length;
}

constexpr Direction kDecodeCp949{kReplacementUtf8, Cp949KnownBadLength, SkipOneByte};
constexpr Direction kEncodeCp949{std::string_view(&kReplacementCp949, 1), Utf8KnownBadLength,
                                 Utf8SkipLength};

#endif

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t length = Utf8SequenceLength(bytes);
        if (length == 0) return false;
        bytes.remove_prefix(length);
    }
    return true;
}

#ifdef _WIN32

std::string WideToUtf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int wideSize = ClampedSize(wide.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int utf8Size = ClampedSize(utf8.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8Size, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8Size, out.data(), size);
    return out;
}

// Character by character, so that one bad byte costs one U+FFFD and no more. A high
// byte that starts no double-byte character is bad too (the system table would pass
// 0x80 through as a control character).
std::string Cp949ToUtf8(std::string_view cp949) {
    std::string out;
    out.reserve(Cp949ToUtf8Bound(cp949));
    std::size_t pos = 0;
    while (pos < cp949.size()) {
        const auto lead = static_cast<unsigned char>(cp949[pos]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++pos;
            continue;
        }
        wchar_t decoded = 0;
        if (IsDBCSLeadByteEx(kCp949, lead) && pos + 1 < cp949.size() &&
            DecodeCp949Char(cp949.substr(pos, 2), decoded)) {
            AppendUtf8(out, decoded);
            pos += 2;
        } else {
            out += kReplacementUtf8;
            pos += 1;
        }
    }
    return out;
}

std::string Utf8ToCp949(std::string_view utf8) {
    const std::wstring wide = Utf8ToWideForCp949(utf8);
    if (wide.empty()) return {};
    const int wideSize = ClampedSize(wide.size());
    t_converterInputBytes += 2 * wide.size();
    const char defaultChar[] = {kReplacementCp949, '\0'};
    const int size = WideCharToMultiByte(kCp949, WC_NO_BEST_FIT_CHARS, wide.data(), wideSize,
                                         nullptr, 0, defaultChar, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(kCp949, WC_NO_BEST_FIT_CHARS, wide.data(), wideSize, out.data(), size,
                        defaultChar, nullptr);
    return out;
}

#else

std::string Cp949ToUtf8(std::string_view cp949) {
    thread_local const IconvHandle handle("UTF-8", "CP949");
    return IconvConvert(handle, cp949, kDecodeCp949, Cp949ToUtf8Bound(cp949));
}

std::string Utf8ToCp949(std::string_view utf8) {
    thread_local const IconvHandle handle("CP949", "UTF-8");
    // Each character of UTF-8 takes at least as many bytes as its CP949 form or its '?'.
    return IconvConvert(handle, utf8, kEncodeCp949, utf8.size());
}

#endif

std::string FileTextToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Cp949ToUtf8(bytes);
}

namespace detail {

std::size_t ConverterInputBytes() { return t_converterInputBytes; }

}  // namespace detail

}  // namespace plovik
