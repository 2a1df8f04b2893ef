// Items worked on by several threads, their results taken one by one in item order on the
// calling thread, which works on items too while the next result is not there yet.
// Memory stays bounded: an item starts only while fewer than `slots` results are in flight,
// waiting for an earlier one or in use, so a slow item holds back the results after it,
// and no more items start than fit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace plovik {

template <class Result>
class OrderedJobs {
  public:
    // work(index, worker) gives the result of one item. Each worker does one item at a
    // time; worker 0 is the thread that calls Next.
    using Work = std::function<Result(std::size_t index, unsigned worker)>;

    // The items 0 .. count-1 on the calling thread and up to jobs - 1 more threads.
    OrderedJobs(std::size_t count, unsigned jobs, std::size_t slots, Work work)
        : m_count(count),
          m_slots(slots < jobs ? jobs : slots),
          m_spent(jobs == 0 ? 1 : jobs),
          m_freeing(m_spent.size()),
          m_work(std::move(work)) {
        // Room for every result, so that giving one back never allocates while locked.
        for (auto& spent : m_spent) spent.reserve(m_slots.size());
        for (auto& freeing : m_freeing) freeing.reserve(m_slots.size());
        for (unsigned worker = 1; worker < jobs && worker < count; ++worker) {
            try {
                m_threads.emplace_back(&OrderedJobs::RunWorker, this, worker);
            } catch (const std::system_error&) {
                break;  // the system gives no more threads: fewer workers
            }
        }
    }
    ~OrderedJobs() {
        Stop();
        for (std::thread& thread : m_threads) thread.join();
    }
    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    // The next result in order, valid until the next call; null after the last or after
    // Stop. While it can only wait, idle is called every idleEvery. A work that threw
    // rethrows here, in its place.
    const Result* Next(const std::function<void()>& idle, std::chrono::milliseconds idleEvery) {
        if (m_threads.empty()) return RunAlone();
        [[maybe_unused]] std::unique_ptr<Result> own;  // freed once the lock is given back
        std::unique_lock lock(m_mutex, std::defer_lock);
        LockSoon(lock);
        own = ReleaseHeld();
        for (;;) {
            if (m_stop || m_taken == m_count) return nullptr;
            if (SlotOf(m_taken).done) return Take(lock);
            if (CanStart()) {
                RunOne(lock, 0);
            } else if (m_resultDone.wait_for(lock, idleEvery) == std::cv_status::timeout) {
                lock.unlock();
                idle();
                lock.lock();
            }
        }
    }

    // No more results are wanted: the workers end after their current item (a long one
    // may end early by throwing when its caller tells it to).
    void Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_slotFree.notify_all();
    }

    // The items whose work has ended, taken or not.
    std::size_t Finished() const { return m_finished; }

    // Workers asleep until the window has room again (tests wait for a full window).
    unsigned WaitingForRoom() {
        std::lock_guard lock(m_mutex);
        return m_waitingWorkers;
    }

  private:
    struct Slot {
        bool done = false;
        unsigned worker = 0;             // who made the result
        std::unique_ptr<Result> result;  // moved about by a pointer while locked
        std::exception_ptr error;
    };

    // The lock is held for a few instructions at a time: waiting for it a moment is cheaper
    // than sleeping, which costs both threads a system call.
    static void LockSoon(std::unique_lock<std::mutex>& lock) {
        for (int tries = 0; tries < 100; ++tries) {
            if (lock.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        lock.lock();
    }

    // Without other workers: each item in turn, with no lock and no slot.
    const Result* RunAlone() {
        if (m_stop || m_taken == m_count) return nullptr;
        m_alone.reset();
        m_alone.emplace(m_work(m_taken++, 0));
        ++m_finished;
        return &*m_alone;
    }

    Slot& SlotOf(std::size_t index) { return m_slots[index % m_slots.size()]; }
    std::size_t Held() const { return m_started - m_released; }
    bool CanStart() const { return m_started < m_count && Held() < m_slots.size(); }
    // A worker that met a full window sleeps until half of it is free: one wake-up for
    // many items, not one for each.
    bool HalfFree() const { return Held() <= m_slots.size() / 2; }

    // Gives back the slot of the result handed out last. A worker's result goes back to
    // that worker, which frees its memory where it was allocated (a free from another
    // thread costs a lock that the allocating thread then waits for); this thread's own
    // is returned, to be freed once unlocked.
    std::unique_ptr<Result> ReleaseHeld() {
        std::unique_ptr<Result> own;
        if (m_released == m_taken) return own;
        Slot& slot = SlotOf(m_released);
        if (slot.worker == 0) {
            own = std::move(slot.result);
        } else if (slot.result) {
            m_spent[slot.worker].push_back(std::move(slot.result));
        }
        slot = Slot{};
        m_released = m_taken;
        if (m_waitingWorkers != 0 && HalfFree()) m_slotFree.notify_all();
        return own;
    }

    // Starts the next item and makes its result in its slot, which no one else touches
    // until it is done; called and returns locked.
    void RunOne(std::unique_lock<std::mutex>& lock, unsigned worker) {
        const std::size_t index = m_started++;
        Slot& slot = SlotOf(index);
        m_spent[worker].swap(m_freeing[worker]);
        lock.unlock();
        m_freeing[worker].clear();
        slot.worker = worker;
        try {
            slot.result = std::make_unique<Result>(m_work(index, worker));
        } catch (...) {
            slot.error = std::current_exception();
        }
        LockSoon(lock);
        slot.done = true;
        ++m_finished;
        if (index == m_taken) m_resultDone.notify_one();  // the one Next waits for
    }

    // Hands out the next result; its slot stays in use until the next call of Next.
    const Result* Take(std::unique_lock<std::mutex>& lock) {
        Slot& slot = SlotOf(m_taken++);
        if (slot.error) {
            const std::exception_ptr error = slot.error;
            ReleaseHeld();
            lock.unlock();
            std::rethrow_exception(error);
        }
        return &*slot.result;
    }

    void RunWorker(unsigned worker) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_stop || m_started == m_count) return;
            if (CanStart()) {
                RunOne(lock, worker);
                continue;
            }
            ++m_waitingWorkers;
            m_slotFree.wait(lock, [this] { return m_stop || m_started == m_count || HalfFree(); });
            --m_waitingWorkers;
        }
    }

    const std::size_t m_count;
    std::vector<Slot> m_slots;  // item i's result waits in slot i % size
    // Results taken, to be freed by the workers that made them; a worker frees them in
    // m_freeing, its own, while unlocked.
    std::vector<std::vector<std::unique_ptr<Result>>> m_spent;
    std::vector<std::vector<std::unique_ptr<Result>>> m_freeing;
    Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_slotFree;    // workers wait for room
    std::condition_variable m_resultDone;  // Next waits for its item
    std::size_t m_started = 0;             // items begun
    std::size_t m_taken = 0;               // results handed out by Next
    std::size_t m_released = 0;            // of those, the ones whose slot is free again
    unsigned m_waitingWorkers = 0;
    std::atomic<std::size_t> m_finished = 0;
    bool m_stop = false;
    std::optional<Result> m_alone;       // the result RunAlone handed out
    std::vector<std::thread> m_threads;  // last: started once the rest is set up
};

}  // namespace plovik
