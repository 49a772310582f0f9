// Where every sample of the two fields sits in the composite mosaic, and
// which mosaic cell every pixel of the mirrored images shows. Every part of
// the program that maps between fields, mosaic and images calls these.
//
// Fields of width x height samples make a square mosaic of side
// width + height (raw/Lattice.h draws the lattice). Field f's sample at
// field row y, column x goes to the mosaic element
//
//   (x + y + f) * side + (width + 2 - x + y)
//
// taken as one index: a step along a field row moves one cell south-west,
// a step down a field column one cell south-east, and field 1 lies one cell
// south of field 0. For the corner positions x <= y + 2 - height (three of
// each field, in its last two rows) the column term width + 2 - x + y is
// side or side + 1, and those samples run on into column 0 or 1 of the next
// row: the wrapped samples. Every other sample is regular, in row x + y + f,
// column width + 2 - x + y, below side.
//
// The mosaic preview and the demosaiced image show the mosaic mirrored left
// to right and one row up: cell (r, c) is pixel side - c of the bottom-up
// storage row side - r, so pixel (x, y) counted from the top left shows cell
// (y + 1, side - x). Image column 0 and the bottom image row show no cell.
#pragma once

#include <algorithm>
#include <cstdint>

// A mosaic cell: row r (towards south) and column c (towards east).
struct MosaicCell
{
    int32_t r = 0;
    int32_t c = 0;
};

// The field position whose sample lands in a cell, if any.
struct FieldSource
{
    bool holdsSample = false;  // false: no sample lands in the cell, which stays 0
    int32_t field = 0;
    int32_t y = 0;
    int32_t x = 0;
};

// Cells firstRow to lastRow by firstColumn to lastColumn, all inclusive.
struct CellBox
{
    int32_t firstRow = 0;
    int32_t lastRow = 0;
    int32_t firstColumn = 0;
    int32_t lastColumn = 0;
};

// Positions first to last (inclusive) of one field row; empty when last < first.
struct FieldRun
{
    int32_t first = 0;
    int32_t last = -1;
};

// --- fields -> mosaic ---

// The column term of field position (y, x), the same for both fields.
constexpr int32_t ColumnTermOf(int32_t width, int32_t y, int32_t x)
{
    return width + 2 - x + y;
}

// Mosaic row of field f's regular sample at (y, x).
constexpr int32_t RowOfSample(int32_t field, int32_t y, int32_t x)
{
    return x + y + field;
}

// Element of the mosaic that receives field f's sample at (y, x).
constexpr int64_t MosaicElementOf(int32_t width, int32_t height, int32_t field, int32_t y, int32_t x)
{
    return int64_t{RowOfSample(field, y, x)} * (width + height) + ColumnTermOf(width, y, x);
}

// Cell that receives field f's sample at (y, x), the wrapped ones included.
constexpr MosaicCell CellOfSample(int32_t width, int32_t height, int32_t field, int32_t y, int32_t x)
{
    const int64_t side = width + height;
    const int64_t element = MosaicElementOf(width, height, field, y, x);
    return MosaicCell{static_cast<int32_t>(element / side), static_cast<int32_t>(element % side)};
}

// The first field row that holds wrapped samples; in field row y from there
// on they are x = 0 to WrappedRunOf(...).last.
constexpr int32_t FirstWrappingRow(int32_t height)
{
    return std::max(0, height - 2);
}

constexpr FieldRun WrappedRunOf(int32_t width, int32_t height, int32_t y)
{
    return FieldRun{0, std::min(width - 1, y + 2 - height)};
}

// The x of field f's row y whose regular cells lie in box: its rows give
// box.firstRow - y - f <= x <= box.lastRow - y - f, its columns
// width + 2 + y - box.lastColumn <= x <= width + 2 + y - box.firstColumn, and
// a column term below side keeps the wrapped samples out.
constexpr FieldRun RunOfFieldRow(int32_t width, int32_t height, int32_t field, int32_t y, const CellBox& box)
{
    const int32_t lastColumn = std::min(box.lastColumn, width + height - 1);
    return FieldRun{std::max({0, box.firstRow - y - field, ColumnTermOf(width, y, 0) - lastColumn}),
                    std::min({width - 1, box.lastRow - y - field, ColumnTermOf(width, y, 0) - box.firstColumn})};
}

// --- mosaic -> fields ---

// The inverse of the placement for cell (r, c), wrapped samples included.
// Each reading of (r, c), by field and by whether the sample wrapped, gives
// x + y and y - x, and so at most one position; no two samples share a cell.
constexpr FieldSource FieldSourceOfCell(int32_t width, int32_t height, int32_t r, int32_t c)
{
    const int32_t side = width + height;
    for (int32_t field = 0; field < 2; ++field)
        for (int32_t wrapped = 0; wrapped < 2; ++wrapped)
        {
            const int32_t sum = r - field - wrapped;                               // x + y
            const int32_t difference = c + wrapped * side - ColumnTermOf(width, 0, 0);  // y - x
            if ((sum + difference) % 2 != 0)
                continue;
            const int32_t y = (sum + difference) / 2;
            const int32_t x = (sum - difference) / 2;
            if (y >= 0 && y < height && x >= 0 && x < width)
                return FieldSource{true, field, y, x};
        }
    return FieldSource{};
}

// --- mosaic <-> mirrored images ---

// Mirroring is its own inverse: pixel column side - c shows cell column c,
// and bottom-up storage row side - r shows cell row r (and back).
constexpr int32_t MirroredColumn(int32_t side, int32_t column)
{
    return side - column;
}

constexpr int32_t StorageRowOfCellRow(int32_t side, int32_t row)
{
    return side - row;
}

constexpr int32_t CellRowOfStorageRow(int32_t side, int32_t storageRow)
{
    return side - storageRow;
}

// Pixel (x, y), counted from the top left of a side x side image.
constexpr bool PixelShowsCell(int32_t side, int32_t x, int32_t y)
{
    return x > 0 && y < side - 1;
}

constexpr MosaicCell CellOfPixel(int32_t side, int32_t x, int32_t y)
{
    return MosaicCell{y + 1, MirroredColumn(side, x)};
}

// A pixel of a side x side image, counted from the top left.
struct ImagePixel
{
    int32_t x = 0;
    int32_t y = 0;
};

// The inverse of CellOfPixel: the pixel that shows cell (r, c). Cells of row
// 0 and column 0 show in no pixel of the image.
constexpr bool CellShowsInImage(int32_t side, MosaicCell cell)
{
    return cell.r > 0 && cell.r < side && cell.c > 0 && cell.c < side;
}

constexpr ImagePixel PixelOfCell(int32_t side, MosaicCell cell)
{
    return ImagePixel{MirroredColumn(side, cell.c), cell.r - 1};
}
