#include "view/Pyramid.h"

#include "platform/Workers.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace
{

// Rows of the top level rendered at a time: a tile's rows, or a band of the
// pass that makes the coarser levels (an even number, so that a band makes
// whole rows of the level below).
constexpr int32_t kBandRows = 32;
static_assert(kBandRows % 2 == 0, "a band makes whole rows of the level below");

size_t BytesOf(ViewSize size, int32_t channels)
{
    return static_cast<size_t>(size.width) * static_cast<size_t>(size.height) * static_cast<size_t>(channels);
}

int32_t Halved(int32_t length)
{
    return (length + 1) / 2;
}

}  // namespace

int32_t LevelCount(ViewSize size)
{
    int32_t levels = 1;
    for (int32_t longer = std::max(size.width, size.height); longer > 1; longer = Halved(longer))
        ++levels;
    return levels;
}

ViewSize LevelSize(ViewSize size, int32_t level)
{
    // ceil(ceil(n / 2) / 2) is ceil(n / 4): halving level by level gives
    // Deep Zoom's sizes.
    for (int32_t l = LevelCount(size) - 1; l > level; --l)
        size = {Halved(size.width), Halved(size.height)};
    return size;
}

ViewSize TilesOf(ViewSize levelSize)
{
    return {(levelSize.width + kTileSize - 1) / kTileSize, (levelSize.height + kTileSize - 1) / kTileSize};
}

void ReduceRowPair(const uint8_t* above, int32_t width, int32_t aboveRows, int32_t channels, Layer layer,
                   uint8_t* below)
{
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
    const uint8_t* next = aboveRows == 2 ? above + rowBytes : above;
    // Whole blocks: two rows of two pixels.
    const int32_t whole = aboveRows == 2 ? width / 2 : 0;
    const auto ch = static_cast<size_t>(channels);
    for (size_t i = 0; i < static_cast<size_t>(whole) * ch; ++i)
    {
        const size_t at = 2 * i - i % ch;  // channel i % ch of pixel 2 (i / ch)
        const uint8_t a = above[at], b = above[at + ch], c = next[at], d = next[at + ch];
        below[i] = layer == Layer::Pictures ? static_cast<uint8_t>((a + b + c + d) / 4)
                                            : static_cast<uint8_t>(a | b | c | d);
    }
    // The blocks cut short by the right or the bottom edge: the pixels that
    // exist.
    for (int32_t x = 2 * whole; x < width; x += 2)
    {
        const int32_t columns = std::min(2, width - x);
        const int32_t count = columns * aboveRows;
        uint8_t* out = below + static_cast<size_t>(x / 2) * ch;
        for (int32_t k = 0; k < channels; ++k)
        {
            int32_t sum = 0;
            int32_t any = 0;
            for (int32_t dy = 0; dy < aboveRows; ++dy)
                for (int32_t dx = 0; dx < columns; ++dx)
                {
                    const uint8_t value = above[static_cast<size_t>(dy) * rowBytes +
                                                static_cast<size_t>((x + dx) * channels + k)];
                    sum += value;
                    any |= value;
                }
            out[k] = static_cast<uint8_t>(layer == Layer::Pictures ? sum / count : any);
        }
    }
}

CPyramid::CPyramid(const CViewedFile& file, ViewName view, Layer layer)
    : m_file(file), m_view(view), m_layer(layer), m_channels(layer == Layer::Pictures ? 3 : 1),
      m_size(file.SizeOf(view)), m_levels(LevelCount(m_size))
{
}

void CPyramid::RenderTopRows(int32_t firstRow, int32_t rowCount, uint8_t* out, int32_t slot) const
{
    if (m_layer == Layer::Pictures)
        m_file.RenderRows(m_view, firstRow, rowCount, out, slot);
    else
        m_file.RenderMarkRows(m_view, firstRow, rowCount, out);
}

size_t CPyramid::CoarseBytes() const
{
    size_t bytes = 0;
    for (int32_t level = 0; level + 1 < m_levels; ++level)
        bytes += BytesOf(LevelSize(m_size, level), m_channels);
    return bytes;
}

