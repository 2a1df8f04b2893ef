// The JSON texts of the C interface as Python objects, in one pass and without a round through
// the json module, whose decoding of a small file's record costs twice its analysis. The
// objects are those json.loads makes (dict, list, str, int, float, bool, None); the keys of
// the records, always the same few names, are made once and kept. Any text that is not JSON
// raises ValueError.
#pragma once

#include <pybind11/pybind11.h>

#include <string_view>

namespace plovik::python {

pybind11::object JsonToPython(std::string_view text);

}  // namespace plovik::python
