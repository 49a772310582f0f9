// A sensor's defective cells, as `diagraw-probe defects --json` lists them,
// read for diagraw-view's overlay and checked against the file's placement.
//
// The file is one JSON object; its list "defects" holds one object per
// defect, every other key of it (the per-field figures among them) is
// ignored, as is any key of an entry besides these:
//
//   kind                 "hot", "dead" or "stuck"
//   field, row, column   the field sample: field 0 or 1, its row and column
//   cell_row, cell_column  the mosaic cell the sample lands in
//   x, y                 the image pixel that shows the cell, or both null
//                        for a cell that shows in none (row 0 or column 0)
//   mean                 the cell's mean over the stack, in DN
//   excess               robust spreads from its channel's level, or null
//
// Every entry is checked: each key present and of its type, the sample
// inside the fields, and its cell and pixel those that raw/Placement.h
// gives. A file that fails any check is refused whole, with the first
// reason.
#pragma once

#include "sensor/StackFigures.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The entries are read into the probe's own Defect (sensor/StackFigures.h),
// an excess of null as NaN; a file lists at most as many as the probe does.
inline constexpr int64_t kMaxDefectsFileBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxDefects = kMaxListedDefects;

// Reads the text of a defects file for fields of width x height samples.
// False, with the reason (one line), when it is not one; defects then holds
// nothing.
bool ParseDefects(std::string_view text, int32_t width, int32_t height, std::vector<Defect>& defects,
                  std::string& reason);

// The same for the regular file at path, of at most kMaxDefectsFileBytes.
bool ReadDefects(const std::string& path, int32_t width, int32_t height, std::vector<Defect>& defects,
                 std::string& reason);

// What diagraw-view serves of them: {"file": path, "counts": {kind: n, ...},
// "defects": [...]}, each entry with the keys above and "places", where its
// sample shows in each view that shows it ([x, y] for field f's view, the
// mosaic, the image and the upright view); "file" null and no defect when
// none were given (path empty). One line, with the newline.
std::string DefectsJson(const std::string& path, const std::vector<Defect>& defects);
