#include "formats/TiffWriter.h"

#include "platform/Files.h"
#include "platform/Workers.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

// Rows of a strip: about this many bytes.
constexpr size_t kStripBytes = 256 * 1024;

// Where libtiff writes: the output file in the making. libtiff appends the
// strips and the directory, and goes back once to set the header's pointer
// to the directory; it may also skip a byte to align the directory, which
// is written as a zero.
struct CTiffSink
{
    platform::COutputFile file;
    uint64_t position = 0;  // where libtiff's next write goes
    uint64_t end = 0;       // bytes written
    Status status = kStatusOk;
    bool libraryFailed = false;  // libtiff reported an error, even one it went on after

    bool Write(const uint8_t* bytes, uint64_t count)
    {
        if (status == kStatusOk && position < end)
        {
            const uint64_t over = std::min(count, end - position);
            status = file.WriteAt(static_cast<int64_t>(position), bytes, static_cast<size_t>(over));
            position += over;
            bytes += over;
            count -= over;
        }
        static constexpr uint8_t kZeros[64] = {};
        while (status == kStatusOk && count > 0 && end < position)
        {
            const uint64_t gap = std::min<uint64_t>(sizeof kZeros, position - end);
            status = file.Write(kZeros, static_cast<size_t>(gap));
            end += gap;
        }
        if (status == kStatusOk && count > 0)
        {
            status = file.Write(bytes, static_cast<size_t>(count));
            position += count;
            end = position;
        }
        return status == kStatusOk;
    }
};

CTiffSink& SinkOf(thandle_t handle)
{
    return *static_cast<CTiffSink*>(handle);
}

tmsize_t ReadNothing(thandle_t, void*, tmsize_t)
{
    return 0;  // a file being written is never read back
}

tmsize_t WriteToSink(thandle_t handle, void* bytes, tmsize_t count)
{
    if (count < 0 || !SinkOf(handle).Write(static_cast<const uint8_t*>(bytes), static_cast<uint64_t>(count)))
        return -1;
    return count;
}

toff_t SeekInSink(thandle_t handle, toff_t offset, int whence)
{
    CTiffSink& sink = SinkOf(handle);
    const uint64_t from = whence == SEEK_CUR ? sink.position : whence == SEEK_END ? sink.end : 0;
    sink.position = from + offset;
    return sink.position;
}

int CloseNothing(thandle_t)
{
    return 0;  // the file is committed or discarded by StreamTiffFile
}

toff_t SizeOfSink(thandle_t handle)
{
    return SinkOf(handle).end;
}

int MapNothing(thandle_t, void**, toff_t*)
{
    return 0;
}

void UnmapNothing(thandle_t, void*, toff_t)
{
}

// libtiff's messages are not printed: a failure is reported once, by the
// caller, from the Status. But every error fails the image, also one that
// libtiff goes on after (it may, for one, deflate with zlib when libdeflate
// cannot get its memory, which gives other bytes).
#if TIFFLIB_VERSION >= 20221213
int NoteError(TIFF*, void* sink, const char*, const char*, va_list)
{
    static_cast<CTiffSink*>(sink)->libraryFailed = true;
    return 1;
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

TIFF* OpenTiff(const std::string& name, CTiffSink& sink)
{
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                               TIFFOpenOptionsFree);
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), NoteError, &sink);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), IgnoreWarning, nullptr);
    return TIFFClientOpenExt(name.c_str(), "wl", &sink, ReadNothing, WriteToSink, SeekInSink, CloseNothing, SizeOfSink,
                             MapNothing, UnmapNothing, options.get());
}
#else
// Older libtiff has only process-wide handlers, with the file's client data.
void NoteError(thandle_t sink, const char*, const char*, va_list)
{
    if (sink != nullptr)
        SinkOf(sink).libraryFailed = true;
}

TIFF* OpenTiff(const std::string& name, CTiffSink& sink)
{
    static const bool s_silenced = [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetErrorHandlerExt(NoteError);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)s_silenced;
    return TIFFClientOpen(name.c_str(), "wl", &sink, ReadNothing, WriteToSink, SeekInSink, CloseNothing, SizeOfSink,
                          MapNothing, UnmapNothing);
}
#endif

