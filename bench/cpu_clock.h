// The clock of every bench figure. CPU time, so that the time a run waits for a processor
// that another program holds is not counted; of the calling thread and of the rest of the
// process, the busier one. For a run on one thread that is its CPU time; for a run on two
// (plovik-report -j 2 and its floor) it is the time the run takes on two processors of its
// own (ratio.cpp gives it them), as long as neither thread waits for the other for long.
#pragma once

#include <time.h>

#include <algorithm>

namespace plovik::bench {

class CpuStopwatch {
  public:
    CpuStopwatch() : m_start(Now()) {}

    double Seconds() const {
        const Reading now = Now();
        const double thread = now.thread - m_start.thread;
        const double rest = now.process - m_start.process - thread;
        return std::max(thread, rest);
    }

  private:
    struct Reading {
        double thread = 0;
        double process = 0;  // every thread's, those that ended included
    };

    static double Clock(clockid_t clock) {
        timespec now{};
        clock_gettime(clock, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    static Reading Now() {
        return {Clock(CLOCK_THREAD_CPUTIME_ID), Clock(CLOCK_PROCESS_CPUTIME_ID)};
    }

    Reading m_start;
};

}  // namespace plovik::bench
