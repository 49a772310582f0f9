// Benchmarks of diagraw-view's server side, without the network: the load,
// a full-resolution tile of each view rendered cold and encoded as PNG, the
// facts under the pointer, a view's coarser levels made whole, and a
// defects file read and turned into its answer. The figures of
// docs/diagraw-view.md come from here and from the browser test.
#include "bench/BenchSupport.h"
#include "platform/Workers.h"
#include "view/PngTile.h"
#include "view/Defects.h"
#include "view/Pyramid.h"
#include "view/ViewedFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
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

// A defects file of N entries at samples spread over both fields, as the
// probe writes one, read and checked (ParseDefects) and turned into the
// answer of /api/defects: what --defects adds to the start.
void BM_ViewDefects(benchmark::State& state)
{
    const int32_t width = CRawX10::kFieldWidth;
    const int32_t height = CRawX10::kFieldHeight;
    const int64_t count = state.range(0);
    const int64_t samples = int64_t{2} * width * height;
    std::string text = "{\"fields\": [], \"defects\": [";
    for (int64_t i = 0; i < count; ++i)
    {
        const int64_t sample = i * (samples / count);
        const auto field = static_cast<int32_t>(sample / (samples / 2));
        const auto row = static_cast<int32_t>(sample / width % height);
        const auto column = static_cast<int32_t>(sample % width);
        const MosaicCell cell = CellOfSample(width, height, field, row, column);
        const ImagePixel pixel = PixelOfCell(width + height, cell);
        const bool shows = CellShowsInImage(width + height, cell);
        char entry[320];
        std::snprintf(entry, sizeof entry,
                      "%s{\"kind\": \"hot\", \"field\": %d, \"row\": %d, \"column\": %d, \"cell_row\": %d, "
                      "\"cell_column\": %d, \"x\": %s, \"y\": %s, \"mean\": %.3f, \"excess\": %.2f}",
                      i == 0 ? "" : ", ", field, row, column, cell.r, cell.c,
                      shows ? std::to_string(pixel.x).c_str() : "null", shows ? std::to_string(pixel.y).c_str() : "null",
                      3000.0 + static_cast<double>(i % 1000) / 8, 5.0 + static_cast<double>(i % 100) / 4);
        text += entry;
    }
    text += "]}\n";
    for (auto _ : state)
    {
        std::vector<Defect> defects;
        std::string reason;
        if (!ParseDefects(text, width, height, defects, reason))
        {
            state.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(DefectsJson("defects.json", defects));
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(std::to_string(text.size() >> 10) + " KB");
}
BENCHMARK(BM_ViewDefects)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
