// Reading an X10 raw file: the two packed fields at its end, unpacked, and
// laid into the composite mosaic on the diagonal lattice.
#include "raw/RawX10.h"

#include "platform/Files.h"
#include "platform/LargeBuffers.h"
#include "platform/Workers.h"

#include <algorithm>
#include <cstring>

void UnpackSamples(const uint8_t* packed, int64_t groupCount, uint16_t* samples)
{
    // The samples are the consecutive 12-bit fields of the bytes read as one
    // little-endian bit stream: sample i is bits 12i to 12i + 11. Four groups
    // (12 bytes, 8 samples) are taken from one 64-bit and one 32-bit word,
    // assembled from bytes so that the host's byte order does not matter.
    int64_t g = 0;
    for (; g + 4 <= groupCount; g += 4)
    {
        uint64_t low = 0;
        for (int b = 7; b >= 0; --b)
            low = low << 8 | packed[b];
        const uint32_t high = uint32_t{packed[8]} | uint32_t{packed[9]} << 8 | uint32_t{packed[10]} << 16 |
                              uint32_t{packed[11]} << 24;
        samples[0] = static_cast<uint16_t>(low & 0xFFF);
        samples[1] = static_cast<uint16_t>(low >> 12 & 0xFFF);
        samples[2] = static_cast<uint16_t>(low >> 24 & 0xFFF);
        samples[3] = static_cast<uint16_t>(low >> 36 & 0xFFF);
        samples[4] = static_cast<uint16_t>(low >> 48 & 0xFFF);
        samples[5] = static_cast<uint16_t>(low >> 60 | (high & 0xFF) << 4);
        samples[6] = static_cast<uint16_t>(high >> 8 & 0xFFF);
        samples[7] = static_cast<uint16_t>(high >> 20);
        packed += 12;
        samples += 8;
    }
    for (; g < groupCount; ++g)
    {
        const uint32_t b0 = packed[0];
        const uint32_t b1 = packed[1];
        const uint32_t b2 = packed[2];
        samples[0] = static_cast<uint16_t>(b0 | (b1 & 0x0F) << 8);
        samples[1] = static_cast<uint16_t>(b1 >> 4 | b2 << 4);
        packed += 3;
        samples += 2;
    }
}

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
    // The header is never parsed: the sensor data sits at a fixed distance
    // from the end of the file, as
    //   field 0 block (kBlockBytes) | gap (kGapBytes) | field 1 block (kBlockBytes)
    // with the last byte of the field 1 block the last byte of the file.
    std::FILE* opened = nullptr;
    int64_t fileSize = 0;
    const Status status = platform::OpenInput(path, opened, fileSize);
    if (status != kStatusOk)
        return status;
    file.reset(opened);
    m_fileSize = fileSize;
    // A file that cannot hold both blocks would only give black images.
    if (fileSize < kTailBytes)
        return kStatusInputTooShort;
    if (int64_t{m_width} * m_height * 3 / 2 != kBlockBytes)
        return kStatusGeometryMismatch;
    return kStatusOk;
}

Status CRawX10::UnpackBlocks(std::FILE* file, BlockMemory blocks)
{
    // One field a worker: it reads its block into its buffer and unpacks it
    // into its field, which it maps in first; the unpacking writes every
    // sample.
    const int64_t samplesPerField = int64_t{m_width} * m_height;
    std::unique_ptr<uint16_t[]> fields[2] = {MakeLargeSampleBuffer(static_cast<size_t>(samplesPerField), false),
                                             MakeLargeSampleBuffer(static_cast<size_t>(samplesPerField), false)};
    Status statuses[2] = {kStatusOk, kStatusOk};
    const int32_t workers = Workers().Size();
    Workers().Run([&](int32_t worker) {
        for (int32_t field = worker; field < 2; field += workers)
        {
            uint8_t* const block = blocks.first + static_cast<size_t>(field) * blocks.stride;
            if (blocks.populate)
                PopulateLargeBuffer(block, blocks.stride);
            PopulateLargeBuffer(fields[field].get(), static_cast<size_t>(samplesPerField) * sizeof(uint16_t));
            const int64_t offset = m_fileSize - kTailBytes + field * (kBlockBytes + kGapBytes);
            statuses[field] = platform::ReadAt(file, offset, block, static_cast<size_t>(kBlockBytes));
            if (statuses[field] == kStatusOk)
                UnpackSamples(block, samplesPerField / 2, fields[field].get());
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
            FillMosaicRows(*this, firstRow, rowCount, mosaic + firstRow * a);
        }
    });
}

