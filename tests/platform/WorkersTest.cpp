// The pool and the band stream: whatever the number of workers, also none,
// and however long each band takes, the writer gets every band once, in
// order, with what was rendered for it; a failed write and an exception in a
// worker end the stream at once and reach the caller; a thread that cannot
// start only means fewer workers.
#include "platform/LargeBuffers.h"
#include "platform/Workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace
{

constexpr int32_t kBands = 40;
constexpr size_t kBandBytes = 64;

// Fills a band with its number and sleeps a random while, so that bands finish
// out of order.
void RenderSlowly(int32_t band, uint8_t* buffer)
{
    thread_local std::mt19937 random(static_cast<unsigned>(std::hash<std::thread::id>()(std::this_thread::get_id())));
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 300)(random)));
    std::fill(buffer, buffer + kBandBytes, static_cast<uint8_t>(band));
}

// A thread starter that refuses from its failAt-th call on, by throwing
// Failure; the starts before that go through.
template <typename Failure>
struct RefusingStarter
{
    static inline int s_calls = 0;
    static inline int s_failAt = 0;
    static std::thread Start(std::function<void()> body)
    {
        if (++s_calls >= s_failAt)
            throw Failure();
        return std::thread(std::move(body));
    }
};

struct RefusedThread : std::system_error
{
    RefusedThread() : std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)) {}
};

template <typename Failure>
CWorkerPool PoolFailingAt(int32_t size, int failAt)
{
    RefusingStarter<Failure>::s_calls = 0;
    RefusingStarter<Failure>::s_failAt = failAt;
    return CWorkerPool(size, RefusingStarter<Failure>::Start);
}

// StreamBands on pool: every band written once, in order, with its content.
void ExpectEveryBandInOrder(CWorkerPool& pool)
{
    CBufferKeeper keeper;
    std::vector<int32_t> written;
    const Status status = StreamBands(
        pool, kBands, kBandBytes, keeper,
        [&](int32_t band, uint8_t* buffer, int32_t worker) {
            EXPECT_LT(worker, pool.Size());
            RenderSlowly(band, buffer);
        },
        [&](int32_t band, const uint8_t* buffer) {
            EXPECT_EQ(buffer[0], band);
            EXPECT_EQ(buffer[kBandBytes - 1], band);
            written.push_back(band);
            return kStatusOk;
        });
    EXPECT_EQ(status, kStatusOk);
    std::vector<int32_t> expected(kBands);
    for (int32_t band = 0; band < kBands; ++band)
        expected[band] = band;
    EXPECT_EQ(written, expected) << pool.Threads() << " threads";
}

}  // namespace

TEST(StreamBands, EveryBandOnceInOrderWhateverTheWorkers)
{
    for (const int32_t workers : {1, 2, 3, 8, 64})
    {
        CWorkerPool pool(workers);
        ASSERT_EQ(pool.Size(), workers);
        ASSERT_EQ(pool.Threads(), workers > 1 ? workers : 0) << "a pool of one runs on the caller";
        ExpectEveryBandInOrder(pool);
        ExpectEveryBandInOrder(pool);  // the same threads serve a second stream
    }
}

// Threads refused at the first, second and fourth start, by std::system_error
// and by std::bad_alloc: the pool runs with the ones that started (none: the
// caller does the work), and every task still runs for every worker.
TEST(WorkerPool, ThreadsThatCannotStartMeanFewerWorkers)
{
    for (const int failAt : {1, 2, 4})
    {
        CWorkerPool pools[2] = {PoolFailingAt<RefusedThread>(6, failAt), PoolFailingAt<std::bad_alloc>(6, failAt)};
        for (CWorkerPool& pool : pools)
        {
            EXPECT_EQ(pool.Threads(), failAt - 1);
            EXPECT_EQ(pool.Size(), std::max(1, failAt - 1));
            std::vector<std::atomic<int>> runs(static_cast<size_t>(pool.Size()));
            pool.Run([&](int32_t worker) { ++runs[static_cast<size_t>(worker)]; });
            for (const std::atomic<int>& count : runs)
                EXPECT_EQ(count, 1);
            ExpectEveryBandInOrder(pool);
        }
    }
}

TEST(WorkerPool, ATasksExceptionReachesTheCallerAndThePoolGoesOn)
{
    CWorkerPool pool(3);
    EXPECT_THROW(pool.Run([](int32_t worker) {
        if (worker == 1)
            throw std::bad_alloc();
    }),
                 std::bad_alloc);
    std::atomic<int> runs{0};
    pool.Run([&](int32_t) { ++runs; });
    EXPECT_EQ(runs, 3);
}

TEST(StreamBands, StopsAtAFailedWriteOrAFailedRender)
{
    CWorkerPool pool(3);
    CBufferKeeper keeper;
    std::atomic<int32_t> writes{0};
    const Status status = StreamBands(
        pool, kBands, kBandBytes, keeper, [](int32_t band, uint8_t* buffer, int32_t) { RenderSlowly(band, buffer); },
        [&](int32_t band, const uint8_t*) { return ++writes, band == 5 ? ENOSPC : kStatusOk; });
    EXPECT_EQ(status, ENOSPC);
    EXPECT_EQ(writes, 6);

    // Band 7 fails once bands 0 to 6 are written: those seven and no other.
    writes = 0;
    EXPECT_THROW(StreamBands(
                     pool, kBands, kBandBytes, keeper,
                     [&](int32_t band, uint8_t* buffer, int32_t) {
                         if (band == 7)
                         {
                             while (writes < 7)
                                 std::this_thread::yield();
                             throw std::bad_alloc();
                         }
                         RenderSlowly(band, buffer);
                     },
                     [&](int32_t, const uint8_t*) { return ++writes, kStatusOk; }),
                 std::bad_alloc);
    EXPECT_EQ(writes, 7);
}

// The count follows the processors the run may use, capped.
TEST(WorkerCount, FollowsTheAffinityMaskAndTheCap)
{
    EXPECT_EQ(WorkerCountFor(0), 1);
    EXPECT_EQ(WorkerCountFor(1), 1);
    EXPECT_EQ(WorkerCountFor(kMaxWorkers), kMaxWorkers);
    EXPECT_EQ(WorkerCountFor(4096), kMaxWorkers);
#if defined(__linux__)
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    int first = 0;
    while (!CPU_ISSET(first, &saved))
        ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const int32_t workers = WorkerCount();
    sched_setaffinity(0, sizeof saved, &saved);
    EXPECT_EQ(workers, 1) << "as under taskset -c " << first;
#endif
}