void CPyramid::MakeCoarseLevels() const
{
    const std::lock_guard<std::mutex> lock(m_making);
    if (m_made)
        return;
    const int32_t top = m_levels - 1;
    std::vector<std::vector<uint8_t>> levels(static_cast<size_t>(top));
    if (top == 0)
    {
        m_made = true;
        return;
    }
    const ViewSize belowTop = LevelSize(m_size, top - 1);
    levels[static_cast<size_t>(top - 1)].resize(BytesOf(belowTop, m_channels));
    uint8_t* const first = levels[static_cast<size_t>(top - 1)].data();
    const size_t belowRowBytes = static_cast<size_t>(belowTop.width) * static_cast<size_t>(m_channels);
    const size_t topRowBytes = static_cast<size_t>(m_size.width) * static_cast<size_t>(m_channels);

    // The level below the top, band by band on workers of the pass's own;
    // each band makes rows of it that no other band touches.
    const int32_t bands = (m_size.height + kBandRows - 1) / kBandRows;
    std::atomic<int32_t> next{0};
    CWorkerPool pool(std::min(WorkerCount(), kMaxWorkers));
    pool.Run([&](int32_t worker) {
        std::vector<uint8_t> rows(static_cast<size_t>(kBandRows) * topRowBytes);
        for (int32_t band = next++; band < bands; band = next++)
        {
            const int32_t firstRow = band * kBandRows;
            const int32_t rowCount = std::min(kBandRows, m_size.height - firstRow);
            RenderTopRows(firstRow, rowCount, rows.data(), m_file.Slots().Count() + worker);
            for (int32_t pair = 0; 2 * pair < rowCount; ++pair)
                ReduceRowPair(rows.data() + static_cast<size_t>(2 * pair) * topRowBytes, m_size.width,
                              std::min(2, rowCount - 2 * pair), m_channels, m_layer,
                              first + static_cast<size_t>(firstRow / 2 + pair) * belowRowBytes);
        }
    });
    // Each further level from the one above it.
    for (int32_t level = top - 2; level >= 0; --level)
    {
        const ViewSize above = LevelSize(m_size, level + 1);
        const ViewSize size = LevelSize(m_size, level);
        const std::vector<uint8_t>& from = levels[static_cast<size_t>(level + 1)];
        std::vector<uint8_t>& to = levels[static_cast<size_t>(level)];
        to.resize(BytesOf(size, m_channels));
        const size_t aboveRowBytes = static_cast<size_t>(above.width) * static_cast<size_t>(m_channels);
        for (int32_t y = 0; y < size.height; ++y)
            ReduceRowPair(from.data() + static_cast<size_t>(2 * y) * aboveRowBytes, above.width,
                          std::min(2, above.height - 2 * y), m_channels, m_layer,
                          to.data() + static_cast<size_t>(y) * static_cast<size_t>(size.width) *
                                          static_cast<size_t>(m_channels));
    }
    m_coarse = std::move(levels);
    m_made = true;
}

TilePixels CPyramid::Tile(int32_t level, int32_t column, int32_t row, int32_t slot) const
{
    const ViewSize size = LevelSize(m_size, level);
    TilePixels tile;
    const int32_t x0 = column * kTileSize;
    const int32_t y0 = row * kTileSize;
    tile.width = std::min(kTileSize, size.width - x0);
    tile.height = std::min(kTileSize, size.height - y0);
    tile.channels = m_channels;
    const size_t tileRowBytes = static_cast<size_t>(tile.width) * static_cast<size_t>(m_channels);
    const size_t rowBytes = static_cast<size_t>(size.width) * static_cast<size_t>(m_channels);
    const size_t skip = static_cast<size_t>(x0) * static_cast<size_t>(m_channels);
    tile.bytes.resize(tileRowBytes * static_cast<size_t>(tile.height));
    if (level == m_levels - 1 && m_layer == Layer::Pictures)
    {
        m_file.RenderRegion(m_view, y0, tile.height, x0, tile.width, tile.bytes.data(), slot);
        return tile;
    }
    if (level == m_levels - 1)
    {
        std::vector<uint8_t> rows(static_cast<size_t>(kBandRows) * rowBytes);
        for (int32_t y = 0; y < tile.height; y += kBandRows)
        {
            const int32_t rowCount = std::min(kBandRows, tile.height - y);
            RenderTopRows(y0 + y, rowCount, rows.data(), slot);
            for (int32_t k = 0; k < rowCount; ++k)
                std::memcpy(tile.bytes.data() + static_cast<size_t>(y + k) * tileRowBytes,
                            rows.data() + static_cast<size_t>(k) * rowBytes + skip, tileRowBytes);
        }
        return tile;
    }
    MakeCoarseLevels();
    const uint8_t* pixels = m_coarse[static_cast<size_t>(level)].data();
    for (int32_t k = 0; k < tile.height; ++k)
        std::memcpy(tile.bytes.data() + static_cast<size_t>(k) * tileRowBytes,
                    pixels + static_cast<size_t>(y0 + k) * rowBytes + skip, tileRowBytes);
    return tile;
}
