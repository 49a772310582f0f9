// A BMP file written as it is rendered: band after band of rows, rendered on
// the run's workers and written in file order by the calling thread, so that
// no whole image is ever held in memory.
//
// Like WriteBmpFile (formats/BmpWriter.h), the file appears under its name only
// when complete; on a failure, or an exception from a renderer, an older file
// of that name stays as it was.
#pragma once

#include "platform/Status.h"

#include <cstdint>
#include <functional>
#include <string>

class CBufferKeeper;
class CWorkerPool;

// Fills rowCount storage rows from firstRow on (width * 4 bytes each) into
// pixels; worker says which worker runs it, for scratch memory of its own.
using RowRenderer = std::function<void(int32_t firstRow, int32_t rowCount, uint8_t* pixels, int32_t worker)>;

// Writes a width x height image whose rows renderRows makes on the workers of
// pool, bandRows rows at a time; the band buffers come from keeper.
Status StreamBmpFile(const std::string& name, int32_t width, int32_t height, int32_t bandRows, CWorkerPool& pool,
                     CBufferKeeper& keeper, const RowRenderer& renderRows);
