// A small strict JSON writer: one compact value into a string, UTF-8 throughout.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovik {

// Appends one value to out; what stands before it in out is left alone.
class JsonWriter {
  public:
    explicit JsonWriter(std::string& out) : m_out(out), m_start(out.size()) {}

    void BeginObject() { Open('{'); }
    void EndObject() { m_out += '}'; }
    void BeginArray() { Open('['); }
    void EndArray() { m_out += ']'; }
    // The key of the next value inside an object.
    void Key(std::string_view key);

    // Text that is not valid UTF-8 is taken as CP949, so the output always is.
    void Value(std::string_view text);
    void Value(const char* text) { Value(std::string_view(text)); }
    void Value(bool value);
    void Value(std::nullptr_t);
    // Integers exactly; doubles in the shortest form that reads back the same; NaN and
    // infinities, which JSON cannot hold, as null.
    void Value(double value);
    template <std::integral T>
    requires(!std::same_as<T, bool>) void Value(T value) {
        if constexpr (std::signed_integral<T>) {
            Integer(static_cast<std::int64_t>(value));
        } else {
            Unsigned(static_cast<std::uint64_t>(value));
        }
    }
    template <class T>
    void Value(const std::optional<T>& value) {
        if (value) {
            Value(*value);
        } else {
            Value(nullptr);
        }
    }

    template <class T>
    void Field(std::string_view key, const T& value) {
        Key(key);
        Value(value);
    }

  private:
    void Open(char bracket);
    void BeforeValue();
    void Integer(std::int64_t value);
    void Unsigned(std::uint64_t value);
    void String(std::string_view utf8);

    std::string& m_out;
    std::size_t m_start;  // where this writer's value begins in m_out
};

}  // namespace plovik
