// Reading an X10 raw file: the two packed fields at its end, unpacked, and
// laid into the composite mosaic on the diagonal lattice.
#include "raw/RawX10.h"

#include "platform/Files.h"
#include "platform/LargeBuffers.h"
#include "platform/Workers.h"
#include "raw/PackedSamples.h"
#include "raw/Placement.h"

#include <algorithm>
#include <cstring>

std::string OutputNameOf(const std::string& path, OutputImage image)
{
    switch (image)
    {
    case OutputImage::Field0Preview:
        return path + ".f0.bmp";
    case OutputImage::Field1Preview:
        return path + ".f1.bmp";
    case OutputImage::MosaicPreview:
        return path + ".src.bmp";
    case OutputImage::Demosaiced:
        break;
    }
    return path + ".bmp";
}

CRawX10::CRawX10() : CRawX10(WorkerCount())
{
}

CRawX10::CRawX10(int32_t workers)
    : m_buffers(std::make_unique<CBufferKeeper>()), m_workers(std::make_unique<CWorkerPool>(workers))
{
}

// Out of line, where CBufferKeeper and CWorkerPool are complete.
CRawX10::~CRawX10() = default;

Status CRawX10::Load(const char* path)
{
    // The mosaic's memory holds the two packed blocks until the fields are
    // unpacked from them, one block at the start of each half, which the
    // worker reading that block maps in first; the mosaic is then built over
    // it. So a run needs no read buffer, and the mosaic's pages are faulted
    // in only once.
    const size_t mosaicSamples = static_cast<size_t>(MosaicSide()) * static_cast<size_t>(MosaicSide());
    static_assert(kBlockBytes <= int64_t{kMosaicSide} * kMosaicSide, "a block fits in half the mosaic's memory");
    std::unique_ptr<uint16_t[]> mosaic;
    const Status status = ReadFields(path, [&] {
        mosaic = MakeLargeSampleBuffer(mosaicSamples, false);
        return BlockMemory{reinterpret_cast<uint8_t*>(mosaic.get()), mosaicSamples, true};  // half its bytes
    });
    if (status != kStatusOk)
        return status;
    m_mosaic = std::move(mosaic);
    BuildMosaic();
    return kStatusOk;
}

Status CRawX10::LoadFields(const char* path)
{
    ScratchBuffer blocks;
    return ReadFields(path, [&] {
        blocks = m_buffers->Lend(static_cast<size_t>(2 * kBlockBytes));
        return BlockMemory{blocks.get(), static_cast<size_t>(kBlockBytes), false};
    });
}

Status CRawX10::LoadNextFields(const char* path)
{
    m_spareFields[0] = std::move(m_field0);
    m_spareFields[1] = std::move(m_field1);
    m_path.clear();
    const Status status = LoadFields(path);
    m_spareFields[0].reset();
    m_spareFields[1].reset();
    return status;
}

Status CRawX10::ReadFields(const char* path, const std::function<BlockMemory()>& blockMemory)
{
    std::unique_ptr<std::FILE, FileCloser> file;
    Status status = OpenTail(path, file);
    if (status != kStatusOk)
        return status;
    status = UnpackBlocks(file.get(), blockMemory());
    if (status != kStatusOk)
        return status;
    m_file = std::move(file);
    m_path = path;
    return kStatusOk;
}

Status CRawX10::OpenTail(const char* path, std::unique_ptr<std::FILE, FileCloser>& file)
{
    std::FILE* opened = nullptr;
    int64_t fileSize = 0;
    const Status status = platform::OpenInput(path, opened, fileSize);
    if (status != kStatusOk)
        return status;
    file.reset(opened);
    return CheckTail(fileSize);
}

Status CRawX10::CheckTail(int64_t fileSize)
{
    // The header is never parsed: the sensor data sits at a fixed distance
    // from the end of the file, as
    //   field 0 block (kBlockBytes) | gap (kGapBytes) | field 1 block (kBlockBytes)
    // with the last byte of the field 1 block the last byte of the file.
    m_fileSize = fileSize;
    // A file that cannot hold both blocks would only give black images.
    if (fileSize < kTailBytes)
        return kStatusInputTooShort;
    if (PackedBytesOf(int64_t{m_width} * m_height) != kBlockBytes)
        return kStatusGeometryMismatch;
    return kStatusOk;
}

Status CRawX10::LoadBytes(const uint8_t* bytes, int64_t size, const char* name)
{
    Status status = CheckTail(size);
    if (status == kStatusOk)
        status = UnpackFields([&](int32_t field, const uint8_t*& packed) {
            packed = bytes + (size - kTailBytes + BlockOffsetInTail(field));
            return kStatusOk;
        });
    if (status != kStatusOk)
        return status;
    m_path = name;
    BuildMosaic();
    return kStatusOk;
}