// Deflate takes one path, set here, for the whole file: libdeflate where
// libtiff has it (the bytes diagraw-export has always written with it), zlib
// where it has not.
bool ChooseDeflatePath(TIFF* tiff, CTiffSink& sink)
{
#ifdef TIFFTAG_DEFLATE_SUBCODEC
    if (TIFFSetField(tiff, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_LIBDEFLATE) == 1)
        return true;
    sink.libraryFailed = false;  // the refusal of a libtiff without libdeflate
    return TIFFSetField(tiff, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_ZLIB) == 1;
#else
    (void)tiff;
    (void)sink;
    return true;
#endif
}

struct TiffCloser
{
    void operator()(TIFF* tiff) const { TIFFCleanup(tiff); }
};

bool SetTags(TIFF* tiff, const TiffLayout& layout, uint32_t rowsPerStrip)
{
    const auto width = static_cast<uint32_t>(layout.width);
    const auto height = static_cast<uint32_t>(layout.height);
    const auto samples = static_cast<uint16_t>(layout.samplesPerPixel);
    const auto bits = static_cast<uint16_t>(layout.bitsPerSample);
    const uint16_t photometric = samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    const uint16_t compression = layout.deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE;
    return TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width) == 1 && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height) == 1 &&
           TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples) == 1 &&
           TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits) == 1 &&
           TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric) == 1 &&
           TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t{PLANARCONFIG_CONTIG}) == 1 &&
           TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression) == 1 &&
           TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) == 1 &&
           TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 1.0) == 1 && TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 1.0) == 1 &&
           TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, uint16_t{RESUNIT_NONE}) == 1 &&
           TIFFSetField(tiff, TIFFTAG_SOFTWARE, layout.software.c_str()) == 1 &&
           TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, layout.description.c_str()) == 1;
}

}  // namespace

Status StreamTiffFile(const std::string& name, const TiffLayout& layout, CWorkerPool& pool, CBufferKeeper& keeper,
                      const RowRenderer& renderRows)
{
    if (layout.width <= 0 || layout.height <= 0 || (layout.samplesPerPixel != 1 && layout.samplesPerPixel != 3) ||
        (layout.bitsPerSample != 8 && layout.bitsPerSample != 16))
        return EINVAL;
    const size_t rowBytes = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.samplesPerPixel) *
                            static_cast<size_t>(layout.bitsPerSample / 8);
    const auto bandRows = static_cast<int32_t>(std::clamp<size_t>(kStripBytes / rowBytes, 1, static_cast<size_t>(layout.height)));
    const int32_t bands = (layout.height + bandRows - 1) / bandRows;
    const auto rowsOf = [&](int32_t band) { return std::min(bandRows, layout.height - band * bandRows); };

    CTiffSink sink;
    Status status = sink.file.Create(name);
    if (status != kStatusOk)
        return status;
    // Freed before the commit on success; on a failure, libtiff's last flush
    // goes into the temporary that is then discarded.
    std::unique_ptr<TIFF, TiffCloser> tiff(OpenTiff(name, sink));
    const auto failure = [&] { return sink.status != kStatusOk ? sink.status : kStatusEncodingFailed; };
    if (!tiff || !SetTags(tiff.get(), layout, static_cast<uint32_t>(bandRows)) ||
        (layout.deflate && !ChooseDeflatePath(tiff.get(), sink)) || sink.libraryFailed)
        return failure();
    status = StreamBands(
        pool, bands, rowBytes * static_cast<size_t>(bandRows), keeper,
        [&](int32_t band, uint8_t* rows, int32_t worker) { renderRows(band * bandRows, rowsOf(band), rows, worker); },
        [&](int32_t band, const uint8_t* rows) {
            // libtiff takes the buffer as its own to swap bytes on a
            // big-endian host; it is this band's, and not used after.
            const auto bytes = static_cast<tmsize_t>(rowBytes * static_cast<size_t>(rowsOf(band)));
            if (TIFFWriteEncodedStrip(tiff.get(), static_cast<uint32_t>(band), const_cast<uint8_t*>(rows), bytes) < 0 ||
                sink.libraryFailed)
                return failure();
            return kStatusOk;
        });
    if (status != kStatusOk)
        return status;
    if (TIFFWriteDirectory(tiff.get()) != 1 || sink.libraryFailed)
        return failure();
    tiff.reset();
    if (sink.status != kStatusOk)
        return sink.status;
    return sink.file.Commit();
}
