#include "json_writer.h"

#include <cmath>

#include "number_text.h"
#include "plovik/text_encoding.h"

namespace plovik {

void JsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasItems.empty()) {
        if (m_hasItems.back()) m_out += ',';
        m_hasItems.back() = true;
    }
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    m_out += bracket;
    m_hasItems.push_back(false);
}

void JsonWriter::Close(char bracket) {
    m_out += bracket;
    m_hasItems.pop_back();
}

void JsonWriter::Key(std::string_view key) {
    BeforeValue();
    String(key);
    m_out += ':';
    m_afterKey = true;
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

void JsonWriter::String(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    m_out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                m_out += "\\\"";
                break;
            case '\\':
                m_out += "\\\\";
                break;
            case '\n':
                m_out += "\\n";
                break;
            case '\r':
                m_out += "\\r";
                break;
            case '\t':
                m_out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    m_out += "\\u00";
                    m_out += kHex[byte >> 4];
                    m_out += kHex[byte & 0xF];
                } else {
                    m_out += c;
                }
        }
    }
    m_out += '"';
}

}  // namespace plovik
