// The band stream: whatever the number of workers and however long each band
// takes, the writer gets every band once, in order, with what was rendered for
// it; a failed write and an exception in a renderer end the stream at once.
#include "platform/LargeBuffers.h"
#include "platform/Workers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <new>
#include <random>
#include <thread>
#include <vector>

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

}  // namespace

TEST(StreamBands, EveryBandOnceInOrderWhateverTheWorkers)
{
    for (const int32_t workers : {1, 2, 3, 8})
    {
        CBufferKeeper keeper;
        std::vector<int32_t> written;
        const Status status = StreamBands(
            kBands, kBandBytes, keeper, [](int32_t band, uint8_t* buffer, int32_t) { RenderSlowly(band, buffer); },
            [&](int32_t band, const uint8_t* buffer) {
                EXPECT_EQ(buffer[0], band);
                EXPECT_EQ(buffer[kBandBytes - 1], band);
                written.push_back(band);
                return kStatusOk;
            },
            workers);
        EXPECT_EQ(status, kStatusOk);
        std::vector<int32_t> expected(kBands);
        for (int32_t band = 0; band < kBands; ++band)
            expected[band] = band;
        EXPECT_EQ(written, expected) << workers << " workers";
    }
}

TEST(StreamBands, StopsAtAFailedWriteOrAFailedRender)
{
    CBufferKeeper keeper;
    int32_t writes = 0;
    const Status status = StreamBands(
        kBands, kBandBytes, keeper, [](int32_t band, uint8_t* buffer, int32_t) { RenderSlowly(band, buffer); },
        [&](int32_t band, const uint8_t*) { return ++writes, band == 5 ? ENOSPC : kStatusOk; }, 3);
    EXPECT_EQ(status, ENOSPC);
    EXPECT_EQ(writes, 6);

    writes = 0;
    EXPECT_THROW(StreamBands(
                     kBands, kBandBytes, keeper,
                     [](int32_t band, uint8_t* buffer, int32_t) {
                         if (band == 7)
                             throw std::bad_alloc();
                         RenderSlowly(band, buffer);
                     },
                     [&](int32_t, const uint8_t*) { return ++writes, kStatusOk; }, 3),
                 std::bad_alloc);
    EXPECT_LE(writes, 7) << "no band after the failed one is written";
}
