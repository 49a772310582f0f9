// Benchmarks of the input stages: reading and unpacking the two fields, and
// laying them into the composite mosaic.
#include "bench/BenchSupport.h"
#include "tools/Chart.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

// UnpackSamples over both packed blocks held in memory; bytes of packed input.
void BM_UnpackFields(benchmark::State& state)
{
    const std::vector<uint8_t> file = MakeChartFile();
    const int64_t groups = CRawX10::kBlockBytes / 3;
    std::vector<uint16_t> field0(static_cast<size_t>(2 * groups));
    std::vector<uint16_t> field1(static_cast<size_t>(2 * groups));
    for (auto _ : state)
    {
        UnpackSamples(file.data(), groups, field0.data());
        UnpackSamples(file.data() + CRawX10::BlockOffsetInTail(1), groups, field1.data());
        benchmark::DoNotOptimize(field0.data());
        benchmark::DoNotOptimize(field1.data());
    }
    state.SetBytesProcessed(state.iterations() * 2 * CRawX10::kBlockBytes);
}
BENCHMARK(BM_UnpackFields)->Unit(benchmark::kMillisecond);

// CRawX10::Load on the chart file: open, read, unpack and build the mosaic,
// with every buffer freshly allocated; bytes of the file's tail.
void BM_LoadChart(benchmark::State& state)
{
    const std::string& path = benchsupport::ChartPath();
    for (auto _ : state)
    {
        CRawX10 raw;
        if (raw.Load(path.c_str()) != kStatusOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(raw.m_mosaic.get());
    }
    state.SetBytesProcessed(state.iterations() * CRawX10::kTailBytes);
}
BENCHMARK(BM_LoadChart)->Unit(benchmark::kMillisecond)->UseRealTime();

// CRawX10::BuildMosaic from loaded fields, the mosaic allocated anew each
// time as in a run; cells of the mosaic.
void BM_BuildMosaic(benchmark::State& state)
{
    CRawX10 raw;
    benchsupport::CopyLoadedChart(raw);
    for (auto _ : state)
    {
        raw.m_mosaic.reset();
        raw.BuildMosaic();
        benchmark::DoNotOptimize(raw.m_mosaic.get());
    }
    state.SetItemsProcessed(state.iterations() * benchsupport::kMosaicCells);
}
BENCHMARK(BM_BuildMosaic)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
