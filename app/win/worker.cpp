#include "worker.h"

#include <algorithm>

namespace plovik::win {

void CWorker::Start(HWND hNotify, Task task) {
    Stop();
    m_stop = false;
    const WPARAM serial = ++m_serial;
    m_thread = std::thread([this, hNotify, serial, task = std::move(task)] {
        int shown = -1;
        Context context{m_stop, [&](std::uint64_t done, std::uint64_t total) {
                            const int percent =
                                total == 0 ? 0
                                           : static_cast<int>(std::min(done, total) * 100 / total);
                            if (percent != shown) {
                                shown = percent;
                                PostMessageW(hNotify, kProgressMessage, serial, percent);
                            }
                            if (onProgress) onProgress(done, total, m_stop);
                        }};
        try {
            task(context);
        } catch (...) {
            // The task's result stays as it was when it threw; the window still learns the end.
        }
        PostMessageW(hNotify, kDoneMessage, serial, 0);
    });
}

void CWorker::Stop() {
    if (!m_thread.joinable()) return;
    m_stop = true;
    m_thread.join();
}

bool CWorker::Finish(WPARAM serial) {
    if (!IsCurrent(serial)) return false;
    m_thread.join();
    return true;
}

}  // namespace plovik::win