Status CRawX10::UnpackBlocks(std::FILE* file, BlockMemory blocks)
{
    return UnpackFields([&](int32_t field, const uint8_t*& packed) {
        uint8_t* const block = blocks.first + static_cast<size_t>(field) * blocks.stride;
        if (blocks.populate)
            PopulateLargeBuffer(block, blocks.stride);
        packed = block;
        return platform::ReadAt(file, m_fileSize - kTailBytes + BlockOffsetInTail(field), block,
                                static_cast<size_t>(kBlockBytes));
    });
}

Status CRawX10::UnpackFields(const std::function<Status(int32_t field, const uint8_t*& packed)>& packedOf)
{
    // One field a worker: it finds its block and unpacks it into its field,
    // which it maps in first; the unpacking writes every sample.
    const int64_t samplesPerField = int64_t{m_width} * m_height;
    std::unique_ptr<uint16_t[]> fields[2];
    for (int32_t field = 0; field < 2; ++field)
        fields[field] = m_spareFields[field] ? std::move(m_spareFields[field])
                                             : MakeLargeSampleBuffer(static_cast<size_t>(samplesPerField), false);
    Status statuses[2] = {kStatusOk, kStatusOk};
    const int32_t workers = Workers().Size();
    Workers().Run([&](int32_t worker) {
        for (int32_t field = worker; field < 2; field += workers)
        {
            PopulateLargeBuffer(fields[field].get(), static_cast<size_t>(samplesPerField) * sizeof(uint16_t));
            const uint8_t* packed = nullptr;
            statuses[field] = packedOf(field, packed);
            if (statuses[field] == kStatusOk)
                UnpackSamples(packed, samplesPerField / 2, fields[field].get());
        }
    });
    for (const Status status : statuses)
        if (status != kStatusOk)
            return status;
    m_field0 = std::move(fields[0]);
    m_field1 = std::move(fields[1]);
    return kStatusOk;
}

void CRawX10::BuildMosaic()
{
    const int64_t a = MosaicSide();
    if (!m_mosaic)
        m_mosaic = MakeLargeSampleBuffer(static_cast<size_t>(a * a));
    uint16_t* mosaic = m_mosaic.get();
    constexpr int32_t kBandRows = 32;
    const int32_t bands = static_cast<int32_t>((a + kBandRows - 1) / kBandRows);
    // Bands are independent of one another; the workers take every
    // workers-th band, which spreads the empty corners of the diamond evenly.
    const int32_t workers = Workers().Size();
    Workers().Run([&](int32_t worker) {
        for (int32_t band = worker; band < bands; band += workers)
        {
            const int32_t firstRow = band * kBandRows;
            const int32_t rowCount = static_cast<int32_t>(std::min<int64_t>(kBandRows, a - firstRow));
            FillMosaicRows(Samples(), firstRow, rowCount, mosaic + firstRow * a);
        }
    });
}

void FillMosaicRows(const SampleView& samples, int32_t firstRow, int32_t rowCount, uint16_t* rows)
{
    // The placement is raw/Placement.h's. The rows are cleared and then
    // filled. Mosaic row r receives field 0's regular samples with x + y = r
    // and field 1's with x + y = r - 1. One field row y contributes a run of
    // consecutive x, read in order and written one per row, two columns east
    // of where row y - 1 wrote: for a band of a few dozen rows, reads and
    // writes touch a few cache lines at a time and the band stays in the
    // second-level cache. The wrapped samples are placed at the end.
    const int64_t a = samples.Side();
    const int32_t w = samples.width;
    const int32_t h = samples.height;
    const uint16_t* const* fields = samples.fields;
    const int32_t endRow = firstRow + rowCount;
    std::fill(rows, rows + rowCount * a, uint16_t{0});
    const CellBox band = {firstRow, endRow - 1, 0, static_cast<int32_t>(a - 1)};
    // Field row y reaches the rows for x + y (field 0) or x + y + 1
    // (field 1) in [firstRow, endRow).
    const int32_t firstY = std::max(0, firstRow - w);
    const int32_t endY = std::min(h, endRow);
    for (int32_t y = firstY; y < endY; ++y)
        for (int32_t f = 0; f < 2; ++f)
        {
            const FieldRun run = RunOfFieldRow(w, h, f, y, band);
            const uint16_t* row = fields[f] + int64_t{y} * w;
            uint16_t* at = rows + (MosaicElementOf(w, h, f, y, run.first) - firstRow * a);
            for (int32_t x = run.first; x <= run.last; ++x, at += a - 1)
                *at = row[x];
        }
    for (int32_t y = FirstWrappingRow(h); y < h; ++y)
        for (int32_t x = 0; x <= WrappedRunOf(w, h, y).last; ++x)
            for (int32_t f = 0; f < 2; ++f)
            {
                const int64_t element = MosaicElementOf(w, h, f, y, x);
                if (element >= firstRow * a && element < endRow * a)
                    rows[element - firstRow * a] = fields[f][int64_t{y} * w + x];
            }
}
