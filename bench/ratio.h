// The lines that `make bench` prints. A ratio is a tool's time over its floor's, both measured
// in the same run and in turn: tool, floor, tool, floor, ... Each pair gives a ratio, and the
// line shows their median beside their interquartile range. The two runs of a pair meet much
// the same load from the rest of a shared machine, and the median sets aside the pairs that a
// burst of it split. What else keeps the figures from moving with that load: each run starts
// with cold caches (ratio.cpp), and is timed in CPU time (cpu_clock.h). Lines of their own (a
// checker's MB/s) have no floor.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace plovik::bench {

// One run of a tool or of its floor; false when it failed, after saying why on stderr.
using Run = std::function<bool()>;

struct RatioLine {
    std::string label;  // printed as "<label> <word>: R (Q1-Q3, N pairs)"
    Run measured;
    Run floor;
    std::string word = "ratio";              // "speed-up" for a time over a faster one's
    std::function<std::string()> note = {};  // what a run holds besides its time; may be empty
    bool twoThreads = false;                 // its runs need two processors (ratio.cpp)
    bool last = false;                       // after every other line, where scripts read it
};

struct FigureLines {
    std::string name;             // what the command line selects them by
    std::function<bool()> print;  // false when one of them could not be measured
};

inline std::vector<RatioLine>& RatioLines() {
    static std::vector<RatioLine> lines;
    return lines;
}

inline std::vector<FigureLines>& Figures() {
    static std::vector<FigureLines> figures;
    return figures;
}

// At namespace scope: `const bool kRegistered = RegisterRatio({...});`
inline bool RegisterRatio(RatioLine line) {
    RatioLines().push_back(std::move(line));
    return true;
}

inline bool RegisterFigures(FigureLines figures) {
    Figures().push_back(std::move(figures));
    return true;
}

// The median and interquartile range of a line's pair ratios; pairs 0 when a run failed.
struct RatioSpread {
    double median = 0;
    double lower = 0;  // first quartile
    double upper = 0;  // third quartile
    int pairs = 0;
    double measuredSeconds = 0;  // a run's, the median of the pairs
    double floorSeconds = 0;
    bool sideBySide = false;  // twoThreads: every run had the processors to itself
};
// Each line's ratio from pairs of its runs, in the lines' order. The pairs go in rounds, one
// pair of every line a round, so that a line's pairs spread over the whole run: they meet the
// states that a shared machine goes through in minutes (its memory's bandwidth taken or free)
// rather than those of the few seconds that its pairs last.
std::vector<RatioSpread> MeasureRatios(const std::vector<RatioLine>& lines, int pairs);

}  // namespace plovik::bench
