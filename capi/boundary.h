// What every entry point of the C interface shares: this thread's last error, the texts it
// hands out, and the guard that keeps exceptions from crossing into C.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>

#include "plovik/plovik.h"
#include "plovik/repair.h"

namespace plovik::capi {

// Keeps message as this thread's last error and returns status.
plovik_status Fail(plovik_status status, std::string_view message) noexcept;

// A copy of text for the caller, freed with plovik_free; null when memory runs out.
char* HandedOut(std::string_view text, size_t* length);

// Runs work, which returns a status; an exception becomes PLOVIK_ERROR_NO_MEMORY or
// PLOVIK_ERROR_INTERNAL.
template <class Work>
plovik_status Guarded(Work&& work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return Fail(PLOVIK_ERROR_NO_MEMORY, "out of memory");
    } catch (const std::exception& error) {
        return Fail(PLOVIK_ERROR_INTERNAL, error.what());
    } catch (...) {
        return Fail(PLOVIK_ERROR_INTERNAL, "an unexpected failure");
    }
}

// The caller's progress callback as the core's, and its nonzero answer as the core's stop
// flag: the core looks at both at the same steps.
class ProgressRelay {
  public:
    ProgressRelay(plovik_progress_fn progress, void* user) : m_progress(progress), m_user(user) {}
    ProgressRelay(const ProgressRelay&) = delete;
    ProgressRelay& operator=(const ProgressRelay&) = delete;

    // Empty without a callback.
    std::function<void(std::uint64_t, std::uint64_t)> Callback() {
        if (m_progress == nullptr) return {};
        return [this](std::uint64_t done, std::uint64_t total) {
            if (m_progress(m_user, done, total) != 0) m_stop = true;
        };
    }
    // A repair's progress as one count over its three phases.
    std::function<void(RepairPhase, std::uint64_t, std::uint64_t)> RepairCallback() {
        if (m_progress == nullptr) return {};
        return [this](RepairPhase phase, std::uint64_t done, std::uint64_t total) {
            constexpr std::uint64_t kWhole = 1000000;
            const auto overall =
                static_cast<std::uint64_t>(RepairDone(phase, done, total) * kWhole);
            if (m_progress(m_user, overall, kWhole) != 0) m_stop = true;
        };
    }
    const std::atomic<bool>* Flag() const { return &m_stop; }
    bool Stopped() const { return m_stop; }

  private:
    plovik_progress_fn m_progress;
    void* m_user;
    std::atomic<bool> m_stop = false;
};

}  // namespace plovik::capi
