// Runs the analyser on arbitrary bytes held in memory: every input must end, within
// the time limit, without a crash, a leak or a sanitizer report.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_source.h"
#include "plovik/avi_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // One parser serves every input, as a caller may reuse one; a new parser per input
    // (with its 800 KB key-time array) would dominate the time of each run.
    static plovik::CAviParser parser;
    for (const bool skipIndex : {false, true}) {
        parser.ParseFrom(plovik::MakeMemorySource(bytes), "C:\\fuzz\\input.avi", 0xFFFFFFFF,
                         skipIndex);
        (void)parser.IsFrontIndex();
    }
    return 0;
}
