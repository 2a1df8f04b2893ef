#include "plovik/text_encoding.h"

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

#ifdef _WIN32

constexpr UINT kCp949 = 949;

int ClampedSize(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

// One character of code page 949 (one or two bytes), or false when it maps to nothing.
bool DecodeCp949Char(std::string_view bytes, wchar_t& out) {
    wchar_t wide[2];
    const int size = MultiByteToWideChar(kCp949, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), wide, 2);
    if (size != 1) return false;
    out = wide[0];
    return true;
}

// Character by character, so that one bad byte costs one U+FFFD and no more. A high
// byte that starts no double-byte character is bad too (the system table would pass
// 0x80 through as a control character).
std::wstring Cp949ToWide(std::string_view bytes) {
    std::wstring wide;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[pos]);
        if (lead < 0x80) {
            wide += static_cast<wchar_t>(lead);
            ++pos;
            continue;
        }
        wchar_t decoded = 0;
        if (IsDBCSLeadByteEx(kCp949, lead) && pos + 1 < bytes.size() &&
            DecodeCp949Char(bytes.substr(pos, 2), decoded)) {
            wide += decoded;
            pos += 2;
        } else {
            wide += L'\xFFFD';
            pos += 1;
        }
    }
    return wide;
}

// Decodes UTF-8 ourselves so that malformed input gets the same U+FFFD per byte as
// on every other platform. Characters beyond the BMP become U+FFFD as well: CP949
// holds none of them, and one '?' per character is what the caller gets elsewhere.
std::wstring Utf8ToWideForCp949(std::string_view utf8) {
    std::wstring wide;
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

// Runs the whole input through cd. Input that cd rejects becomes `replacement`, and
// skipLength says how many bytes it covered; conversion then carries on behind it.
std::string IconvConvert(const IconvHandle& handle, std::string_view input,
                         std::string_view replacement,
                         std::size_t (*skipLength)(std::string_view)) {
    std::string out;
    if (!handle.IsOpen()) {
        // No converter on this system: keep ASCII, replace the rest byte by byte.
        for (const char c : input) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out += c;
            } else {
                out += replacement;
            }
        }
        return out;
    }
    iconv_t cd = handle.Get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state

    char* src = const_cast<char*>(input.data());
    std::size_t srcLeft = input.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // EILSEQ (cannot convert) or EINVAL (cut off at the end): replace and step over.
        const std::size_t skip = std::min(skipLength(std::string_view(src, srcLeft)), srcLeft);
        out += replacement;
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

// A CP949 byte that does not start a character costs one U+FFFD; decoding resumes
// at the next byte, so an ASCII byte after a bad lead byte survives.
std::size_t SkipOneByte(std::string_view) { return 1; }

// How far to step over input that a conversion to CP949 could not take: a whole
// character when it is well-formed UTF-8 (one '?' per character), else one byte.
std::size_t Utf8SkipLength(std::string_view rest) {
    const std::size_t length = Utf8SequenceLength(rest);
    return length == 0 ? 1 : length;
}

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

std::string Cp949ToUtf8(std::string_view cp949) { return WideToUtf8(Cp949ToWide(cp949)); }

std::string Utf8ToCp949(std::string_view utf8) {
    const std::wstring wide = Utf8ToWideForCp949(utf8);
    if (wide.empty()) return {};
    const int wideSize = ClampedSize(wide.size());
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
    return IconvConvert(handle, cp949, kReplacementUtf8, SkipOneByte);
}

std::string Utf8ToCp949(std::string_view utf8) {
    thread_local const IconvHandle handle("CP949", "UTF-8");
    return IconvConvert(handle, utf8, std::string_view(&kReplacementCp949, 1), Utf8SkipLength);
}

#endif

std::string FileTextToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Cp949ToUtf8(bytes);
}

}  // namespace plovik
