// Two runs on two threads at once, as the library's other callers make them:
// each renders with the per-cell rules, explains cells and writes its
// demosaiced image, on mosaics of two sizes, and gets the bytes it gets alone.
#include "SmallMosaic.h"
#include "TestSupport.h"
#include "demosaic/Demosaic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace
{

struct SmallRun
{
    CRawX10 raw{2};
    std::vector<uint8_t> byCell;  // RenderBalancedRowsByCell, alone
    std::vector<uint8_t> image;   // the file Demosaic writes, alone
};

void Prepare(SmallRun& run, int32_t side, unsigned seed, const std::filesystem::path& path)
{
    GiveSquareMosaic(run.raw, side);
    run.raw.m_path = path.string();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(0, 4095);
    for (int32_t i = 0; i < side * side; ++i)
        run.raw.m_mosaic[static_cast<size_t>(i)] = static_cast<uint16_t>(sample(random));
}

std::vector<uint8_t> RenderByCell(const CRawX10& raw)
{
    const int32_t side = raw.MosaicSide();
    std::vector<uint8_t> pixels(static_cast<size_t>(side) * static_cast<size_t>(side) * 4);
    RenderBalancedRowsByCell(RowsOf(raw), 0, side, pixels.data());
    return pixels;
}

}  // namespace

TEST(ConcurrentRuns, TwoThreadsRenderAndWriteTwoFilesAtOnce)
{
    testsupport::TempDir dir;
    const int32_t sides[2] = {48, 72};
    SmallRun runs[2];
    for (int i = 0; i < 2; ++i)
    {
        // Alone first, on a copy of the same samples, for the expected bytes.
        SmallRun alone;
        Prepare(alone, sides[i], 7u + static_cast<unsigned>(i), dir / ("alone" + std::to_string(i)));
        Prepare(runs[i], sides[i], 7u + static_cast<unsigned>(i), dir / ("run" + std::to_string(i)));
        runs[i].byCell = RenderByCell(alone.raw);
        ASSERT_EQ(alone.raw.Demosaic(), kStatusOk);
        runs[i].image = testsupport::ReadFile(alone.raw.m_path + ".bmp");
    }

    std::vector<std::thread> threads;
    int mismatches[2] = {};
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            SmallRun& run = runs[i];
            const int32_t side = sides[i];
            for (int round = 0; round < 100; ++round)
            {
                mismatches[i] += RenderByCell(run.raw) != run.byCell;
                for (int32_t r = kWindowMargin; r < side - kWindowMargin; ++r)
                    for (int32_t c = kWindowMargin; c < side - kWindowMargin; ++c)
                    {
                        const size_t pixel = static_cast<size_t>((side - r) * side + side - c) * 4;
                        mismatches[i] += std::memcmp(InterpolateCell(RowsOf(run.raw), r, c).pixel, &run.byCell[pixel], 4) != 0;
                    }
            }
            mismatches[i] += run.raw.Demosaic() != kStatusOk;
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(mismatches[i], 0) << "side " << sides[i];
        EXPECT_EQ(testsupport::ReadFile(runs[i].raw.m_path + ".bmp"), runs[i].image) << "side " << sides[i];
    }
}
