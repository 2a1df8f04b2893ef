#include "ratio.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "cpu_clock.h"

namespace plovik::bench {
namespace {

// Each side of a pair lasts at least this long, in as many runs as that takes: a side of one
// short run would measure little more than the caches that the other side left behind.
constexpr double kSideSeconds = 0.05;

// A run's mean time over count runs; nullopt when one failed.
std::optional<double> MeanSeconds(const Run& run, int count) {
    const CpuStopwatch watch;
    for (int i = 0; i < count; ++i) {
        if (!run()) return std::nullopt;
    }
    return watch.Seconds() / count;
}

// The runs to a side: enough for kSideSeconds, judged by a timed run after one that is not
// timed (it makes the side's files and fills the caches).
std::optional<int> RunsPerSide(const Run& run) {
    if (!run()) return std::nullopt;
    const std::optional<double> once = MeanSeconds(run, 1);
    if (!once) return std::nullopt;
    return static_cast<int>(std::clamp(std::ceil(kSideSeconds / *once), 1.0, 1e4));
}

// The q-quantile of sorted values, between the two nearest.
double Quantile(const std::vector<double>& sorted, double q) {
    const double at = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(at);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return Quantile(values, 0.5);
}

}  // namespace

RatioSpread MeasureRatio(const RatioLine& line, int pairs) {
    const std::optional<int> measuredRuns = RunsPerSide(line.measured);
    const std::optional<int> floorRuns = measuredRuns ? RunsPerSide(line.floor) : std::nullopt;
    if (!floorRuns || pairs <= 0) return {};
    std::vector<double> measured;
    std::vector<double> floor;
    std::vector<double> ratios;
    for (int i = 0; i < pairs; ++i) {
        const std::optional<double> tool = MeanSeconds(line.measured, *measuredRuns);
        const std::optional<double> base = tool ? MeanSeconds(line.floor, *floorRuns) : tool;
        if (!base || *base <= 0) return {};
        measured.push_back(*tool);
        floor.push_back(*base);
        ratios.push_back(*tool / *base);
    }
    std::sort(ratios.begin(), ratios.end());
    return {.median = Quantile(ratios, 0.5),
            .lower = Quantile(ratios, 0.25),
            .upper = Quantile(ratios, 0.75),
            .pairs = pairs,
            .measuredSeconds = Median(measured),
            .floorSeconds = Median(floor)};
}

}  // namespace plovik::bench
