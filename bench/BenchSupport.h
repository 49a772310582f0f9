// Shared set-up of the benchmarks: the built-in chart as a raw file in a
// scratch directory, and a raw image object loaded from it.
//
// The stages that run on the workers (loading, the previews, the demosaic,
// the whole run) are timed by the clock on the wall (UseRealTime): the CPU
// time Google Benchmark reports is only the calling thread's. Each iteration
// replaces the output file of the one before, which costs more than writing
// a new file.
//
// The scratch directory is made on first use and removed with everything in
// it when the benchmark program ends. The loaded chart is made once and
// shared read-only; a benchmark that changes a mosaic works on its own copy.
#pragma once

#include "demosaic/Demosaic.h"
#include "raw/RawX10.h"

#include <cstdint>
#include <string>

namespace benchsupport
{

// Cells of the demosaic's scan window of the 5088 x 5088 mosaic.
inline constexpr int64_t kWindowCells =
    int64_t{CRawX10::kMosaicSide - 2 * kWindowMargin} * (CRawX10::kMosaicSide - 2 * kWindowMargin);
// Pixels of one composite image and of one field preview.
inline constexpr int64_t kMosaicCells = int64_t{CRawX10::kMosaicSide} * CRawX10::kMosaicSide;
inline constexpr int64_t kFieldCells = int64_t{CRawX10::kFieldWidth} * CRawX10::kFieldHeight;

// Path of a file in the scratch directory.
std::string ScratchPath(const std::string& name);

// Path of the chart's raw file, written on first use.
const std::string& ChartPath();

// The chart loaded by CRawX10::Load: raw fields and the mosaic before white
// balance; its outputs go to the scratch directory.
const CRawX10& LoadedChart();

// Copies the loaded chart's fields and mosaic into raw.
void CopyLoadedChart(CRawX10& raw);

}  // namespace benchsupport
