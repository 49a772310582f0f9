#include "python/LoadedRaw.h"

#include "pipeline/Pipeline.h"
#include "previews/Previews.h"
#include "demosaic/Demosaic.h"
#include "demosaic/fastscan/FastScan.h"
#include "demosaic/Upright.h"
#include "platform/LargeBuffers.h"
#include "platform/Workers.h"
#include "probe/FieldStats.h"
#include "probe/FileInfo.h"
#include "formats/RgbImage.h"
#include "raw/InputFailure.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

namespace
{

size_t SamplesPerField(const CRawX10& raw)
{
    return static_cast<size_t>(raw.m_width) * static_cast<size_t>(raw.m_height);
}

size_t MosaicCells(const CRawX10& raw)
{
    return static_cast<size_t>(raw.MosaicSide()) * static_cast<size_t>(raw.MosaicSide());
}

}  // namespace

// m_raw is made with one worker, which starts no thread: the object keeps
// only samples, and each operation starts and ends the threads it uses.
CLoadedRaw::CLoadedRaw(int32_t workers) : m_workers(workers), m_raw(1)
{
}

std::shared_ptr<CLoadedRaw> CLoadedRaw::Load(const std::string& path, int32_t workers, Status& status,
                                             std::string& failure)
{
    // The load runs on a pool of its own, which ends with it; what it read
    // moves into the object kept.
    CRawX10 loader(workers);
    status = loader.Load(path.c_str());
    if (status != kStatusOk)
    {
        failure = DescribeInputFailure(loader, status);
        return nullptr;
    }
    auto loaded = std::make_shared<CLoadedRaw>(workers);
    // The header and the Exif, from the stream the fields came from, as
    // diagraw reads the header for its warning; then everything is read: the
    // object keeps no file open.
    loaded->m_headerStatus = ReadFileHeader(loader.m_file.get(), loader.m_fileSize, loaded->m_header);
    if (loaded->m_headerStatus == kStatusOk)
        loaded->m_headerStatus = ReadExif(loader.m_file.get(), loaded->m_header, loaded->m_exif);
    loader.m_file.reset();
    loaded->Keep(loader);
    return loaded;
}

std::shared_ptr<CLoadedRaw> CLoadedRaw::LoadBytes(const uint8_t* bytes, int64_t size, const std::string& name,
                                                  int32_t workers, Status& status, std::string& failure)
{
    CRawX10 loader(workers);
    status = loader.LoadBytes(bytes, size, name.c_str());
    if (status != kStatusOk)
    {
        failure = DescribeInputFailure(loader, status);
        return nullptr;
    }
    auto loaded = std::make_shared<CLoadedRaw>(workers);
    loaded->m_header = ParseFileHeader(bytes, static_cast<size_t>(std::min<int64_t>(size, kRafHeaderBytes)), size);
    loaded->m_exif = ExifOfFileBytes(bytes, static_cast<size_t>(size), loaded->m_header);
    loaded->Keep(loader);
    return loaded;
}

void CLoadedRaw::Keep(CRawX10& loader)
{
    CRawX10& raw = m_raw;
    raw.m_width = loader.m_width;
    raw.m_height = loader.m_height;
    raw.m_field0 = std::move(loader.m_field0);
    raw.m_field1 = std::move(loader.m_field1);
    raw.m_mosaic = std::move(loader.m_mosaic);
    raw.m_path = std::move(loader.m_path);
    raw.m_fileSize = loader.m_fileSize;
}

const uint16_t* CLoadedRaw::Fields() const
{
    std::call_once(m_fieldsCopied, [this] {
        const size_t count = SamplesPerField(m_raw);
        std::unique_ptr<uint16_t[]> fields = MakeLargeSampleBuffer(2 * count);
        std::memcpy(fields.get(), m_raw.m_field0.get(), count * sizeof(uint16_t));
        std::memcpy(fields.get() + count, m_raw.m_field1.get(), count * sizeof(uint16_t));
        m_fields = std::move(fields);
    });
    return m_fields.get();
}

std::shared_ptr<uint8_t[]> CLoadedRaw::FieldPreview(int32_t field) const
{
    const uint16_t* samples = field == 0 ? m_raw.m_field0.get() : m_raw.m_field1.get();
    const int32_t width = m_raw.m_width;
    const int32_t height = m_raw.m_height;
    std::shared_ptr<uint8_t[]> rgb = MakeImageBuffer(SamplesPerField(m_raw) * 3);
    CWorkerPool pool(m_workers);
    RenderRgbImage(pool, width, height, [&](int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t) {
        RenderFieldPreviewRows(samples, width, height, firstRow, rowCount, pixels);
    }, rgb.get());
    return rgb;
}

