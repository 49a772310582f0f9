// Benchmark of the whole run on the chart, stage for stage as the program
// runs it (without process start and exit); cells of the mosaic.
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

namespace
{

void BM_WholePipeline(benchmark::State& state)
{
    const std::string& path = benchsupport::ChartPath();
    for (auto _ : state)
    {
        CRawX10 raw;
        int32_t failures = raw.Load(path.c_str());
        failures |= raw.SaveFieldPreview(raw.m_field0.get());
        failures |= raw.SaveFieldPreview(raw.m_field1.get());
        failures |= raw.SaveMosaicPreview();
        failures |= raw.Demosaic();
        if (failures != 0)
            state.SkipWithError("a stage failed");
    }
    state.SetItemsProcessed(state.iterations() * benchsupport::kMosaicCells);
}
BENCHMARK(BM_WholePipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
