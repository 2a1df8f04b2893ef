// What the text conversions hand to the system converter, for tests that check that the
// work stays linear in the text whatever it holds.
#pragma once

#include <cstddef>

namespace plovik::detail {

// Bytes of input given to the system converter (iconv or the code-page API) by this
// thread so far; a byte given again after a rejected character counts again.
std::size_t ConverterInputBytes();

}  // namespace plovik::detail