void FillMosaicRows(const CRawX10& raw, int32_t firstRow, int32_t rowCount, uint16_t* rows)
{
    // Field position (y, x) is stored at the element
    //   L = (x + y) * a + (m_width + 2 - x + y)
    // for field 0, and at L + a, the cell just south of it, for field 1. So a
    // step along a field row moves one cell south-west and a step down a
    // field column one cell south-east. L is used as one element index, not
    // split into a row and a column: for three positions of each field the
    // column term comes to a or a + 1, and those samples wrap round into
    // column 0 or 1 of the next rows.
    //
    // The rows are cleared and then filled. Mosaic row r receives the
    // field-0 samples with x + y = r and the field-1 samples with
    // x + y = r - 1, at column m_width + 2 - x + y while that term is below
    // a. One field row y contributes a run of consecutive x, read in order
    // and written one per row, two columns east of where row y - 1 wrote:
    // for a band of a few dozen rows, reads and writes touch a few cache
    // lines at a time and the band stays in the second-level cache. The
    // wrapped samples are placed at the end.
    const int64_t a = raw.MosaicSide();
    const int64_t w = raw.m_width;
    const int64_t h = raw.m_height;
    const uint16_t* field0 = raw.m_field0.get();
    const uint16_t* field1 = raw.m_field1.get();
    const int64_t endRow = firstRow + rowCount;
    std::fill(rows, rows + rowCount * a, uint16_t{0});
    // Field row y reaches the rows for x + y (field 0) or x + y + 1
    // (field 1) in [firstRow, endRow).
    const int64_t firstY = std::max<int64_t>(0, firstRow - w);
    const int64_t endY = std::min(h, endRow);
    for (int64_t y = firstY; y < endY; ++y)
    {
        // Column term below a: x >= y + 3 - h.
        const int64_t lowestX = std::max<int64_t>(0, y + 3 - h);
        const int64_t first0 = std::max(lowestX, firstRow - y);
        const int64_t end0 = std::min(w, endRow - y);
        const uint16_t* row0 = field0 + y * w;
        uint16_t* at0 = rows + (first0 + y - firstRow) * a + (w + 2 - first0 + y);
        for (int64_t x = first0; x < end0; ++x, at0 += a - 1)
            *at0 = row0[x];
        const int64_t first1 = std::max(lowestX, firstRow - 1 - y);
        const int64_t end1 = std::min(w, endRow - 1 - y);
        const uint16_t* row1 = field1 + y * w;
        uint16_t* at1 = rows + (first1 + y + 1 - firstRow) * a + (w + 2 - first1 + y);
        for (int64_t x = first1; x < end1; ++x, at1 += a - 1)
            *at1 = row1[x];
    }
    // The positions whose column term m_width + 2 - x + y is a or more: only
    // x <= y + 2 - m_height, so y >= m_height - 2.
    for (int64_t y = std::max<int64_t>(0, h - 2); y < h; ++y)
        for (int64_t x = 0; x < w && x <= y + 2 - h; ++x)
            for (int64_t f = 0; f < 2; ++f)
            {
                const int64_t element = (x + y + f) * a + (w + 2 - x + y);
                if (element >= firstRow * a && element < endRow * a)
                    rows[element - firstRow * a] = (f == 0 ? field0 : field1)[y * w + x];
            }
}
