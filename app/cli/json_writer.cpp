#include "json_writer.h"

#include <cmath>

#include "number_text.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

bool NeedsNoEscape(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\';
}

}  // namespace

// A comma is due unless the value opens the output, an object or an array, or follows its key.
void JsonWriter::BeforeValue() {
    if (m_out.size() == m_start) return;
    const char last = m_out.back();
    if (last != '{' && last != '[' && last != ':') m_out += ',';
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    m_out += bracket;
}

// Keys are the schema's own names: plain ASCII, nothing to escape.
void JsonWriter::Key(std::string_view key) {
    BeforeValue();
    m_out += '"';
    m_out += key;
    m_out += "\":";
}

void JsonWriter::Value(std::string_view text) {
    BeforeValue();
    if (IsValidUtf8(text)) {
        String(text);
    } else {
        String(FileTextToUtf8(text));
    }
}

void JsonWriter::Value(bool value) {
    BeforeValue();
    m_out += value ? "true" : "false";
}

void JsonWriter::Value(std::nullptr_t) {
    BeforeValue();
    m_out += "null";
}

void JsonWriter::Value(double value) {
    if (!std::isfinite(value)) return Value(nullptr);
    BeforeValue();
    AppendNumber(m_out, value);
}

void JsonWriter::Integer(std::int64_t value) {
    BeforeValue();
    AppendNumber(m_out, value);
}

void JsonWriter::Unsigned(std::uint64_t value) {
    BeforeValue();
    AppendNumber(m_out, value);
}

// Runs of bytes that need no escape are copied whole.
void JsonWriter::String(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    m_out += '"';
    while (!utf8.empty()) {
        std::size_t plain = 0;
        while (plain < utf8.size() && NeedsNoEscape(utf8[plain])) ++plain;
        m_out.append(utf8.substr(0, plain));
        if (plain == utf8.size()) break;
        const auto byte = static_cast<unsigned char>(utf8[plain]);
        utf8.remove_prefix(plain + 1);
        m_out += '\\';
        switch (byte) {
            case '"':
            case '\\':
                m_out += static_cast<char>(byte);
                break;
            case '\n':
                m_out += 'n';
                break;
            case '\r':
                m_out += 'r';
                break;
            case '\t':
                m_out += 't';
                break;
            default:
                m_out += "u00";
                m_out += kHex[byte >> 4];
                m_out += kHex[byte & 0xF];
        }
    }
    m_out += '"';
}

}  // namespace plovik
