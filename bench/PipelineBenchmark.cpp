// Benchmark of the whole run on the chart, stage for stage as the program
// runs it (without process start and exit); cells of the mosaic. The run
// with a chosen number of workers shows what more workers bring, and, one
// count per process, what they cost in peak memory:
//   /usr/bin/time -f %M build/bench/diagraw_bench --benchmark_filter='BM_WholePipelineWorkers/64$'
#include "bench/BenchSupport.h"
#include "pipeline/Pipeline.h"
#include "platform/Workers.h"

#include <benchmark/benchmark.h>

namespace
{

// A whole run with the given workers, or WorkerCount() for 0.
void RunPipeline(benchmark::State& state, int32_t workers)
{
    const std::string& path = benchsupport::ChartPath();
    for (auto _ : state)
    {
        CRawX10 raw(workers > 0 ? workers : WorkerCount());
        if (raw.Load(path.c_str()) != kStatusOk || !SaveImages(raw, [](const std::string&, Status) {}))
            state.SkipWithError("a stage failed");
    }
    state.SetItemsProcessed(state.iterations() * benchsupport::kMosaicCells);
}

void BM_WholePipeline(benchmark::State& state)
{
    RunPipeline(state, 0);
}
BENCHMARK(BM_WholePipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholePipelineWorkers(benchmark::State& state)
{
    RunPipeline(state, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_WholePipelineWorkers)->Arg(1)->Arg(2)->Arg(4)->Arg(kMaxWorkers)->Arg(64)->Arg(256)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
