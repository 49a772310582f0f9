// The Deep Zoom pyramid of one layer of a view: its pictures (RGB) or its
// overlay marks (one byte a pixel), and the tiles cut from it.
//
// Level L of a layer whose full size needs levels 0 to top is
// ceil(size / 2^(top - L)) pixels each way, as Deep Zoom lays it out; the top
// level is the view itself. A coarser level is made from the one above it,
// each pixel from its 2 x 2 block there: for pictures each channel's mean,
// rounded down, over the pixels of the block that exist (fewer at the right
// and bottom edges); for marks every mark that one of them carries.
//
// Tiles of the top level are rendered when asked for, from the samples; the
// coarser levels are made all at once, the first time one is asked for, from
// the top level rendered band by band (the whole top level is never held)
// and kept: about a third of a byte per pixel of the view and channel.
#pragma once

#include "view/ViewedFile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

inline constexpr int32_t kTileSize = 256;

enum class Layer : uint8_t { Pictures, Marks };

// Levels 0 to LevelCount - 1, the last the full size: ceil(log2) of the
// longer side, plus one.
int32_t LevelCount(ViewSize size);
ViewSize LevelSize(ViewSize size, int32_t level);
// Tiles across and down at a level.
ViewSize TilesOf(ViewSize levelSize);

// The 2 x 2 rule on rows of a level of width pixels of channels bytes:
// above holds rows 2y and, unless it is the level's last and height is odd,
// 2y + 1 (aboveRows of them, 1 or 2); writes row y of the level below,
// ceil(width / 2) pixels.
void ReduceRowPair(const uint8_t* above, int32_t width, int32_t aboveRows, int32_t channels, Layer layer,
                   uint8_t* below);

// A tile's pixels: width x height, channels bytes each, rows top first.
struct TilePixels
{
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 3;
    std::vector<uint8_t> bytes;
};

class CPyramid
{
public:
    CPyramid(const CViewedFile& file, ViewName view, Layer layer);

    int32_t Levels() const { return m_levels; }
    ViewSize Size() const { return m_size; }

    // Tile (column, row) of level; both lie inside it. Renders a tile of the
    // top level on the caller's slot; makes the coarser levels on first use
    // (throws std::bad_alloc, and the next call tries again).
    TilePixels Tile(int32_t level, int32_t column, int32_t row, int32_t slot) const;

    // Makes the coarser levels now, if they are not made yet.
    void MakeCoarseLevels() const;

    // Bytes the coarser levels hold once made.
    size_t CoarseBytes() const;

private:
    // Rows of the top level, all of its width, channels bytes a pixel.
    void RenderTopRows(int32_t firstRow, int32_t rowCount, uint8_t* out, int32_t slot) const;

    const CViewedFile& m_file;
    ViewName m_view;
    Layer m_layer;
    int32_t m_channels;
    ViewSize m_size;
    int32_t m_levels;
    mutable std::mutex m_making;
    // Level L's pixels at m_coarse[L], rows top first; empty until made.
    mutable std::vector<std::vector<uint8_t>> m_coarse;
    mutable bool m_made = false;
};
