#include "view/ViewedFile.h"

#include "demosaic/Demosaic.h"
#include "formats/RgbImage.h"
#include "platform/Workers.h"
#include "previews/Previews.h"
#include "probe/CellReport.h"
#include "probe/FieldStats.h"
#include "probe/FileInfo.h"
#include "probe/JsonWriter.h"
#include "raw/InputFailure.h"
#include "raw/Placement.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace
{

constexpr const char* kViewNames[kViewCount] = {"field0", "field1", "mosaic", "image", "upright"};

size_t Index(ViewName view)
{
    return static_cast<size_t>(view);
}

uint8_t MarkOf(uint16_t sample)
{
    return sample == kSampleValues - 1 ? kMarkClipped : sample == 0 ? kMarkZero : 0;
}

}  // namespace

const char* NameOfView(ViewName view)
{
    return kViewNames[Index(view)];
}

bool ViewOfName(std::string_view name, ViewName& view)
{
    for (const ViewName candidate : kViews)
        if (name == NameOfView(candidate))
        {
            view = candidate;
            return true;
        }
    return false;
}

CRenderSlots::CRenderSlots(int32_t count) : m_count(std::max(count, 1)), m_free(static_cast<size_t>(m_count))
{
    std::iota(m_free.begin(), m_free.end(), 0);
}

CRenderSlots::CLease::CLease(CRenderSlots& slots) : m_slots(slots)
{
    std::unique_lock<std::mutex> lock(slots.m_mutex);
    slots.m_freed.wait(lock, [&] { return !slots.m_free.empty(); });
    m_index = slots.m_free.back();
    slots.m_free.pop_back();
}

CRenderSlots::CLease::~CLease()
{
    {
        const std::lock_guard<std::mutex> lock(m_slots.m_mutex);
        m_slots.m_free.push_back(m_index);
    }
    m_slots.m_freed.notify_one();
}

CViewedFile::CViewedFile(int32_t slots) : m_slots(slots)
{
}

std::unique_ptr<CViewedFile> CViewedFile::Load(const std::string& path, int32_t slots, Status& status,
                                               std::string& failure)
{
    std::unique_ptr<CViewedFile> file(new CViewedFile(slots));
    file->m_raw = std::make_unique<CRawX10>();
    CRawX10& raw = *file->m_raw;
    status = raw.Load(path.c_str());
    if (status != kStatusOk)
    {
        failure = DescribeInputFailure(raw, status);
        return nullptr;
    }
    // The header from the stream the fields came from; then the file is
    // closed: everything shown comes from the samples kept.
    file->m_headerStatus = ReadFileHeader(raw.m_file.get(), raw.m_fileSize, file->m_header);
    if (file->m_headerStatus == kStatusOk)
        file->m_headerStatus = ReadExif(raw.m_file.get(), file->m_header, file->m_exif);
    raw.m_file.reset();

    const SampleView samples = raw.Samples();
    const int32_t width = samples.width;
    const int32_t height = samples.height;
    const int32_t side = samples.Side();
    const int32_t renderers = file->m_slots.Count() + kMaxWorkers;
    for (int32_t f = 0; f < 2; ++f)
    {
        const uint16_t* field = samples.fields[f];
        file->m_rows[Index(f == 0 ? ViewName::Field0 : ViewName::Field1)] = RgbRowRenderer(
            [=](int32_t first, int32_t count, uint8_t* pixels, int32_t) {
                RenderFieldPreviewRows(field, width, height, first, count, pixels);
            },
            width, height, renderers);
    }
    const uint16_t* mosaic = samples.mosaic;
    file->m_rows[Index(ViewName::Mosaic)] = RgbRowRenderer(
        [=](int32_t first, int32_t count, uint8_t* pixels, int32_t) {
            RenderMosaicPreviewRows(mosaic, side, first, count, pixels);
        },
        side, side, renderers);
    file->m_rows[Index(ViewName::Image)] =
        RgbRowRenderer(DemosaicRowRenderer(mosaic, side, renderers), side, side, renderers);
    file->m_bands.resize(static_cast<size_t>(renderers));
    return file;
}

ViewSize CViewedFile::SizeOf(ViewName view) const
{
    const int32_t width = m_raw->m_width;
    const int32_t height = m_raw->m_height;
    switch (view)
    {
    case ViewName::Field0:
    case ViewName::Field1:
        return {width, height};
    case ViewName::Mosaic:
    case ViewName::Image:
        break;
    case ViewName::Upright:
        return {2 * width, 2 * height};
    }
    return {width + height, width + height};
}

