#include "platform/LargeBuffers.h"

#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace
{

constexpr size_t kHugePageBytes = size_t{2} << 20;
constexpr size_t kPageBytes = 4096;
constexpr size_t kSmallAlignment = 64;

// A scratch buffer starts one alignment unit into its block, so that it
// starts, and with its capacity rounded up also ends, on a boundary of that
// unit. The header just before the buffer says where its block starts, how
// it was aligned and how much the buffer holds.
struct ScratchHeader
{
    void* block;
    size_t alignment;
    size_t capacity;
};

ScratchHeader HeaderOf(const uint8_t* buffer)
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

// Asks the kernel to back the whole 2 MiB pages of the bytes at data with
// huge pages (Linux only).
void AdviseHugePages(void* data, size_t bytes)
{
#if defined(__linux__)
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t end = begin + bytes;
    const uintptr_t hugeBegin = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const uintptr_t hugeEnd = end & ~(kHugePageBytes - 1);
    if (hugeEnd > hugeBegin)
        madvise(reinterpret_cast<void*>(hugeBegin), hugeEnd - hugeBegin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

uint8_t* AllocateScratch(size_t bytes)
{
    const bool large = bytes >= kHugePageBytes;
    const size_t alignment = large ? kHugePageBytes : kSmallAlignment;
    const size_t capacity = (bytes + alignment - 1) & ~(alignment - 1);
    void* block = ::operator new(capacity + alignment, std::align_val_t{alignment});
    uint8_t* buffer = static_cast<uint8_t*>(block) + alignment;
    const ScratchHeader header{block, alignment, capacity};
    std::memcpy(buffer - sizeof header, &header, sizeof header);
    if (large)
        PrepareLargeBuffer(buffer, capacity);
    return buffer;
}

}  // namespace

void PrepareLargeBuffer(void* data, size_t bytes)
{
    AdviseHugePages(data, bytes);
    PopulateLargeBuffer(data, bytes);
}

void PopulateLargeBuffer(void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t end = begin + bytes;
    const uintptr_t pageBegin = (begin + kPageBytes - 1) & ~(kPageBytes - 1);
    const uintptr_t pageEnd = end & ~(kPageBytes - 1);
    if (pageEnd > pageBegin)
        madvise(reinterpret_cast<void*>(pageBegin), pageEnd - pageBegin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
    (void)kPageBytes;
#endif
}

std::unique_ptr<uint16_t[]> MakeLargeSampleBuffer(size_t count, bool populate)
{
    std::unique_ptr<uint16_t[]> samples(new uint16_t[count]);
    AdviseHugePages(samples.get(), count * sizeof(uint16_t));
    if (populate)
        PopulateLargeBuffer(samples.get(), count * sizeof(uint16_t));
    return samples;
}

void ScratchReturn::operator()(uint8_t* buffer) const
{
    keeper->TakeBack(buffer);
}

CBufferKeeper::~CBufferKeeper()
{
    if (m_kept != nullptr)
        FreeScratch(m_kept);
}

ScratchBuffer CBufferKeeper::Lend(size_t bytes)
{
    if (m_kept != nullptr)
    {
        uint8_t* kept = m_kept;
        m_kept = nullptr;
        if (HeaderOf(kept).capacity >= bytes)
            return ScratchBuffer(kept, ScratchReturn{this});
        FreeScratch(kept);
    }
    return ScratchBuffer(AllocateScratch(bytes), ScratchReturn{this});
}

void CBufferKeeper::ReleaseKept()
{
    if (m_kept != nullptr)
        FreeScratch(m_kept);
    m_kept = nullptr;
}

void CBufferKeeper::TakeBack(uint8_t* buffer)
{
    // Keep the larger of the two.
    if (m_kept != nullptr && HeaderOf(m_kept).capacity >= HeaderOf(buffer).capacity)
    {
        FreeScratch(buffer);
        return;
    }
    if (m_kept != nullptr)
        FreeScratch(m_kept);
    m_kept = buffer;
}
