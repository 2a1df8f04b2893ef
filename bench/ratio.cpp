#include "ratio.h"

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "cpu_clock.h"

namespace plovik::bench {
namespace {

// Enough to push the bench's data out of the last-level cache: a quarter more than its size.
std::size_t SweepBytes() {
    constexpr std::size_t kMiB = 1 << 20;
    const long cache = sysconf(_SC_LEVEL3_CACHE_SIZE);
    const std::size_t bytes = cache > 0 ? static_cast<std::size_t>(cache) / 4 * 5 : 256 * kMiB;
    return std::clamp(bytes, 64 * kMiB, 1024 * kMiB);
}

// Every timed run starts with the processor's caches empty of what the bench used, as the
// first run of a program finds them. A run that found its file's bytes and its own heap still
// there would depend on how much of the caches, which every program on the machine shares
// (the last level is as large as the files here), the others took in the meantime.
void EmptyCaches() {
    static const std::vector<unsigned char> sweep(SweepBytes(), 1);
    unsigned sum = 0;
    for (std::size_t i = 0; i < sweep.size(); i += 64) sum += sweep[i];
    benchmark::DoNotOptimize(sum);
}

// While it lives, the calling thread and the threads it starts run before any other program's
// (the lowest real-time priority), where the system allows it. A run on two threads gets both
// processors so: its threads run side by side, contending with each other as on an idle
// machine, rather than taking turns with another program's. CPU time cannot stand in for
// that, for two threads that take turns contend less. A run lasts a few milliseconds, and
// the system keeps a share of every second for the others whatever the priorities.
class Processors {
  public:
    Processors() {
        const sched_param realtime{.sched_priority = 1};
        m_held = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0;
    }
    ~Processors() {
        const sched_param normal{.sched_priority = 0};
        if (m_held) pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    }
    Processors(const Processors&) = delete;
    Processors& operator=(const Processors&) = delete;

    bool Held() const { return m_held; }

  private:
    bool m_held = false;
};

struct RunTime {
    double seconds = 0;
    bool sideBySide = false;
};

// One run's time; nullopt when it failed.
std::optional<RunTime> TimedRun(const Run& run, bool twoThreads) {
    EmptyCaches();
    const std::optional<Processors> processors =
        twoThreads ? std::optional<Processors>(std::in_place) : std::nullopt;
    const CpuStopwatch watch;
    if (!run()) return std::nullopt;
    return RunTime{watch.Seconds(), processors && processors->Held()};
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

// One line's pairs as the rounds add them; none once a run failed. A first run of each side,
// not timed, makes the files it reads.
class PairSeries {
  public:
    explicit PairSeries(const RatioLine& line)
        : m_line(line), m_failed(!line.measured() || !line.floor()) {}

    void AddPair() {
        if (m_failed) return;
        const std::optional<RunTime> tool = TimedRun(m_line.measured, m_line.twoThreads);
        const std::optional<RunTime> base =
            tool ? TimedRun(m_line.floor, m_line.twoThreads) : std::nullopt;
        m_failed = !base || base->seconds <= 0;
        if (m_failed) return;
        m_sideBySide = m_sideBySide && tool->sideBySide && base->sideBySide;
        m_measured.push_back(tool->seconds);
        m_floor.push_back(base->seconds);
        m_ratios.push_back(tool->seconds / base->seconds);
    }

    RatioSpread Spread() const {
        if (m_failed || m_ratios.empty()) return {};
        std::vector<double> sorted = m_ratios;
        std::sort(sorted.begin(), sorted.end());
        return {.median = Quantile(sorted, 0.5),
                .lower = Quantile(sorted, 0.25),
                .upper = Quantile(sorted, 0.75),
                .pairs = static_cast<int>(sorted.size()),
                .measuredSeconds = Median(m_measured),
                .floorSeconds = Median(m_floor),
                .sideBySide = m_line.twoThreads && m_sideBySide};
    }

  private:
    const RatioLine& m_line;
    bool m_failed;
    bool m_sideBySide = true;
    std::vector<double> m_measured;
    std::vector<double> m_floor;
    std::vector<double> m_ratios;
};

}  // namespace

std::vector<RatioSpread> MeasureRatios(const std::vector<RatioLine>& lines, int pairs) {
    std::vector<PairSeries> series;
    series.reserve(lines.size());
    for (const RatioLine& line : lines) series.emplace_back(line);
    const bool progress = isatty(STDERR_FILENO) != 0;
    for (int round = 0; round < pairs; ++round) {
        for (PairSeries& line : series) line.AddPair();
        if (progress) std::fprintf(stderr, "\rround %d of %d", round + 1, pairs);
    }
    if (progress) std::fprintf(stderr, "\n");
    std::vector<RatioSpread> spreads;
    for (const PairSeries& line : series) spreads.push_back(line.Spread());
    return spreads;
}

}  // namespace plovik::bench
