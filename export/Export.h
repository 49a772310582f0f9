// What diagraw-export writes: one kind of image, or the embedded preview, of
// one input file, to one output file that appears whole or not at all.
//
//   field0, field1  16-bit grey TIFF, a field's 12-bit samples as loaded
//   fields          16-bit grey TIFF of both fields side by side, field 0 on
//                   the left: the raw frame as the sensor reads it out
//   mosaic          16-bit grey TIFF of the composite mosaic, north up, not
//                   mirrored (row r, column c as raw/Lattice.h counts them)
//   balanced        the same after the demosaic's white balance
//   image           8-bit RGB TIFF of the pixels of FILE.bmp, as a viewer
//                   shows them
//   upright         8-bit RGB TIFF of the upright view (demosaic/Upright.h)
//   preview         the embedded JPEG of a RAF, byte for byte
//
// The images read the input as diagraw does (its tail); preview reads the
// header (raw/RafHeader.h).
#pragma once

#include "platform/Status.h"
#include "raw/RafHeader.h"

#include <cstdint>
#include <string>

enum class ExportKind : uint8_t { Field0, Field1, Fields, Mosaic, Balanced, Image, Upright, Preview };

inline constexpr ExportKind kExportKinds[] = {ExportKind::Field0, ExportKind::Field1,   ExportKind::Fields,
                                              ExportKind::Mosaic, ExportKind::Balanced, ExportKind::Image,
                                              ExportKind::Upright, ExportKind::Preview};

// "field0" ... "preview", as the command line names the kind.
const char* NameOfExportKind(ExportKind kind);

// The names of all kinds, "field0, field1, ...", in the order of kExportKinds.
std::string ExportKindNames();

// The lines of --help that list the kinds: name, then what it writes.
std::string ExportKindUsage();

// The kind of that name; false when there is none.
bool ExportKindOf(const std::string& name, ExportKind& kind);

// What a failed export was about, besides its Status: which of the two
// files its message names, and what the input turned out to be, from which
// the message says more than DescribeStatus does.
struct ExportFailure
{
    bool atOutput = false;  // the output failed, not the input
    int64_t inputSize = 0;  // kStatusInputTooShort: the input's size in bytes
    FileHeader header;      // kStatusNoEmbeddedPreview: the input's header
};

// Writes kind of the file at input to output; deflate compresses a TIFF.
// software names the program in the TIFF's Software tag. kStatusOk, or why
// not, with failure filled in; kStatusNoEmbeddedPreview for a preview the
// input does not hold. Throws std::bad_alloc when memory runs out (the output
// is then not written).
Status ExportFile(const char* input, ExportKind kind, const std::string& output, bool deflate,
                  const std::string& software, ExportFailure& failure);

// Why the file of header holds no embedded preview, for a header that
// ExportFile refused with kStatusNoEmbeddedPreview: "not a RAF file
// (signature: unknown)", "its length in the header is 0" or "the header
// places it past the end of the file".
std::string DescribeMissingPreview(const FileHeader& header);
