// One task at a time on a worker thread. The task tells a window how far it came and that
// it ended by posted messages and never touches a window itself, so the window keeps
// answering while it runs.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace plovik::win {

class CWorker {
  public:
    // wParam: the task's serial; lParam: the percent done (0..100), posted when it changes.
    static constexpr UINT kProgressMessage = WM_APP + 1;
    // wParam: the task's serial. The task has returned (or thrown).
    static constexpr UINT kDoneMessage = WM_APP + 2;

    // What a task gets: the stop request to look at now and then, and where to tell the
    // bytes done of the bytes to do.
    struct Context {
        const std::atomic<bool>& stop;
        std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    };
    using Task = std::function<void(const Context&)>;

    CWorker() = default;
    ~CWorker() { Stop(); }
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Runs task on a thread of its own, telling hNotify; a task still running is stopped
    // first.
    void Start(HWND hNotify, Task task);
    bool Running() const { return m_thread.joinable(); }
    // Asks the task to stop and waits until it has returned. Its messages still queued no
    // longer belong to a running task (IsCurrent is false for them).
    void Stop();
    // Whether a message came from the task that is running now.
    bool IsCurrent(WPARAM serial) const { return Running() && serial == m_serial; }
    // For the done message of the running task: waits for its thread (it is ending) and
    // returns true; false for a message of a task that was stopped.
    bool Finish(WPARAM serial);

    // Called on the task's thread whenever it tells its progress, after the window was told
    // (tests hold a task there until it is asked to stop).
    std::function<void(std::uint64_t done, std::uint64_t total, const std::atomic<bool>& stop)>
        onProgress;

  private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    WPARAM m_serial = 0;
};

}  // namespace plovik::win
