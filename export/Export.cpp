#include "export/Export.h"

#include "demosaic/Demosaic.h"
#include "demosaic/fastscan/FastScan.h"
#include "demosaic/Upright.h"
#include "platform/Files.h"
#include "platform/LargeBuffers.h"
#include "platform/TerminalText.h"
#include "platform/Workers.h"
#include "formats/RgbImage.h"
#include "formats/TiffWriter.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

struct KindText
{
    ExportKind kind;
    const char* name;
    const char* usage;        // its lines of --help, after the name
    const char* description;  // the TIFF's ImageDescription
};

constexpr KindText kKindTexts[] = {
    {ExportKind::Field0, "field0", "16-bit grey TIFF, 2944 x 2144, field 0's samples unscaled",
     "diagraw field0: field 0 of an X10 raw file, its 12-bit samples as read, unscaled"},
    {ExportKind::Field1, "field1", "16-bit grey TIFF, 2944 x 2144, field 1's samples unscaled",
     "diagraw field1: field 1 of an X10 raw file, its 12-bit samples as read, unscaled"},
    {ExportKind::Fields, "fields", "16-bit grey TIFF, 5888 x 2144, both fields side by side,\nfield 0 on the left, samples unscaled",
     "diagraw fields: both fields of an X10 raw file side by side, field 0 on the left, each field's rows "
     "top-down as read, its 12-bit samples unscaled"},
    {ExportKind::Mosaic, "mosaic", "16-bit grey TIFF, 5088 x 5088, the raw composite mosaic,\nnorth up, not mirrored",
     "diagraw mosaic: the composite mosaic of both fields' 12-bit samples, north up, not mirrored; cells "
     "without a sample are 0"},
    {ExportKind::Balanced, "balanced", "the same after the demosaic's white balance",
     "diagraw balanced: the composite mosaic after the demosaic's white balance (red and blue cells of rows and "
     "columns 8 to 5079 times 1.65 or 1.57 by row pair), north up, not mirrored"},
    {ExportKind::Image, "image", "8-bit RGB TIFF, 5088 x 5088, the pixels of FILE.raf.bmp",
     "diagraw image: the demosaiced image, the pixels of diagraw's .bmp as a viewer shows them (the mosaic "
     "mirrored left to right)"},
    {ExportKind::Upright, "upright", "8-bit RGB TIFF, 5888 x 4288, the demosaiced photo upright",
     "diagraw upright: the demosaiced image on the fields' grid, field 0 cells at (2y, 2x), field 1 cells at "
     "(2y + 1, 2x + 1), the other pixels the means of their demosaiced edge neighbours"},
    {ExportKind::Preview, "preview", "the embedded JPEG of a RAF, byte for byte", ""},
};

const KindText& TextOf(ExportKind kind)
{
    return kKindTexts[static_cast<int>(kind)];
}

// Whether header holds a preview that can be copied.
bool HoldsPreview(const FileHeader& header)
{
    return header.signature == FileSignature::Raf && header.rafFieldsComplete &&
           header.preview.place == SectionPlace::Inside;
}

// Copies the embedded JPEG of the RAF at input, byte for byte.
Status ExportPreview(const char* input, const std::string& output, ExportFailure& failure)
{
    std::FILE* opened = nullptr;
    int64_t size = 0;
    Status status = platform::OpenInput(input, opened, size);
    if (status != kStatusOk)
        return status;
    const std::unique_ptr<std::FILE, CRawX10::FileCloser> stream(opened);
    status = ReadFileHeader(stream.get(), size, failure.header);
    if (status != kStatusOk)
        return status;
    if (!HoldsPreview(failure.header))
        return kStatusNoEmbeddedPreview;
    const RafSection& preview = failure.header.preview;
    failure.atOutput = true;
    status = platform::CheckOutputName(output, stream.get());
    if (status != kStatusOk)
        return status;

    platform::COutputFile file;
    status = file.Create(output);
    std::vector<uint8_t> chunk(std::min<size_t>(preview.length, size_t{1} << 20));
    for (int64_t done = 0; status == kStatusOk && done < preview.length;)
    {
        const auto count = static_cast<size_t>(std::min<int64_t>(preview.length - done, static_cast<int64_t>(chunk.size())));
        const Status read = platform::ReadAt(stream.get(), preview.offset + done, chunk.data(), count);
        if (read != kStatusOk)
        {
            failure.atOutput = false;
            return read;
        }
        status = file.Write(chunk.data(), count);
        done += static_cast<int64_t>(count);
    }
    return status == kStatusOk ? file.Commit() : status;
}

TiffLayout LayoutOf(ExportKind kind, const CRawX10& raw, bool deflate, const std::string& software)
{
    TiffLayout layout;
    const bool field = kind == ExportKind::Field0 || kind == ExportKind::Field1 || kind == ExportKind::Fields;
    const bool grey = field || kind == ExportKind::Mosaic || kind == ExportKind::Balanced;
    const bool doubleWidth = kind == ExportKind::Fields || kind == ExportKind::Upright;
    layout.width = doubleWidth ? 2 * raw.m_width : field ? raw.m_width : raw.MosaicSide();
    layout.height = field ? raw.m_height : kind == ExportKind::Upright ? 2 * raw.m_height : raw.MosaicSide();
    layout.samplesPerPixel = grey ? 1 : 3;
    layout.bitsPerSample = grey ? 16 : 8;
    layout.deflate = deflate;
    layout.software = software;
    layout.description = TextOf(kind).description;
    return layout;
}

