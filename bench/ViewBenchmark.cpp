// Benchmarks of diagraw-view's server side, without the network: the load,
// a full-resolution tile of each view rendered cold and encoded as PNG, the
// facts under the pointer, and a view's coarser levels made whole. The
// figures of docs/diagraw-view.md come from here and from the browser test.
#include "bench/BenchSupport.h"
#include "platform/Workers.h"
#include "view/PngTile.h"
#include "view/Pyramid.h"
#include "view/ViewedFile.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{

const CViewedFile& ViewedChart()
{
    static const std::unique_ptr<CViewedFile> file = [] {
        Status status = kStatusOk;
        std::string failure;
        return CViewedFile::Load(benchsupport::ChartPath(), 1, status, failure);
    }();
    return *file;
}

// CViewedFile::Load: the program's start before it listens.
void BM_ViewLoad(benchmark::State& state)
{
    for (auto _ : state)
    {
        Status status = kStatusOk;
        std::string failure;
        benchmark::DoNotOptimize(CViewedFile::Load(benchsupport::ChartPath(), WorkerCount(), status, failure));
    }
}
BENCHMARK(BM_ViewLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

// One full-resolution tile of view N, never the same twice in a row (no
// cache is involved here), rendered and encoded.
void BM_ViewTileCold(benchmark::State& state)
{
    const auto view = static_cast<ViewName>(state.range(0));
    const CPyramid pyramid(ViewedChart(), view, Layer::Pictures);
    const int32_t top = pyramid.Levels() - 1;
    const ViewSize tiles = TilesOf(pyramid.Size());
    int32_t next = 0;
    for (auto _ : state)
    {
        const int32_t tile = next++ * 7 % (tiles.width * tiles.height);
        benchmark::DoNotOptimize(EncodePngTile(pyramid.Tile(top, tile % tiles.width, tile / tiles.width, 0)));
    }
    state.SetItemsProcessed(state.iterations() * kTileSize * kTileSize);  // pixels, the edge tiles counted whole
    state.SetLabel(NameOfView(view));
}
BENCHMARK(BM_ViewTileCold)->DenseRange(0, kViewCount - 1)->Unit(benchmark::kMillisecond);

// The answer of /api/cell for pixel (2000, 1500) of the image.
void BM_ViewCell(benchmark::State& state)
{
    const CViewedFile& file = ViewedChart();
    for (auto _ : state)
        benchmark::DoNotOptimize(file.CellJson(ViewName::Image, 2000, 1500, 0));
}
BENCHMARK(BM_ViewCell)->Unit(benchmark::kMicrosecond);

// Every coarser level of view N, from a whole render of the top level.
void BM_ViewCoarseLevels(benchmark::State& state)
{
    const auto view = static_cast<ViewName>(state.range(0));
    ViewedChart().UprightPixels();
    for (auto _ : state)
    {
        const CPyramid pyramid(ViewedChart(), view, Layer::Pictures);
        pyramid.MakeCoarseLevels();
    }
    const ViewSize size = ViewedChart().SizeOf(view);
    state.SetItemsProcessed(state.iterations() * size.width * size.height);  // pixels of the view
    state.SetLabel(NameOfView(view));
}
BENCHMARK(BM_ViewCoarseLevels)->DenseRange(0, kViewCount - 1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