const UprightCells& CViewedFile::UprightPixels() const
{
    const std::lock_guard<std::mutex> lock(m_uprightMade);
    if (!m_upright)
        m_upright = std::make_unique<UprightCells>(DemosaicFieldCells(m_raw->Samples(), m_raw->Workers()));
    return *m_upright;
}

void CViewedFile::RenderRows(ViewName view, int32_t firstRow, int32_t rowCount, uint8_t* rgb, int32_t slot) const
{
    if (view == ViewName::Upright)
        RenderUprightRows(UprightPixels(), firstRow, rowCount, rgb);
    else
        m_rows[Index(view)](firstRow, rowCount, rgb, slot);
}

void CViewedFile::RenderRegion(ViewName view, int32_t firstRow, int32_t rowCount, int32_t firstColumn,
                               int32_t columnCount, uint8_t* rgb, int32_t slot) const
{
    const ViewSize size = SizeOf(view);
    const auto rows = static_cast<size_t>(rowCount);
    if (view != ViewName::Image)
    {
        const size_t rowBytes = static_cast<size_t>(size.width) * 3;
        std::vector<uint8_t> whole(rows * rowBytes);
        RenderRows(view, firstRow, rowCount, whole.data(), slot);
        for (size_t k = 0; k < rows; ++k)
            std::memcpy(rgb + k * static_cast<size_t>(columnCount) * 3,
                        whole.data() + k * rowBytes + static_cast<size_t>(firstColumn) * 3,
                        static_cast<size_t>(columnCount) * 3);
        return;
    }
    // Storage rows bottom-up, as the BMP holds them: image rows firstRow on
    // are storage rows height - firstRow - rowCount on, the other way round.
    const auto side = static_cast<size_t>(size.width);
    std::vector<uint8_t> storage(rows * side * 4);
    RenderDemosaicColumns(m_raw->m_mosaic.get(), size.width, size.height - firstRow - rowCount, rowCount, firstColumn,
                          columnCount, storage.data(), m_bands[static_cast<size_t>(slot)]);
    for (size_t k = 0; k < rows; ++k)
    {
        const uint8_t* bgr0 = storage.data() + ((rows - 1 - k) * side + static_cast<size_t>(firstColumn)) * 4;
        uint8_t* out = rgb + k * static_cast<size_t>(columnCount) * 3;
        for (int32_t i = 0; i < columnCount; ++i, bgr0 += 4, out += 3)
        {
            out[0] = bgr0[2];
            out[1] = bgr0[1];
            out[2] = bgr0[0];
        }
    }
}

void CViewedFile::RenderMarkRows(ViewName view, int32_t firstRow, int32_t rowCount, uint8_t* marks) const
{
    const SampleView samples = m_raw->Samples();
    const int32_t width = samples.width;
    const int32_t height = samples.height;
    const int32_t side = samples.Side();
    const ViewSize size = SizeOf(view);
    const auto sampleAt = [&](const FieldSource& source) {
        return samples.fields[source.field][static_cast<size_t>(source.y) * static_cast<size_t>(width) +
                                            static_cast<size_t>(source.x)];
    };
    for (int32_t y = firstRow; y < firstRow + rowCount; ++y)
        for (int32_t x = 0; x < size.width; ++x, ++marks)
        {
            switch (view)
            {
            case ViewName::Field0:
            case ViewName::Field1:
                *marks = MarkOf(sampleAt(FieldSource{true, view == ViewName::Field0 ? 0 : 1, y, x}));
                break;
            case ViewName::Upright:
            {
                const FieldSource source = FieldPositionOfUprightPixel(x, y);
                *marks = source.holdsSample ? MarkOf(sampleAt(source)) : 0;
                break;
            }
            case ViewName::Mosaic:
            case ViewName::Image:
            {
                *marks = 0;
                if (!PixelShowsCell(side, x, y))
                    break;
                const MosaicCell cell = CellOfPixel(side, x, y);
                const uint16_t sample = samples.mosaic[static_cast<size_t>(cell.r) * static_cast<size_t>(side) +
                                                       static_cast<size_t>(cell.c)];
                // A cell that holds no sample stays 0 in the mosaic: only a
                // zero needs asking where it came from.
                if (sample != 0 || FieldSourceOfCell(width, height, cell.r, cell.c).holdsSample)
                    *marks = MarkOf(sample);
                break;
            }
            }
        }
}

