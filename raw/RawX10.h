// CRawX10: one X10 raw file on its way to four images.
//
// The object of a run. It knows the shape of the X10's raw fields, keeps the
// input stream and path, and holds the samples: field 0, field 1 and the
// diagonal composite mosaic built from both (raw/Lattice.h explains the
// lattice). The entry point calls its operations once each, in this order:
//
//   Load                 read both fields from the end of the file, as
//                        LoadFields does, and build the mosaic (BuildMosaic)
//   SaveFieldPreview     m_field0, then m_field1        -> <path>.f0.bmp, .f1.bmp
//   SaveMosaicPreview    the raw mosaic                 -> <path>.src.bmp
//   Demosaic             white balance, interpolation   -> <path>.bmp
//
// The mosaic preview has to come before Demosaic, which leaves the mosaic
// white-balanced. Load and BuildMosaic live in raw/. Each output stage is a
// thin forwarder to the renderer of its image (previews/Previews.h,
// demosaic/Demosaic.h), which reads the samples through a SampleView
// (raw/Samples.h) and runs on the object's workers; the pipeline
// (pipeline/Pipeline.h) and the Python module call those renderers directly.
//
// Ownership: the object owns the stream, the sample buffers, the keeper of
// the run's scratch buffers and the run's pool of workers, started once when
// it is made (platform/Workers.h), and releases them when it is destroyed.
// The images are the same bytes whatever the number of workers.
// Failures: every operation returns a Status (0 on success, otherwise why;
// platform/Status.h). Running out of memory throws std::bad_alloc.
//
// Threads: one object is used by one thread at a time. Different objects may
// be used at the same time from different threads, each operation of this
// header and of the library's other public headers included (loading,
// rendering, the previews, the demosaic, the probe's reports, writing);
// nothing is shared between them but the read-only tables of the code.
#pragma once

#include "platform/Status.h"
#include "raw/PackedSamples.h"
#include "raw/Samples.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class CBufferKeeper;
class CWorkerPool;

// The four images of a run, in the order the pipeline writes them.
enum class OutputImage : uint8_t { Field0Preview, Field1Preview, MosaicPreview, Demosaiced };

// Name of an output: the input path, unchanged, followed by ".f0.bmp",
// ".f1.bmp", ".src.bmp" or ".bmp".
std::string OutputNameOf(const std::string& path, OutputImage image);

class CRawX10
{
public:
    // Shape of one field and of the tail of the file that holds both.
    static constexpr int32_t kFieldWidth = 2944;
    static constexpr int32_t kFieldHeight = 2144;
    static constexpr int32_t kMosaicSide = kFieldWidth + kFieldHeight;  // 5088
    static constexpr int64_t kBlockBytes = PackedBytesOf(int64_t{kFieldWidth} * kFieldHeight);  // 9,467,904
    static constexpr int64_t kGapBytes = 2'048;        // between the two blocks, never read
    static constexpr int64_t kTailBytes = 2 * kBlockBytes + kGapBytes;  // 18,937,856

    // Where field f's block starts, counted from the start of the tail.
    static constexpr int64_t BlockOffsetInTail(int32_t field) { return field * (kBlockBytes + kGapBytes); }

    // A run with WorkerCount() workers, or with the given number (at least
    // one; for tests and benchmarks).
    CRawX10();
    explicit CRawX10(int32_t workers);
    CRawX10(const CRawX10&) = delete;
    CRawX10& operator=(const CRawX10&) = delete;
    ~CRawX10();

    // Reads the fields as LoadFields does, reading the packed blocks into the
    // mosaic's memory instead of a scratch buffer, then BuildMosaic.
    Status Load(const char* path);

    // Opens the file at path, reads the two packed blocks from its end and
    // unpacks them into m_field0 and m_field1; keeps the stream, the path and
    // the file's size. Refuses a file that is not a regular file or is
    // shorter than kTailBytes (kStatusNotRegularFile, kStatusInputTooShort;
    // m_fileSize then holds the size), fields whose shape does not fill a
    // block (kStatusGeometryMismatch) and a failed read. On failure no field
    // is set and m_path stays empty.
    Status LoadFields(const char* path);

