// The raw file that diagraw-view shows: loaded once, as diagraw loads it,
// and every view of it rendered from the kept samples on demand, by the
// library's own renderers.
//
// The five views and the pixels of each, rows top first as an image viewer
// shows the file the programs write for it:
//   field0, field1  the field previews, .f0.bmp and .f1.bmp (2944 x 2144)
//   mosaic          the mosaic preview, .src.bmp (5088 x 5088)
//   image           the demosaiced image, .bmp (5088 x 5088)
//   upright         the upright view of `diagraw-export FILE upright` (5888 x 4288)
//
// Threads: any number of threads may call the const operations at once, each
// with a render slot of its own (CRenderSlots below hands them out). Nothing
// changes the samples after the load. Memory running out throws
// std::bad_alloc and leaves the object as it was.
#pragma once

#include "metadata/ExifMetadata.h"
#include "demosaic/Upright.h"
#include "formats/BmpStream.h"
#include "platform/Status.h"
#include "probe/AreaStats.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

enum class ViewName : uint8_t { Field0, Field1, Mosaic, Image, Upright };
inline constexpr int32_t kViewCount = 5;
inline constexpr ViewName kViews[kViewCount] = {ViewName::Field0, ViewName::Field1, ViewName::Mosaic,
                                                ViewName::Image, ViewName::Upright};

// "field0", "field1", "mosaic", "image", "upright".
const char* NameOfView(ViewName view);
// False for any other text.
bool ViewOfName(std::string_view name, ViewName& view);

struct ViewSize
{
    int32_t width = 0;
    int32_t height = 0;
};

// What the overlay marks in a pixel: the sample of the cell it shows is
// clipped (4095) or zero.
inline constexpr uint8_t kMarkClipped = 1;
inline constexpr uint8_t kMarkZero = 2;

// A fixed number of render slots, each index held by one thread at a time:
// the scratch memory of the renderers is kept per slot, so that the number
// of slots bounds both the memory and the renders in flight.
class CRenderSlots
{
public:
    explicit CRenderSlots(int32_t count);
    int32_t Count() const { return m_count; }

    // Holds a slot for its lifetime; waits while all are taken.
    class CLease
    {
    public:
        explicit CLease(CRenderSlots& slots);
        ~CLease();
        CLease(const CLease&) = delete;
        CLease& operator=(const CLease&) = delete;
        int32_t Index() const { return m_index; }

    private:
        CRenderSlots& m_slots;
        int32_t m_index;
    };

private:
    int32_t m_count;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::vector<int32_t> m_free;
};

class CViewedFile
{
public:
    // Loads path as diagraw does and reads its header. On failure returns
    // null, with status and the reason in diagraw's words in failure.
    // slots: how many renders may run at once.
    static std::unique_ptr<CViewedFile> Load(const std::string& path, int32_t slots, Status& status,
                                             std::string& failure);

    const CRawX10& Raw() const { return *m_raw; }
    const std::string& Path() const { return m_raw->m_path; }
    ViewSize SizeOf(ViewName view) const;
    CRenderSlots& Slots() const { return m_slots; }

    // Rows firstRow to firstRow + rowCount - 1 of the view, top first, all
    // of its width: 3 bytes a pixel (red, green, blue), rowCount * width * 3
    // bytes. slot is the index of a lease held by the caller, or
    // Slots().Count() + w for worker w of a pool of at most kMaxWorkers
    // that one caller at a time runs (the pyramid's builder).
    void RenderRows(ViewName view, int32_t firstRow, int32_t rowCount, uint8_t* rgb, int32_t slot) const;

    // Columns firstColumn to firstColumn + columnCount - 1 of those rows:
    // rowCount * columnCount * 3 bytes. The demosaiced image renders the
    // cells of those columns alone.
    void RenderRegion(ViewName view, int32_t firstRow, int32_t rowCount, int32_t firstColumn, int32_t columnCount,
                      uint8_t* rgb, int32_t slot) const;

    // The same rows as overlay marks, one byte a pixel: kMarkClipped,
    // kMarkZero, or 0 for a pixel whose cell holds neither (or no sample).
    void RenderMarkRows(ViewName view, int32_t firstRow, int32_t rowCount, uint8_t* marks) const;

    // The pixel of the image that shows the cell under pixel (x, y) of the
    // view (inside it), if one does; why not otherwise.
    bool ImagePixelOf(ViewName view, int32_t x, int32_t y, ImagePixel& pixel, std::string& reason) const;

    // What the page shows for pixel (x, y) of the view, which lies inside it:
    // the view's pixel bytes, the probe's `cell --json` object for the image
    // pixel that shows the same cell (or null and a reason), and where that
    // cell lies in every view.
    std::string CellJson(ViewName view, int32_t x, int32_t y, int32_t slot) const;

    // What `diagraw-probe info --json`, `stats --json` and
    // `stats --area X Y W H --json` print (the area checked by AreaProblem
    // first), without the newline.
    std::string InfoJson(Status& status) const;
    // What diagraw warns of the file's header (InputWarningOf), or nothing.
    std::string InputWarning() const;
    std::string StatsJson() const;
    std::string AreaStatsJson(const ImageArea& area) const;

    // The pixels of the upright view's cells, demosaiced on first use and
    // kept (some 38 MB).
    const UprightCells& UprightPixels() const;

private:
    explicit CViewedFile(int32_t slots);

    std::unique_ptr<CRawX10> m_raw;
    FileHeader m_header;
    ExifMetadata m_exif;
    Status m_headerStatus = kStatusOk;
    mutable CRenderSlots m_slots;
    // Storage-row renderers of the previews and the demosaic turned into RGB
    // rows (formats/RgbImage.h), with scratch of their own per slot.
    RowRenderer m_rows[kViewCount];
    // The mosaic rows of a tile of the image, per slot.
    mutable std::vector<std::vector<uint16_t>> m_bands;
    mutable std::mutex m_uprightMade;
    mutable std::unique_ptr<UprightCells> m_upright;
    mutable std::once_flag m_statsMade;
    mutable std::string m_stats;
};
