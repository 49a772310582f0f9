// The Python module's side of one loaded raw file, in plain C++: what each
// method of diagraw.Raw computes, apart from turning it into Python objects
// (python/DiagrawModule.cpp does that).
//
// A CLoadedRaw holds the file as CRawX10::Load left it: both fields and the
// mosaic, which nothing changes afterwards, and no thread: the load and
// every operation start the workers they use and end them before they
// return. It is shared (std::shared_ptr)
// by the Raw object and by every array that shows its samples, so that an
// array stays valid whatever happens to the Raw. Every operation leaves it
// as it was: the white balance of the demosaic, and the one ExplainPixel
// does, work on copies. Any number of threads may run operations on one
// CLoadedRaw at a time. Memory running out throws std::bad_alloc.
#pragma once

#include "metadata/ExifMetadata.h"
#include "platform/Status.h"
#include "probe/AreaStats.h"
#include "probe/CellReport.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CLoadedRaw
{
public:
    // Every operation spreads its work over workers threads (at least one;
    // platform/Workers.h).
    explicit CLoadedRaw(int32_t workers);

    // Loads path as diagraw does (CRawX10::Load) and reads its header and the
    // Exif of its preview while the file is open. On failure returns null and
    // sets status and failure, the reason in the program's words; a header or
    // preview that cannot be read fails HeaderJson and MetadataJson alone,
    // not the load.
    static std::shared_ptr<CLoadedRaw> Load(const std::string& path, int32_t workers, Status& status,
                                            std::string& failure);

    // The same for a whole file of size bytes held in memory at bytes, which
    // is only read (CRawX10::LoadBytes), header and Exif from the same bytes;
    // name stands for its path in messages.
    static std::shared_ptr<CLoadedRaw> LoadBytes(const uint8_t* bytes, int64_t size, const std::string& name,
                                                 int32_t workers, Status& status, std::string& failure);

    const CRawX10& Raw() const { return m_raw; }
    int32_t Side() const { return m_raw.MosaicSide(); }

    // Both fields in one block, field 0 then field 1, each m_height rows of
    // m_width samples: copied from the loader's two buffers on first use and
    // kept.
    const uint16_t* Fields() const;

    // The images of diagraw as RGB rows, top first (formats/RgbImage.h), in a
    // new buffer: the preview of field 0 or 1 (m_height x m_width), the mosaic
    // preview and the demosaiced image (Side() x Side()).
    std::shared_ptr<uint8_t[]> FieldPreview(int32_t field) const;
    std::shared_ptr<uint8_t[]> MosaicPreview() const;
    std::shared_ptr<uint8_t[]> Demosaiced() const;
    // The upright view (demosaic/Upright.h): 2 m_height rows of 2 m_width
    // pixels, RGB, top row first, in a new buffer.
    std::shared_ptr<uint8_t[]> Upright() const;

    // The four files of diagraw, named after stem (OutputNameOf), written
    // one after the other as the program writes them, each whole or not at
    // all. Returns the images that could not be written, with the reason
    // (ENOMEM for an image that memory ran out for).
    std::vector<std::pair<std::string, Status>> Save(const std::string& stem) const;

    // What diagraw-probe stats --json, stats --area X Y W H --json (area is
    // one that CheckArea accepts) and cell X Y --json print.
    std::string StatsJson() const;
    std::string AreaStatsJson(const ImageArea& area) const;
    // (x, y) lies inside the Side() x Side() image; reads the fields alone.
    std::string PixelJson(int32_t x, int32_t y) const;
    // Why diagraw warns about this file (InputWarningOf, raw/RafHeader.h), or
    // an empty text, also when its header could not be read.
    std::string InputWarning() const;

    // What diagraw-probe info --json prints, from the header read by Load;
    // empty, with status set, when that read failed.
    std::string HeaderJson(Status& status) const;
    // What info --json prints as "exif" (ExifJson: "null" for a file without
    // Exif metadata), from the preview read by Load; empty, with status set,
    // when that read failed.
    std::string MetadataJson(Status& status) const;
    // The Exif facts themselves (none when the preview could not be read).
    const ExifMetadata& Exif() const { return m_exif; }

private:
    // Takes over the samples, the path and the size that loader read.
    void Keep(CRawX10& loader);

    int32_t m_workers;
    CRawX10 m_raw;
    FileHeader m_header;
    ExifMetadata m_exif;
    Status m_headerStatus = kStatusOk;
    mutable std::once_flag m_fieldsCopied;
    mutable std::unique_ptr<uint16_t[]> m_fields;
};

// Cell codes of the whole Side() x Side() mosaic, one byte a cell: the
// CellColour or the SiteClass of raw/Lattice.h. They are the same for every
// file, so one copy serves every array alive and is rebuilt only when none is.
enum class CellCodes : uint8_t { Colours, SiteClasses };
std::shared_ptr<const uint8_t[]> CellCodesOfMosaic(CellCodes codes);
