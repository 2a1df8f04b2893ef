// A value that a stream's repeated headers all give (the picture size): each header is held
// against it. One header that differs is damage; two in a row that agree on a new value make
// it the stream's (the stream changed, or the header it was first read from was damaged), so
// that one damaged header never raises an alarm on every header after it.
#pragma once

#include <optional>

namespace plovik::frames {

template <class T>
class StreamInvariant {
  public:
    // False when value is not the stream's.
    bool Hold(const T& value) {
        if (!m_value || *m_value == value || (m_candidate && *m_candidate == value)) {
            m_value = value;
            m_candidate.reset();
            return true;
        }
        m_candidate = value;
        return false;
    }

    const std::optional<T>& Value() const { return m_value; }

  private:
    std::optional<T> m_value;
    std::optional<T> m_candidate;  // the value of the last header that differed
};

}  // namespace plovik::frames
