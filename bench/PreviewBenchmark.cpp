// Benchmarks of the output stages: the BMP writer alone, and each preview
// from its pixel buffer to the written file (files replace those of the
// previous iteration, as in repeated runs).
#include "bench/BenchSupport.h"
#include "formats/BmpWriter.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{

// SaveBmp32 of a 5088 x 5088 image; bytes of pixels written.
void BM_SaveBmp32(benchmark::State& state)
{
    const int64_t bytes = benchsupport::kMosaicCells * 4;
    auto pixels = std::make_unique<uint8_t[]>(static_cast<size_t>(bytes));
    for (int64_t i = 0; i < bytes; ++i)
        pixels[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    const std::string name = benchsupport::ScratchPath("write.bmp");
    for (auto _ : state)
        if (SaveBmp32(name.c_str(), CRawX10::kMosaicSide, CRawX10::kMosaicSide, pixels.get()) == 0)
            state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_SaveBmp32)->Unit(benchmark::kMillisecond)->UseRealTime();

// One field preview; pixels.
void BM_SaveFieldPreview(benchmark::State& state)
{
    CRawX10 raw;
    benchsupport::CopyLoadedChart(raw);
    for (auto _ : state)
        if (raw.SaveFieldPreview(raw.m_field0.get()) != kStatusOk)
            state.SkipWithError("write failed");
    state.SetItemsProcessed(state.iterations() * benchsupport::kFieldCells);
}
BENCHMARK(BM_SaveFieldPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

// The composite mosaic preview; pixels.
void BM_SaveMosaicPreview(benchmark::State& state)
{
    CRawX10 raw;
    benchsupport::CopyLoadedChart(raw);
    for (auto _ : state)
        if (raw.SaveMosaicPreview() != kStatusOk)
            state.SkipWithError("write failed");
    state.SetItemsProcessed(state.iterations() * benchsupport::kMosaicCells);
}
BENCHMARK(BM_SaveMosaicPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
