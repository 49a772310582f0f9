// CRawX10: the one raw image object of a run.
//
// It holds the fixed geometry of the X10's two raw fields, the open input
// stream, the input path and three sample buffers: field 0, field 1 and the
// composite mosaic. Every stage of the pipeline is one of its operations, and
// the entry point calls them in this order: Load (which ends with
// BuildMosaic), SaveFieldPreview for field 0 and for field 1,
// SaveMosaicPreview, Demosaic. The mosaic preview must come before Demosaic,
// which white-balances the mosaic in place.
//
// Ownership: the object owns the stream and the three buffers and releases
// them when it is destroyed. Each image writer allocates, fills and releases
// its own pixel buffer. Allocation failure throws std::bad_alloc.
// Return convention: Load and the writers return an int status, 0 on success
// and non-zero on failure; nothing is ever printed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class CRawX10
{
public:
    // Geometry of one field and of the input's tail.
    static constexpr int32_t kFieldWidth = 2944;
    static constexpr int32_t kFieldHeight = 2144;
    static constexpr int64_t kBlockBytes = 9'467'904;  // one packed field: 2144 rows of 4416 bytes
    static constexpr int64_t kGapBytes = 2'048;        // between the two blocks, never read
    static constexpr int64_t kTailBytes = 2 * kBlockBytes + kGapBytes;  // 18,937,856

    CRawX10() = default;
    CRawX10(const CRawX10&) = delete;
    CRawX10& operator=(const CRawX10&) = delete;
    virtual ~CRawX10() = default;

    // Opens the RAF file at path, reads the two packed fields from the end of
    // the file, unpacks them into m_field0 and m_field1 and builds m_mosaic.
    // Returns 0 on success and 1 when the file cannot be opened, is not a
    // regular file, is shorter than kTailBytes or cannot be read in full.
    int32_t Load(const char* path);

    // Lays both fields into the composite mosaic; called by Load.
    void BuildMosaic();

    // Writes one field (m_field0 or m_field1) as "<path>.f0.bmp" or
    // "<path>.f1.bmp". Returns 0 when the file was written, 1 otherwise.
    int32_t SaveFieldPreview(const uint16_t* field);

    // Writes the raw composite mosaic as "<path>.src.bmp". Returns 0 or 1.
    int32_t SaveMosaicPreview();

    // White-balances the mosaic in place, interpolates it into a full-colour
    // image and writes "<path>.bmp". Returns 0 or 1.
    int32_t Demosaic();

    // Side of the square composite mosaic.
    int32_t MosaicSide() const { return m_width + m_height; }

    struct FileCloser
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, FileCloser> m_file;  // the input stream, open after Load
    int32_t m_width = kFieldWidth;                  // field width in samples
    int32_t m_height = kFieldHeight;                // field height in rows
    std::unique_ptr<uint16_t[]> m_field0;           // m_height rows x m_width samples
    std::unique_ptr<uint16_t[]> m_field1;           // same shape
    std::unique_ptr<uint16_t[]> m_mosaic;           // MosaicSide() squared samples, row-major
    int32_t m_fieldBytes = kFieldWidth * kFieldHeight * 2;  // byte size of one field
    std::string m_path;                             // the input path, unchanged; stem of every output name
};

// Unpacks count groups of three bytes into 2 * count 12-bit samples: for the
// bytes b0, b1, b2 the samples are b0 | (b1 & 15) << 8 and b1 >> 4 | b2 << 4.
void UnpackSamples(const uint8_t* packed, int64_t groupCount, uint16_t* samples);
