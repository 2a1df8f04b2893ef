// Work on several threads with the results in item order: the order, the bound on results
// held, an item that blocks, a work that throws, and a stop.
#include "ordered_jobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace plovik {
namespace {

using namespace std::chrono_literals;

constexpr auto kNoIdle = [] {};

// The next result, -1 for none.
template <class T>
long long NextOf(OrderedJobs<T>& jobs) {
    const T* result = jobs.Next(kNoIdle, std::chrono::milliseconds(10));
    return result == nullptr ? -1 : static_cast<long long>(*result);
}

// Item 0 waits until another item has ended, so that the results come out of order and
// a worker other than the calling thread has surely made one.
TEST(OrderedJobs, ResultsInItemOrderWithAtMostSlotsHeld) {
    constexpr std::size_t kItems = 300;
    constexpr std::size_t kSlots = 8;
    std::atomic<std::size_t> started = 0;
    std::atomic<std::size_t> taken = 0;
    std::atomic<std::size_t> mostHeld = 0;
    std::atomic<bool> otherWorkers = false;
    std::atomic<bool> laterEnded = false;
    OrderedJobs<std::size_t> jobs(kItems, 4, kSlots, [&](std::size_t index, unsigned worker) {
        const std::size_t held = ++started - taken;
        for (std::size_t most = mostHeld;
             held > most && !mostHeld.compare_exchange_weak(most, held);) {
        }
        if (worker != 0) otherWorkers = true;
        if (index == 0) {
            while (!laterEnded) std::this_thread::yield();
        } else {
            laterEnded = true;
        }
        return index * 10;
    });
    for (std::size_t i = 0; i < kItems; ++i) {
        const std::size_t* result = jobs.Next(kNoIdle, 100ms);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(*result, i * 10);
        ++taken;
    }
    EXPECT_EQ(NextOf(jobs), -1);
    EXPECT_EQ(jobs.Finished(), kItems);
    EXPECT_LE(mostHeld, kSlots);
    EXPECT_TRUE(otherWorkers);
}

// A blocked first item, on whichever thread, lets the others fill the window and no more:
// it waits until the window's items have all begun and a worker sleeps for want of room,
// or more items than fit have begun.
TEST(OrderedJobs, BlockedItemHoldsBackOnlyItsWindow) {
    constexpr std::size_t kSlots = 6;
    std::atomic<std::size_t> started = 0;
    std::size_t startedWhileBlocked = 0;
    OrderedJobs<int> jobs(100, 3, kSlots, [&](std::size_t index, unsigned) {
        ++started;
        if (index == 0) {
            const auto windowFull = [&] {
                return started > kSlots || (started == kSlots && jobs.WaitingForRoom() != 0);
            };
            while (!windowFull()) std::this_thread::yield();
            startedWhileBlocked = started;
        }
        return static_cast<int>(index);
    });
    for (int i = 0; i < 100; ++i) EXPECT_EQ(NextOf(jobs), i);
    EXPECT_EQ(startedWhileBlocked, kSlots);
}

TEST(OrderedJobs, ThrowInItsPlaceAndStop) {
    OrderedJobs<int> jobs(50, 2, 4, [](std::size_t index, unsigned) {
        if (index == 3) throw std::runtime_error("item 3");
        return static_cast<int>(index);
    });
    for (int i = 0; i < 3; ++i) EXPECT_EQ(NextOf(jobs), i);
    EXPECT_THROW(NextOf(jobs), std::runtime_error);
    EXPECT_EQ(NextOf(jobs), 4);
    jobs.Stop();
    EXPECT_EQ(NextOf(jobs), -1);
}

TEST(OrderedJobs, OneJobWorksOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    OrderedJobs<bool> jobs(3, 1, 4, [&](std::size_t, unsigned worker) {
        return worker == 0 && std::this_thread::get_id() == caller;
    });
    for (int i = 0; i < 3; ++i) EXPECT_EQ(NextOf(jobs), 1);
}

}  // namespace
}  // namespace plovik