    // LoadFields for the next file of a series (a stack of frames): the new
    // fields go into the memory of the fields loaded before, so that no
    // memory is mapped in again. On failure no field is set, the old ones
    // neither.
    Status LoadNextFields(const char* path);

    // Loads a whole file held in memory, size bytes at bytes, as Load reads a
    // file: both fields from its tail, then BuildMosaic; name stands for its
    // path (m_path). Refuses fewer than kTailBytes (kStatusInputTooShort,
    // m_fileSize then holds the size) and a shape that does not fill a block.
    // No stream is kept; bytes is only read, and not needed afterwards.
    Status LoadBytes(const uint8_t* bytes, int64_t size, const char* name);

    // Lays both fields into the composite mosaic m_mosaic (allocated here
    // unless Load has given it its memory already).
    void BuildMosaic();

    // Writes one field, m_field0 or m_field1, as <path>.f0.bmp or .f1.bmp.
    Status SaveFieldPreview(const uint16_t* field);

    // Writes the raw composite mosaic as <path>.src.bmp.
    Status SaveMosaicPreview();

    // Interpolates the white-balanced mosaic into a full-colour image, writes
    // <path>.bmp and leaves m_mosaic white-balanced.
    Status Demosaic();

    // Side of the square composite mosaic.
    int32_t MosaicSide() const { return m_width + m_height; }

    // The samples loaded so far, for the renderers; valid while the buffers
    // are.
    SampleView Samples() const { return {m_width, m_height, {m_field0.get(), m_field1.get()}, m_mosaic.get()}; }

    // The keeper of this run's scratch buffers (platform/LargeBuffers.h).
    CBufferKeeper& Buffers() const { return *m_buffers; }

    // This run's workers (platform/Workers.h); started when the object was
    // made.
    CWorkerPool& Workers() const { return *m_workers; }

    struct FileCloser
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, FileCloser> m_file;  // the input stream, open after Load
    int32_t m_width = kFieldWidth;                  // samples in one field row
    int32_t m_height = kFieldHeight;                // rows in one field
    std::unique_ptr<uint16_t[]> m_field0;           // m_height rows of m_width samples
    std::unique_ptr<uint16_t[]> m_field1;           // the same shape
    std::unique_ptr<uint16_t[]> m_mosaic;           // MosaicSide() rows of MosaicSide() samples
    std::string m_path;                             // the input path as given; stem of every output name
    int64_t m_fileSize = -1;                        // bytes in the input, once it was opened

private:
    // Opens the file at path and checks that it holds both blocks; records
    // its size.
    Status OpenTail(const char* path, std::unique_ptr<std::FILE, FileCloser>& file);

    // Records the size of an input and checks that it holds both blocks.
    Status CheckTail(int64_t fileSize);

    // Where the two packed blocks are read: field f's at first + f * stride;
    // populate says whether the worker reading a block maps its memory in
    // first.
    struct BlockMemory
    {
        uint8_t* first;
        size_t stride;
        bool populate;
    };

    // The flow of Load and LoadFields: opens the file and checks its tail,
    // then asks blockMemory (once, on the calling thread) where to read the
    // blocks, reads and unpacks them, and keeps the stream and the path.
    Status ReadFields(const char* path, const std::function<BlockMemory()>& blockMemory);

    // Reads each packed block into blocks and unpacks it into the field; the
    // fields are set only when both were read.
    Status UnpackBlocks(std::FILE* file, BlockMemory blocks);

    // Unpacks both fields, one a worker; packedOf(field, packed) finds or
    // reads that field's packed block and points packed at it. The fields are
    // set only when both were found.
    Status UnpackFields(const std::function<Status(int32_t field, const uint8_t*& packed)>& packedOf);

    std::unique_ptr<CBufferKeeper> m_buffers;
    std::unique_ptr<CWorkerPool> m_workers;
    std::unique_ptr<uint16_t[]> m_spareFields[2];  // LoadNextFields: the memory UnpackFields fills
};

// Mosaic rows firstRow to firstRow + rowCount - 1 as BuildMosaic lays them
// out, from the fields of samples, into rows (rowCount * Side() samples,
// every one written). BuildMosaic builds the whole mosaic band by band with
// it; other stages can keep a few rows at a time instead of the whole mosaic.
void FillMosaicRows(const SampleView& samples, int32_t firstRow, int32_t rowCount, uint16_t* rows);

