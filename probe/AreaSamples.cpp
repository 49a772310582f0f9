#include "probe/AreaSamples.h"

#include "raw/Placement.h"

#include <algorithm>

namespace
{

void AddRun(SampleSelection& selection, int32_t field, int32_t y, int32_t first, int32_t last)
{
    if (last < first)
        return;
    selection.runs.push_back({field, y, first, last});
    selection.samples[field] += selection.runs.back().Count();
}

}  // namespace

SampleSelection SamplesOfArea(int32_t width, int32_t height, const ImageArea* area)
{
    SampleSelection selection;
    selection.width = width;
    selection.height = height;
    const int32_t side = width + height;
    if (area == nullptr)
    {
        selection.cells = int64_t{side} * side;
        for (int32_t f = 0; f < 2; ++f)
            for (int32_t y = 0; y < height; ++y)
                AddRun(selection, f, y, 0, width - 1);
        return selection;
    }
    // The area's pixels that show a cell: from column 1 and down to the row
    // above the bottom one.
    const auto left = static_cast<int32_t>(std::max<int64_t>(area->x, 1));
    const auto right = static_cast<int32_t>(area->x + area->width - 1);
    const auto top = static_cast<int32_t>(area->y);
    const auto bottom = static_cast<int32_t>(std::min<int64_t>(area->y + area->height - 1, side - 2));
    const MosaicCell northEast = CellOfPixel(side, left, top);
    const MosaicCell southWest = CellOfPixel(side, right, bottom);
    const CellBox cells = {northEast.r, southWest.r, southWest.c, northEast.c};
    selection.cells = std::max<int64_t>(0, cells.lastRow - cells.firstRow + 1) *
                      std::max<int64_t>(0, cells.lastColumn - cells.firstColumn + 1);
    const auto inBox = [&](MosaicCell cell) {
        return cell.r >= cells.firstRow && cell.r <= cells.lastRow && cell.c >= cells.firstColumn &&
               cell.c <= cells.lastColumn;
    };
    // In field row y the regular cells of the box are one run of x; the few
    // wrapped samples, at the start of the last rows, are looked up one by
    // one and come first in their row.
    for (int32_t f = 0; f < 2; ++f)
        for (int32_t y = 0; y < height; ++y)
        {
            int32_t x = 0;
            if (y >= FirstWrappingRow(height))
                for (; x <= WrappedRunOf(width, height, y).last; ++x)
                    if (inBox(CellOfSample(width, height, f, y, x)))
                        AddRun(selection, f, y, x, x);
            const FieldRun run = RunOfFieldRow(width, height, f, y, cells);
            AddRun(selection, f, y, std::max(run.first, x), run.last);
        }
    return selection;
}
