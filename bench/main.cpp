// plovik_bench [--pairs=N] [WORD...]: every line, or those whose label holds one of the words
// ("scan", "batch", "checker"); N pairs of runs to each ratio.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "media.h"
#include "ratio.h"

namespace {

using plovik::bench::RatioLine;
using plovik::bench::RatioSpread;

constexpr int kPairs = 31;

struct Options {
    int pairs = kPairs;
    std::vector<std::string> words;

    bool Selects(const std::string& label) const {
        if (words.empty()) return true;
        for (const std::string& word : words) {
            if (label.find(word) != std::string::npos) return true;
        }
        return false;
    }
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--pairs=")) {
            options.pairs = std::atoi(argv[i] + 8);
        } else {
            options.words.emplace_back(arg);
        }
    }
    return options;
}

std::string Milliseconds(double seconds) {
    const double ms = seconds * 1e3;
    char text[32];
    std::snprintf(text, sizeof text, ms >= 10 ? "%.1f ms" : ms >= 1 ? "%.2f ms" : "%.3f ms", ms);
    return text;
}

// The line's runs, then its ratio line; false when a run failed.
bool PrintRatio(const RatioLine& line, const RatioSpread& spread) {
    if (spread.pairs == 0) {
        std::printf("%s %s: unavailable\n", line.label.c_str(), line.word.c_str());
        return false;
    }
    std::string runs = "  a run " + Milliseconds(spread.measuredSeconds) + " against " +
                       Milliseconds(spread.floorSeconds);
    if (line.twoThreads) {
        runs += spread.sideBySide ? "; threads side by side"
                                  : "; threads took turns with other programs (no real-time "
                                    "priority here), so the figure moves with the load";
    }
    if (line.note) runs += "; " + line.note();
    std::printf("%s\n%s %s: %.2f (%.2f-%.2f, %d pairs)\n", runs.c_str(), line.label.c_str(),
                line.word.c_str(), spread.median, spread.lower, spread.upper, spread.pairs);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // The heap keeps its pages between runs: a parse in a loop would otherwise hand its
    // key-frame records back to the system and fault the same pages in again each run,
    // which a program parsing once never does twice.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    const Options options = ParseOptions(argc, argv);
    if (options.pairs <= 0) {
        std::fprintf(stderr, "usage: plovik_bench [--pairs=N] [WORD...]\n");
        return 2;
    }
    std::printf(
        "Each ratio is the median of %d pairs of runs taken in turn (tool, floor), a pair of "
        "every line a round, the pairs' interquartile range in brackets; each run starts with "
        "cold caches and is timed in CPU time (bench/ratio.cpp, bench/cpu_clock.h).\n",
        options.pairs);
    std::fflush(stdout);
    // Before any measurement, so that no encoder runs beside one.
    plovik::bench::Media();
    // The lines in the order they print: the last ones after every other and the figures.
    std::vector<RatioLine> lines;
    for (const bool last : {false, true}) {
        for (const RatioLine& line : plovik::bench::RatioLines()) {
            if (line.last == last && options.Selects(line.label)) lines.push_back(line);
        }
    }
    const std::vector<RatioSpread> spreads = plovik::bench::MeasureRatios(lines, options.pairs);
    bool allMeasured = true;
    std::size_t printed = 0;
    for (; printed < lines.size() && !lines[printed].last; ++printed) {
        allMeasured = PrintRatio(lines[printed], spreads[printed]) && allMeasured;
    }
    for (const plovik::bench::FigureLines& figures : plovik::bench::Figures()) {
        if (options.Selects(figures.name)) allMeasured = figures.print() && allMeasured;
    }
    for (; printed < lines.size(); ++printed) {
        allMeasured = PrintRatio(lines[printed], spreads[printed]) && allMeasured;
    }
    return allMeasured ? 0 : 1;
}
