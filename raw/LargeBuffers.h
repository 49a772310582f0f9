// The large buffers of a run: the two fields and the mosaic, the read buffer
// and the pixel buffers, some 300 MB in all.
//
// Fresh memory costs a page fault for each 4 KiB page on first touch, and on
// a virtual machine those faults can cost more than the arithmetic of a whole
// stage. On Linux, PrepareLargeBuffer asks the kernel to back a buffer with
// 2 MiB pages and to map all of it in one call; elsewhere it does nothing.
// AcquireScratchBuffer lends the read buffer and the pixel buffers: a
// released block is kept (one at a time) and lent again to the next request
// that fits in it, so that the writers that follow one another reuse memory
// that is already mapped. Contents are never initialised.
//
// Ownership: every buffer is a std::unique_ptr; a scratch buffer's deleter
// hands the block back to the keeper. One thread only. Allocation failure
// throws std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Advises huge pages for, and maps, the bytes at data (no effect elsewhere
// than Linux, and none on a failure, which only costs speed).
void PrepareLargeBuffer(void* data, size_t bytes);

// count uninitialised samples in a prepared buffer.
std::unique_ptr<uint16_t[]> MakeLargeSampleBuffer(size_t count);

struct ScratchReturn
{
    void operator()(uint8_t* block) const;
};
using ScratchBuffer = std::unique_ptr<uint8_t[], ScratchReturn>;

// bytes uninitialised bytes, from the kept block when it is large enough.
ScratchBuffer AcquireScratchBuffer(size_t bytes);
