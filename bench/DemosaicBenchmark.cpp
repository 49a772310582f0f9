// Benchmarks of the demosaic: the white balance, the scan of the window cell
// by cell, and the whole pass with its output file; cells of the window.
#include "bench/BenchSupport.h"
#include "demosaic/Demosaic.h"
#include "demosaic/fastscan/FastScan.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace
{

void BM_WhiteBalanceWindow(benchmark::State& state)
{
    CRawX10 raw;
    benchsupport::CopyLoadedChart(raw);
    for (auto _ : state)
    {
        // Each iteration scales the chart's raw mosaic.
        state.PauseTiming();
        benchsupport::CopyLoadedChart(raw);
        state.ResumeTiming();
        WhiteBalanceWindow(raw.m_mosaic.get(), raw.MosaicSide());
        benchmark::DoNotOptimize(raw.m_mosaic.get());
    }
    state.SetItemsProcessed(state.iterations() * benchsupport::kWindowCells);
}
BENCHMARK(BM_WhiteBalanceWindow)->Unit(benchmark::kMillisecond);

// The chart's mosaic after white balance, shared by the scan benchmarks.
const CRawX10& BalancedChart()
{
    static const std::unique_ptr<CRawX10> s_raw = [] {
        auto raw = std::make_unique<CRawX10>();
        benchsupport::CopyLoadedChart(*raw);
        WhiteBalanceWindow(raw->m_mosaic.get(), raw->MosaicSide());
        return raw;
    }();
    return *s_raw;
}

void BM_RenderDemosaicRowsByCell(benchmark::State& state)
{
    const CRawX10& raw = BalancedChart();
    const int32_t side = raw.MosaicSide();
    auto pixels = std::make_unique<uint8_t[]>(static_cast<size_t>(benchsupport::kMosaicCells * 4));
    for (auto _ : state)
    {
        RenderBalancedRowsByCell(MosaicRows{raw.m_mosaic.get(), raw.MosaicSide()}, 0, side, pixels.get());
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetItemsProcessed(state.iterations() * benchsupport::kWindowCells);
}
BENCHMARK(BM_RenderDemosaicRowsByCell)->Unit(benchmark::kMillisecond);

// The fast scan of the whole window, one run per instruction-set variant
// (argument: 0 baseline, 1 AVX2, 2 AVX-512); a variant that the processor
// lacks is skipped.
void BM_ScanRowsFast(benchmark::State& state)
{
    const auto variant = static_cast<ScanVariant>(state.range(0));
    const std::vector<ScanVariant> available = AvailableScanVariants();
    if (std::find(available.begin(), available.end(), variant) == available.end())
    {
        state.SkipWithError("variant not available on this processor");
        return;
    }
    state.SetLabel(NameOfScanVariant(variant));
    const CRawX10& raw = BalancedChart();
    const int32_t side = raw.MosaicSide();
    const int32_t last = side - 1 - kWindowMargin;
    CFastScanScratch scratch(kWindowMargin, last);
    auto pixels = std::make_unique<uint8_t[]>(static_cast<size_t>(benchsupport::kMosaicCells * 4));
    for (auto _ : state)
    {
        ScanRowsWith(variant, raw.m_mosaic.get(), side, kWindowMargin, last, ScanTarget{pixels.get(), 0}, scratch);
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetItemsProcessed(state.iterations() * benchsupport::kWindowCells);
}
BENCHMARK(BM_ScanRowsFast)->Arg(static_cast<int>(ScanVariant::kBaseline))->Arg(static_cast<int>(ScanVariant::kAvx2))
    ->Arg(static_cast<int>(ScanVariant::kAvx512))
    ->Unit(benchmark::kMillisecond);

// The demosaic stage as diagraw runs it (WriteDemosaicedImage): white
// balance band by band, scan and the written file; the mosaic is only read.
void BM_Demosaic(benchmark::State& state)
{
    const CRawX10& raw = benchsupport::LoadedChart();
    const std::string name = OutputNameOf(raw.m_path, OutputImage::Demosaiced);
    for (auto _ : state)
        if (WriteDemosaicedImage(name, raw.Samples(), raw.Workers(), raw.Buffers()) != kStatusOk)
            state.SkipWithError("write failed");
    state.SetItemsProcessed(state.iterations() * benchsupport::kWindowCells);
}
BENCHMARK(BM_Demosaic)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
