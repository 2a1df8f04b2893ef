#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "plovik/format.h"

namespace plovik {
namespace {

// One conversion of the few that report lines use: "%s", "%d", "%u" with an optional
// "0" flag and width, "%.Nf". Anything else is left to the C library.
struct Conversion {
    bool zeroPad = false;
    int width = 0;
    int precision = -1;
    char type = '\0';
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the conversion after a '%'; false for one this formatter does not write.
bool ReadConversion(const char*& p, Conversion& c) {
    if (*p == '0') {
        c.zeroPad = true;
        ++p;
    }
    while (IsDigit(*p)) c.width = c.width * 10 + (*p++ - '0');
    if (*p == '.') {
        ++p;
        c.precision = 0;
        while (IsDigit(*p)) c.precision = c.precision * 10 + (*p++ - '0');
    }
    c.type = *p;
    if (c.width > 64 || c.precision > 64) return false;
    switch (c.type) {
        case 'd':
        case 'u':
            return c.precision < 0;
        case 's':
            return c.precision < 0 && c.width == 0 && !c.zeroPad;
        case 'f':
            return c.width == 0 && !c.zeroPad;
        default:
            return false;
    }
}

// printf's "%0Nd": the sign first, then zeros up to the width.
void AppendInteger(std::string& out, const char* first, const char* last, const Conversion& c) {
    const auto length = static_cast<int>(last - first);
    const int fill = c.width > length ? c.width - length : 0;
    if (!c.zeroPad) {
        out.append(static_cast<std::size_t>(fill), ' ');
    } else if (fill > 0 && *first == '-') {
        out += '-';
        ++first;
    }
    if (c.zeroPad) out.append(static_cast<std::size_t>(fill), '0');
    out.append(first, last);
}

// Appends one conversion; false when the value needs the C library after all.
bool AppendConversion(std::string& out, const Conversion& c, va_list* args) {
    char digits[400];
    std::to_chars_result result{};
    switch (c.type) {
        case 's': {
            const char* text = va_arg(*args, const char*);
            out.append(text != nullptr ? text : "(null)");
            return true;
        }
        case 'd':
            result = std::to_chars(digits, digits + sizeof digits, va_arg(*args, int));
            break;
        case 'u':
            result = std::to_chars(digits, digits + sizeof digits, va_arg(*args, unsigned));
            break;
        default: {  // 'f': to_chars with a precision writes what printf writes in the C locale
            const double value = va_arg(*args, double);
            // Not a number and the infinities read differently from one C library to another.
            if (!std::isfinite(value)) return false;
            result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed,
                                   c.precision < 0 ? 6 : c.precision);
            if (result.ec != std::errc{}) return false;
            out.append(digits, result.ptr);
            return true;
        }
    }
    AppendInteger(out, digits, result.ptr, c);
    return true;
}

}  // namespace

void AppendPrintf(std::string& out, const char* format, va_list args) {
    const std::size_t start = out.size();
    va_list original;
    va_copy(original, args);
    va_list next;  // taken by pointer, as the conversions use it up
    va_copy(next, args);
    bool handled = true;
    for (const char* p = format; *p != '\0' && handled; ++p) {
        if (*p != '%') {
            // The text up to the next conversion, in one piece.
            const char* conversion = std::strchr(p, '%');
            const char* end = conversion != nullptr ? conversion : p + std::strlen(p);
            out.append(p, end);
            p = end - 1;
            continue;
        }
        ++p;
        Conversion c;
        if (*p == '%') {
            out += '%';
        } else {
            handled = ReadConversion(p, c) && AppendConversion(out, c, &next);
        }
    }
    if (!handled) {
        // A conversion of another kind: the whole line is the C library's.
        out.resize(start);
        va_list measure;
        va_copy(measure, original);
        const int length = std::vsnprintf(nullptr, 0, format, measure);
        va_end(measure);
        if (length > 0) {
            out.resize(start + static_cast<std::size_t>(length) + 1);
            std::vsnprintf(out.data() + start, static_cast<std::size_t>(length) + 1, format,
                           original);
            out.resize(start + static_cast<std::size_t>(length));
        }
    }
    va_end(next);
    va_end(original);
}

}  // namespace plovik