bool CViewedFile::ImagePixelOf(ViewName view, int32_t x, int32_t y, ImagePixel& pixel, std::string& reason) const
{
    const int32_t width = m_raw->m_width;
    const int32_t height = m_raw->m_height;
    FieldSource source{true, view == ViewName::Field1 ? 1 : 0, y, x};
    switch (view)
    {
    case ViewName::Mosaic:
    case ViewName::Image:
        pixel = {x, y};
        return true;
    case ViewName::Upright:
        source = FieldPositionOfUprightPixel(x, y);
        if (!source.holdsSample)
        {
            reason = "the pixel is the mean of its neighbours and shows no cell of its own";
            return false;
        }
        break;
    case ViewName::Field0:
    case ViewName::Field1:
        break;
    }
    const MosaicCell cell = CellOfSample(width, height, source.field, source.y, source.x);
    if (!CellShowsInImage(width + height, cell))
    {
        reason = "its cell, row " + std::to_string(cell.r) + ", column " + std::to_string(cell.c) +
                 ", shows in no pixel of the image";
        return false;
    }
    pixel = PixelOfCell(width + height, cell);
    return true;
}

std::string CViewedFile::CellJson(ViewName view, int32_t x, int32_t y, int32_t slot) const
{
    const ViewSize size = SizeOf(view);
    std::vector<uint8_t> row(static_cast<size_t>(size.width) * 3);
    RenderRows(view, y, 1, row.data(), slot);
    const uint8_t* rgb = row.data() + static_cast<size_t>(x) * 3;

    ImagePixel pixel;
    std::string reason;
    const bool showsCell = ImagePixelOf(view, x, y, pixel, reason);
    const SampleView samples = m_raw->Samples();
    const int32_t side = samples.Side();

    CJsonWriter json;
    json.BeginObject();
    json.Field("view", NameOfView(view));
    json.Field("x", x);
    json.Field("y", y);
    json.Key("pixel");
    json.BeginObject();
    json.Field("red", rgb[0]);
    json.Field("green", rgb[1]);
    json.Field("blue", rgb[2]);
    json.EndObject();
    // Where the same cell lies in each view: the image and the mosaic show
    // it at the image pixel; the fields and the upright view where its
    // sample came from.
    json.Key("places");
    if (showsCell && PixelShowsCell(side, pixel.x, pixel.y))
    {
        const MosaicCell cell = CellOfPixel(side, pixel.x, pixel.y);
        const FieldSource source = FieldSourceOfCell(samples.width, samples.height, cell.r, cell.c);
        json.BeginObject();
        for (const ViewName other : kViews)
        {
            json.Key(NameOfView(other));
            ImagePixel place = pixel;
            if (other == ViewName::Upright)
                place = UprightPixelOfFieldPosition(source.field, source.y, source.x);
            else if (other == ViewName::Field0 || other == ViewName::Field1)
                place = {source.x, source.y};
            if (!source.holdsSample && other != ViewName::Mosaic && other != ViewName::Image)
            {
                json.Null();
                continue;
            }
            json.BeginArray();
            json.Integer(place.x);
            json.Integer(place.y);
            json.EndArray();
        }
        json.EndObject();
    }
    else
        json.Null();
    if (!showsCell)
        json.Field("reason", reason);
    json.EndObject();

    // The probe's own object, as `cell --json` prints it, goes in whole.
    std::string text = json.Text();
    text.pop_back();
    text += ", \"cell\": ";
    if (showsCell)
    {
        std::string cell = PixelJson(ExplainPixel(samples, pixel.x, pixel.y));
        cell.pop_back();
        text += cell;
    }
    else
        text += "null";
    return text + "}\n";
}

std::string CViewedFile::InfoJson(Status& status) const
{
    status = m_headerStatus;
    return status == kStatusOk ? ::InfoJson(m_header, m_exif) : std::string();
}

std::string CViewedFile::InputWarning() const
{
    return m_headerStatus == kStatusOk ? InputWarningOf(m_header) : std::string();
}

std::string CViewedFile::StatsJson() const
{
    std::call_once(m_statsMade, [this] {
        const FieldStats stats[2] = {ComputeFieldStats(m_raw->m_field0.get(), m_raw->m_width, m_raw->m_height),
                                     ComputeFieldStats(m_raw->m_field1.get(), m_raw->m_width, m_raw->m_height)};
        m_stats = ::StatsJson(*m_raw, stats);
    });
    return m_stats;
}

std::string CViewedFile::AreaStatsJson(const ImageArea& area) const
{
    const AreaStats stats = ComputeAreaStats(*m_raw, area);
    return ::StatsJson(*m_raw, stats.fields, [&](CJsonWriter& json) { AreaKeys(json, stats); });
}