std::shared_ptr<uint8_t[]> CLoadedRaw::MosaicPreview() const
{
    const int32_t side = Side();
    std::shared_ptr<uint8_t[]> rgb = MakeImageBuffer(MosaicCells(m_raw) * 3);
    CWorkerPool pool(m_workers);
    RenderRgbImage(pool, side, side, [&](int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t) {
        RenderMosaicPreviewRows(m_raw.m_mosaic.get(), side, firstRow, rowCount, pixels);
    }, rgb.get());
    return rgb;
}

std::shared_ptr<uint8_t[]> CLoadedRaw::Demosaiced() const
{
    const int32_t side = Side();
    std::shared_ptr<uint8_t[]> rgb = MakeImageBuffer(MosaicCells(m_raw) * 3);
    CWorkerPool pool(m_workers);
    RenderRgbImage(pool, side, side, DemosaicRowRenderer(m_raw.m_mosaic.get(), side, pool.Size()), rgb.get());
    return rgb;
}

std::shared_ptr<uint8_t[]> CLoadedRaw::Upright() const
{
    CWorkerPool pool(m_workers);
    const UprightCells cells = DemosaicFieldCells(m_raw.Samples(), pool);
    const int32_t height = 2 * m_raw.m_height;
    const size_t rowBytes = static_cast<size_t>(2 * m_raw.m_width) * 3;
    std::shared_ptr<uint8_t[]> rgb = MakeImageBuffer(rowBytes * static_cast<size_t>(height));
    RunOnShares(pool, height, [&](int32_t first, int32_t count) {
        RenderUprightRows(cells, first, count, rgb.get() + static_cast<size_t>(first) * rowBytes);
    });
    return rgb;
}

std::vector<std::pair<std::string, Status>> CLoadedRaw::Save(const std::string& stem) const
{
    // The program's own stages over the samples kept, which they only read.
    CWorkerPool pool(m_workers);
    CBufferKeeper buffers;
    std::vector<std::pair<std::string, Status>> failures;
    SaveImages(m_raw.Samples(), {stem, nullptr, pool, buffers},
               [&](const std::string& image, Status status) { failures.emplace_back(image, status); });
    return failures;
}

std::string CLoadedRaw::StatsJson() const
{
    const FieldStats stats[2] = {ComputeFieldStats(m_raw.m_field0.get(), m_raw.m_width, m_raw.m_height),
                                 ComputeFieldStats(m_raw.m_field1.get(), m_raw.m_width, m_raw.m_height)};
    return ::StatsJson(m_raw, stats);
}

std::string CLoadedRaw::AreaStatsJson(const ImageArea& area) const
{
    const AreaStats stats = ComputeAreaStats(m_raw, area);
    return ::StatsJson(m_raw, stats.fields, [&](CJsonWriter& json) { AreaKeys(json, stats); });
}

std::string CLoadedRaw::HeaderJson(Status& status) const
{
    status = m_headerStatus;
    return status == kStatusOk ? InfoJson(m_header, m_exif) : std::string();
}

std::string CLoadedRaw::MetadataJson(Status& status) const
{
    status = m_headerStatus;
    return status == kStatusOk ? ExifJson(m_exif) : std::string();
}

std::string CLoadedRaw::InputWarning() const
{
    return m_headerStatus == kStatusOk ? InputWarningOf(m_header) : std::string();
}

std::string CLoadedRaw::PixelJson(int32_t x, int32_t y) const
{
    return ::PixelJson(ExplainPixel(m_raw.Samples(), x, y));
}

std::shared_ptr<const uint8_t[]> CellCodesOfMosaic(CellCodes codes)
{
    static std::mutex s_guard;
    static std::weak_ptr<const uint8_t[]> s_kept[2];
    const std::lock_guard<std::mutex> lock(s_guard);
    std::weak_ptr<const uint8_t[]>& kept = s_kept[static_cast<size_t>(codes)];
    if (std::shared_ptr<const uint8_t[]> alive = kept.lock())
        return alive;
    // Along a row the codes repeat every four columns (raw/Lattice.h): four
    // are worked out and repeated.
    constexpr int32_t side = CRawX10::kFieldWidth + CRawX10::kFieldHeight;
    std::shared_ptr<uint8_t[]> table = MakeImageBuffer(static_cast<size_t>(side) * side);
    for (int32_t r = 0; r < side; ++r)
    {
        std::array<uint8_t, 4> period{};
        for (int32_t c = 0; c < 4; ++c)
            period[static_cast<size_t>(c)] = codes == CellCodes::Colours
                                                 ? static_cast<uint8_t>(ColourOfCell(r, c))
                                                 : static_cast<uint8_t>(SiteClassOfCell(r, c));
        uint8_t* row = table.get() + static_cast<size_t>(r) * side;
        for (int32_t c = 0; c < side; ++c)
            row[c] = period[static_cast<size_t>(c % 4)];
    }
    kept = table;
    return table;
}
