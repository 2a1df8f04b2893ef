// Items worked on by several threads, their results taken one by one in item order on the
// calling thread, which works on items too while the next result is not there yet.
// Memory stays bounded: an item starts only while fewer than `slots` results are in flight
// or waiting for an earlier one, so a slow item holds back the results after it, and no
// more items start than fit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
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
        : m_count(count), m_slots(slots < jobs ? jobs : slots), m_work(std::move(work)) {
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

    // The next result in order; nullopt after the last or after Stop. While it can only
    // wait, idle is called every idleEvery. A work that threw rethrows here, in its place.
    std::optional<Result> Next(const std::function<void()>& idle,
                               std::chrono::milliseconds idleEvery) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_stop || m_taken == m_count) return std::nullopt;
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

  private:
    struct Slot {
        bool done = false;
        std::optional<Result> result;
        std::exception_ptr error;
    };

    Slot& SlotOf(std::size_t index) { return m_slots[index % m_slots.size()]; }
    bool CanStart() const { return m_started < m_count && m_started < m_taken + m_slots.size(); }

    // Starts the next item and keeps its result in its slot; called and returns locked.
    void RunOne(std::unique_lock<std::mutex>& lock, unsigned worker) {
        const std::size_t index = m_started++;
        lock.unlock();
        Slot slot{.done = true, .result = std::nullopt, .error = nullptr};
        try {
            slot.result.emplace(m_work(index, worker));
        } catch (...) {
            slot.error = std::current_exception();
        }
        lock.lock();
        SlotOf(index) = std::move(slot);
        ++m_finished;
        if (index == m_taken) m_resultDone.notify_one();  // the one Next waits for
    }

    std::optional<Result> Take(std::unique_lock<std::mutex>& lock) {
        Slot taken = std::move(SlotOf(m_taken));
        SlotOf(m_taken) = Slot{};
        ++m_taken;
        const bool wake = m_waitingWorkers != 0 && HalfFree();
        lock.unlock();
        if (wake) m_slotFree.notify_all();
        if (taken.error) std::rethrow_exception(taken.error);
        return std::move(taken.result);
    }

    // A worker that met a full window sleeps until half of it is free: one wake-up for
    // many items, not one for each.
    bool HalfFree() const { return m_started - m_taken <= m_slots.size() / 2; }

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
    Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_slotFree;    // workers wait for room
    std::condition_variable m_resultDone;  // Next waits for its item
    std::size_t m_started = 0;             // items begun
    std::size_t m_taken = 0;               // results handed out by Next
    unsigned m_waitingWorkers = 0;
    std::atomic<std::size_t> m_finished = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;  // last: started once the rest is set up
};

}  // namespace plovik
