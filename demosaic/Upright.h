// The upright view: the demosaiced photo turned back by 45 degrees onto the
// fields' own grid, as the field previews show the fields.
//
// With W x H the size of a field (2944 x 2144), the view is 2W x 2H pixels,
// rows top-down, RGB. Each field position (y, x) has one cell of the mosaic
// per field (raw/Placement.h), field 1's one row below field 0's.
//   - The demosaiced pixel of field 0's cell goes to (row 2y, column 2x),
//     that of field 1's cell to (2y + 1, 2x + 1).
//   - Each other pixel, (2y, 2x + 1) or (2y + 1, 2x), is the mean of each
//     channel, rounded down, over those of its four edge neighbours that
//     hold a demosaiced cell.
//   - A cell outside the demosaiced window (rows and columns 8 to 5079,
//     demosaic/Demosaic.h), or one whose column term reaches the mosaic's
//     side, holds no demosaiced pixel: its place is black and it counts in
//     no mean. A pixel with no such neighbour is black.
// So every demosaiced cell appears once, and nothing else is made up but the
// mean of true neighbours.
//
// Two steps, so that neither the whole mosaic nor the whole demosaiced
// image is ever held: DemosaicFieldCells demosaics the mosaic band by band,
// each band built from the fields (FillMosaicRows), and keeps only the pixels
// of the cells that hold samples, in the fields' grids; RenderUprightRows
// then makes any rows of the view from those. Memory: 3 bytes per field
// sample (some 38 MB), besides the fields.
#pragma once

#include "demosaic/Demosaic.h"
#include "raw/Placement.h"

#include <cstdint>
#include <memory>

class CWorkerPool;

// The demosaiced pixels of the cells of both fields, in the fields' grids.
struct UprightCells
{
    int32_t width = 0;                     // of a field
    int32_t height = 0;
    // Field f: height rows of width RGB pixels; the places whose cell holds
    // no demosaiced pixel are left unset.
    std::unique_ptr<uint8_t[]> pixels[2];
};

// Demosaics the fields of samples (the mosaic is not used) on the workers
// of pool and keeps the pixels of the fields' cells. Throws std::bad_alloc
// when memory runs out.
UprightCells DemosaicFieldCells(const SampleView& samples, CWorkerPool& pool);

// Rows firstRow to firstRow + rowCount - 1 of the upright view, top-down:
// rowCount rows of 2 * width RGB pixels, every byte written.
void RenderUprightRows(const UprightCells& cells, int32_t firstRow, int32_t rowCount, uint8_t* rgb);

// Which field position's cell pixel (x, y) of the view shows: field 0's
// (y / 2, x / 2) where both are even, field 1's ((y - 1) / 2, (x - 1) / 2)
// where both are odd. The other pixels are means and show no cell
// (holdsSample false).
constexpr FieldSource FieldPositionOfUprightPixel(int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || x % 2 != y % 2)
        return FieldSource{};
    return FieldSource{true, x % 2, y / 2, x / 2};
}

// The pixel of the view that shows the cell of field f's position (y, x).
constexpr ImagePixel UprightPixelOfFieldPosition(int32_t field, int32_t y, int32_t x)
{
    return ImagePixel{2 * x + field, 2 * y + field};
}
