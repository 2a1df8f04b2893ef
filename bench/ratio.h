// Ratios that `make bench` prints against floors measured in the same run. A bench file
// registers its pair next to its benchmarks; main prints every registered line, in the
// order of registration, and the parse/floor ratio last.
#pragma once

#include <string>
#include <vector>

namespace plovik::bench {

struct RatioLine {
    std::string label;     // printed as "<label> <word>: R", R the measured time over the floor's
    std::string measured;  // benchmark function names
    std::string floor;
    std::string word = "ratio";  // "speed-up" for a time over a faster one's
};

inline std::vector<RatioLine>& RatioLines() {
    static std::vector<RatioLine> lines;
    return lines;
}

// At namespace scope: `const bool kRegistered = RegisterRatio({...});`
inline bool RegisterRatio(RatioLine line) {
    RatioLines().push_back(std::move(line));
    return true;
}

}  // namespace plovik::bench
