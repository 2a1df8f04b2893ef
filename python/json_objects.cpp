#include "json_objects.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace py = pybind11;

namespace plovik::python {
namespace {

// The key objects made so far, by their text; the texts are the objects' own UTF-8, which
// lives as long as they do. The interpreter lock guards it.
class KeyCache {
  public:
    py::object Get(std::string_view text) {
        if (const auto found = m_keys.find(text); found != m_keys.end()) return found->second;
        py::str key(text.data(), text.size());
        if (m_keys.size() >= kMostKeys) return key;
        Py_ssize_t size = 0;
        const char* own = PyUnicode_AsUTF8AndSize(key.ptr(), &size);
        if (own == nullptr) throw py::error_already_set();
        m_keys.emplace(std::string_view(own, static_cast<std::size_t>(size)), key);
        return key;
    }

  private:
    static constexpr std::size_t kMostKeys = 1024;  // the schema has far fewer
    std::unordered_map<std::string_view, py::object> m_keys;
};

KeyCache& Keys() {
    static KeyCache* keys = new KeyCache();  // never destroyed: it holds Python objects
    return *keys;
}

class Reader {
  public:
    explicit Reader(std::string_view text) : m_text(text) {}

    py::object Document() {
        py::object value = Value();
        SkipSpace();
        if (m_at != m_text.size()) Fail("text after the value");
        return value;
    }

  private:
    [[noreturn]] void Fail(const char* what) const {
        throw py::value_error(std::string("not JSON: ") + what + " at " + std::to_string(m_at));
    }
    void SkipSpace() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\n' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\t')) {
            ++m_at;
        }
    }
    char Peek() {
        SkipSpace();
        if (m_at == m_text.size()) Fail("the end");
        return m_text[m_at];
    }
    void Expect(char c) {
        if (Peek() != c) Fail("an unexpected character");
        ++m_at;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }

    py::object Value() {
        switch (Peek()) {
            case '{':
                return Object();
            case '[':
                return Array();
            case '"':
                return String(false);
            case 't':
                if (Word("true")) return py::bool_(true);
                break;
            case 'f':
                if (Word("false")) return py::bool_(false);
                break;
            case 'n':
                if (Word("null")) return py::none();
                break;
            default:
                return Number();
        }
        Fail("an unknown word");
    }

    // Our records nest a few levels; a deeper text is no record.
    void Enter() {
        if (++m_depth > kDeepest) Fail("too deep a nesting");
    }

    py::object Object() {
        ++m_at;
        Enter();
        py::dict object;
        if (Peek() == '}') {
            ++m_at;
            --m_depth;
            return object;
        }
        while (true) {
            if (Peek() != '"') Fail("a key that is no string");
            py::object key = String(true);
            Expect(':');
            if (PyDict_SetItem(object.ptr(), key.ptr(), Value().ptr()) != 0) {
                throw py::error_already_set();
            }
            if (Peek() == '}') break;
            Expect(',');
        }
        ++m_at;
        --m_depth;
        return object;
    }

    py::object Array() {
        ++m_at;
        Enter();
        py::list array;
        if (Peek() == ']') {
            ++m_at;
            --m_depth;
            return array;
        }
        while (true) {
            array.append(Value());
            if (Peek() == ']') break;
            Expect(',');
        }
        ++m_at;
        --m_depth;
        return array;
    }

    // A run without escapes is decoded as it is; a key of that kind comes from the cache.
    py::object String(bool key) {
        ++m_at;
        const std::size_t start = m_at;
        while (m_at < m_text.size() && m_text[m_at] != '"' && m_text[m_at] != '\\') ++m_at;
        if (m_at == m_text.size()) Fail("an unended string");
        if (m_text[m_at] == '"') {
            const std::string_view plain = m_text.substr(start, m_at - start);
            ++m_at;
            if (key) return Keys().Get(plain);
            return Decoded(plain);
        }
        std::string utf8(m_text.substr(start, m_at - start));
        while (true) {
            if (m_at == m_text.size()) Fail("an unended string");
            const char c = m_text[m_at++];
            if (c == '"') break;
            if (c != '\\') {
                utf8 += c;
                continue;
            }
            Escape(utf8);
        }
        return Decoded(utf8);
    }

    // One escape after its backslash, appended as UTF-8 (a lone surrogate too, as json.loads
    // keeps it).
    void Escape(std::string& utf8) {
        if (m_at == m_text.size()) Fail("an unended escape");
        const char c = m_text[m_at++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                utf8 += c;
                return;
            case 'b':
                utf8 += '\b';
                return;
            case 'f':
                utf8 += '\f';
                return;
            case 'n':
                utf8 += '\n';
                return;
            case 'r':
                utf8 += '\r';
                return;
            case 't':
                utf8 += '\t';
                return;
            case 'u':
                break;
            default:
                Fail("an unknown escape");
        }
        std::uint32_t code = Hex4();
        if (code >= 0xD800 && code < 0xDC00 && Word("\\u")) {
            const std::uint32_t low = Hex4();
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else {
                AppendUtf8(utf8, code);
                code = low;
            }
        }
        AppendUtf8(utf8, code);
    }

    std::uint32_t Hex4() {
        if (m_text.size() - m_at < 4) Fail("a short \\u escape");
        std::uint32_t code = 0;
        const auto [end, error] =
            std::from_chars(m_text.data() + m_at, m_text.data() + m_at + 4, code, 16);
        if (error != std::errc() || end != m_text.data() + m_at + 4) Fail("a bad \\u escape");
        m_at += 4;
        return code;
    }

    static void AppendUtf8(std::string& utf8, std::uint32_t code) {
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (code >> 18));
            utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    static py::object Decoded(std::string_view utf8) {
        PyObject* text = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()),
                                              "surrogatepass");
        if (text == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(text);
    }

    // An integer as int (of any size), anything with a fraction or an exponent as float.
    py::object Number() {
        const std::size_t start = m_at;
        if (m_at < m_text.size() && m_text[m_at] == '-') ++m_at;
        bool integral = true;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '.' || c == 'e' || c == 'E' || ((c == '+' || c == '-') && !integral)) {
                integral = false;
            } else if (c < '0' || c > '9') {
                break;
            }
            ++m_at;
        }
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_at;
        if (first == last || (last - first == 1 && *first == '-')) Fail("no number");
        if (integral) {
            std::int64_t value = 0;
            const auto [end, error] = std::from_chars(first, last, value);
            if (error == std::errc() && end == last) return py::int_(value);
            const std::string digits(first, last);  // beyond 64 bits
            PyObject* big = PyLong_FromString(digits.c_str(), nullptr, 10);
            if (big == nullptr) throw py::error_already_set();
            return py::reinterpret_steal<py::object>(big);
        }
        double value = 0.0;
        const auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end != last) Fail("a bad number");
        return py::float_(value);
    }

    static constexpr int kDeepest = 64;
    std::string_view m_text;
    std::size_t m_at = 0;
    int m_depth = 0;
};

}  // namespace

py::object JsonToPython(std::string_view text) { return Reader(text).Document(); }

}  // namespace plovik::python
