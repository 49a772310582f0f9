#include "raw/LargeBuffers.h"

#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace
{

constexpr size_t kHugePageBytes = size_t{2} << 20;
constexpr size_t kPageBytes = 4096;

// A scratch block. A large buffer starts one huge page into its block, so
// that it starts and (its capacity rounded up) ends on a huge page boundary;
// a small one starts one cache line in. The header just before the buffer
// holds the block's address, alignment and the buffer's capacity.
constexpr size_t kSmallAlignment = 64;

struct ScratchHeader
{
    void* block;
    size_t alignment;
    size_t capacity;
};

struct KeptBlock
{
    uint8_t* buffer = nullptr;
    size_t capacity = 0;
};

// The block released last, kept for the next request.
KeptBlock g_keptScratch;

ScratchHeader HeaderOf(uint8_t* buffer)
{
    ScratchHeader header;
    std::memcpy(&header, buffer - sizeof header, sizeof header);
    return header;
}

void FreeScratch(uint8_t* buffer)
{
    const ScratchHeader header = HeaderOf(buffer);
    ::operator delete(header.block, std::align_val_t{header.alignment});
}

}  // namespace

void PrepareLargeBuffer(void* data, size_t bytes)
{
#if defined(__linux__)
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t end = begin + bytes;
    const uintptr_t hugeBegin = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const uintptr_t hugeEnd = end & ~(kHugePageBytes - 1);
    if (hugeEnd > hugeBegin)
        madvise(reinterpret_cast<void*>(hugeBegin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
    const uintptr_t pageBegin = (begin + kPageBytes - 1) & ~(kPageBytes - 1);
    const uintptr_t pageEnd = end & ~(kPageBytes - 1);
    if (pageEnd > pageBegin)
        madvise(reinterpret_cast<void*>(pageBegin), pageEnd - pageBegin, MADV_POPULATE_WRITE);
#endif
#else
    (void)data;
    (void)bytes;
#endif
}

std::unique_ptr<uint16_t[]> MakeLargeSampleBuffer(size_t count)
{
    std::unique_ptr<uint16_t[]> samples(new uint16_t[count]);
    PrepareLargeBuffer(samples.get(), count * sizeof(uint16_t));
    return samples;
}

void ScratchReturn::operator()(uint8_t* buffer) const
{
    if (g_keptScratch.buffer == nullptr)
    {
        g_keptScratch = {buffer, HeaderOf(buffer).capacity};
        return;
    }
    // Keep the larger of the two.
    if (HeaderOf(buffer).capacity > g_keptScratch.capacity)
    {
        FreeScratch(g_keptScratch.buffer);
        g_keptScratch = {buffer, HeaderOf(buffer).capacity};
        return;
    }
    FreeScratch(buffer);
}

ScratchBuffer AcquireScratchBuffer(size_t bytes)
{
    if (g_keptScratch.buffer != nullptr && g_keptScratch.capacity >= bytes)
    {
        uint8_t* buffer = g_keptScratch.buffer;
        g_keptScratch = {};
        return ScratchBuffer(buffer);
    }
    // A smaller kept block is released first, so that the two never add up.
    if (g_keptScratch.buffer != nullptr)
    {
        FreeScratch(g_keptScratch.buffer);
        g_keptScratch = {};
    }
    const bool large = bytes >= kHugePageBytes;
    const size_t alignment = large ? kHugePageBytes : kSmallAlignment;
    const size_t capacity = (bytes + alignment - 1) & ~(alignment - 1);
    void* block = ::operator new(capacity + alignment, std::align_val_t{alignment});
    uint8_t* buffer = static_cast<uint8_t*>(block) + alignment;
    const ScratchHeader header{block, alignment, capacity};
    std::memcpy(buffer - sizeof header, &header, sizeof header);
    if (large)
        PrepareLargeBuffer(buffer, capacity);
    return ScratchBuffer(buffer);
}
