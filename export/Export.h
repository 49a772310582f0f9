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

// The outcome of an export: kStatusOk, or the status and what failed, the
// input or the output (which of the two names to print) and why.
struct ExportResult
{
    Status status = kStatusOk;
    bool outputFailed = false;
    std::string reason;  // for a message; empty when the status says it all
};

// Writes kind of the file at input to output; deflate compresses a TIFF.
// software names the program in the TIFF's Software tag. Throws
// std::bad_alloc when memory runs out (the output is then not written).
ExportResult ExportFile(const char* input, ExportKind kind, const std::string& output, bool deflate,
                        const std::string& software);