// The demosaiced image, rows top-down in RGB, as a viewer shows the .bmp.
Status ExportImage(const CRawX10& raw, const std::string& output, const TiffLayout& layout)
{
    const int32_t side = raw.MosaicSide();
    const int32_t workers = raw.Workers().Size();
    return StreamTiffFile(output, layout, raw.Workers(), raw.Buffers(),
                          RgbRowRenderer(DemosaicRowRenderer(raw.m_mosaic.get(), side, workers), side, side, workers));
}

}  // namespace

const char* NameOfExportKind(ExportKind kind)
{
    return TextOf(kind).name;
}

std::string ExportKindNames()
{
    std::string names;
    for (const KindText& text : kKindTexts)
        names += (names.empty() ? "" : ", ") + std::string(text.name);
    return names;
}

std::string ExportKindUsage()
{
    std::string usage;
    for (const KindText& text : kKindTexts)
        usage += LabelledLines(std::string("  ") + text.name, text.usage, 18);
    return usage;
}

std::string DescribeMissingPreview(const FileHeader& header)
{
    if (header.signature != FileSignature::Raf || !header.rafFieldsComplete)
        return std::string("not a RAF file (signature: ") + NameOfSignature(header.signature) + ")";
    if (header.preview.place == SectionPlace::Absent)
        return "its length in the header is 0";
    return "the header places it past the end of the file";
}

bool ExportKindOf(const std::string& name, ExportKind& kind)
{
    for (const KindText& text : kKindTexts)
        if (name == text.name)
        {
            kind = text.kind;
            return true;
        }
    return false;
}

Status ExportFile(const char* input, ExportKind kind, const std::string& output, bool deflate,
                  const std::string& software, ExportFailure& failure)
{
    if (kind == ExportKind::Preview)
        return ExportPreview(input, output, failure);
    CRawX10 raw;
    const Status status = kind == ExportKind::Image ? raw.Load(input) : raw.LoadFields(input);
    failure.inputSize = raw.m_fileSize;
    if (status != kStatusOk)
        return status;
    // From here on only the output can fail.
    failure.atOutput = true;
    // Before anything is rendered: the output can be written, and it is not
    // the input under another name (or the same).
    const Status named = platform::CheckOutputName(output, raw.m_file.get());
    if (named != kStatusOk)
        return named;
    const TiffLayout layout = LayoutOf(kind, raw, deflate, software);
    const int32_t side = raw.MosaicSide();
    const auto rowBytes = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.bitsPerSample / 8) *
                          static_cast<size_t>(layout.samplesPerPixel);
    switch (kind)
    {
    case ExportKind::Field0:
    case ExportKind::Field1:
    {
        const uint16_t* field = kind == ExportKind::Field0 ? raw.m_field0.get() : raw.m_field1.get();
        return StreamTiffFile(output, layout, raw.Workers(), raw.Buffers(), [&](int32_t firstRow, int32_t rowCount, uint8_t* rows, int32_t) {
            std::memcpy(rows, field + static_cast<size_t>(firstRow) * static_cast<size_t>(raw.m_width),
                        rowBytes * static_cast<size_t>(rowCount));
        });
    }
    case ExportKind::Fields:
        return StreamTiffFile(output, layout, raw.Workers(), raw.Buffers(), [&](int32_t firstRow, int32_t rowCount, uint8_t* rows, int32_t) {
            const size_t fieldRowBytes = rowBytes / 2;
            for (int32_t j = 0; j < rowCount; ++j)
            {
                const size_t sample = static_cast<size_t>(firstRow + j) * static_cast<size_t>(raw.m_width);
                uint8_t* row = rows + static_cast<size_t>(j) * rowBytes;
                std::memcpy(row, raw.m_field0.get() + sample, fieldRowBytes);
                std::memcpy(row + fieldRowBytes, raw.m_field1.get() + sample, fieldRowBytes);
            }
        });
    case ExportKind::Mosaic:
    case ExportKind::Balanced:
        // Built band by band from the fields, never held whole.
        return StreamTiffFile(output, layout, raw.Workers(), raw.Buffers(), [&](int32_t firstRow, int32_t rowCount, uint8_t* rows, int32_t) {
            auto* samples = reinterpret_cast<uint16_t*>(rows);
            FillMosaicRows(raw.Samples(), firstRow, rowCount, samples);
            if (kind == ExportKind::Balanced)
                WhiteBalanceBand(samples, side, firstRow, rowCount);
        });
    case ExportKind::Image:
        return ExportImage(raw, output, layout);
    case ExportKind::Upright:
    {
        // The loader's read buffer is not needed again; the cells need room.
        raw.Buffers().ReleaseKept();
        const UprightCells cells = DemosaicFieldCells(raw.Samples(), raw.Workers());
        raw.m_field0.reset();
        raw.m_field1.reset();
        return StreamTiffFile(output, layout, raw.Workers(), raw.Buffers(), [&](int32_t firstRow, int32_t rowCount, uint8_t* rgb, int32_t) {
            RenderUprightRows(cells, firstRow, rowCount, rgb);
        });
    }
    case ExportKind::Preview:
        break;
    }
    return EINVAL;
}
