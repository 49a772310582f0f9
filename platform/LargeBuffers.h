// The large buffers of a run: the two fields and the mosaic (some 77 MB),
// and the scratch buffers that the loader and the image writers work in.
//
// Fresh memory costs a page fault for every 4 KiB page on first touch, and on
// a virtual machine those faults can cost more than the arithmetic of a whole
// stage. On Linux, PrepareLargeBuffer asks the kernel to back a buffer with
// 2 MiB pages and to map all of it in one call; elsewhere it does nothing.
//
// Contents are never initialised. Allocation failure throws std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Advises huge pages for the bytes at data, and maps them all at once
// (PopulateLargeBuffer alone does the second; no effect elsewhere than Linux,
// and none on a failure, which only costs speed). Two threads may populate
// two halves of one buffer at the same time.
void PrepareLargeBuffer(void* data, size_t bytes);
void PopulateLargeBuffer(void* data, size_t bytes);

// count uninitialised samples, in a buffer advised for huge pages and, when
// populate is true, mapped.
std::unique_ptr<uint16_t[]> MakeLargeSampleBuffer(size_t count, bool populate = true);

// The allocator of std::vectors of large buffers (the accumulators of a
// stack of frames): their memory is prepared as PrepareLargeBuffer prepares
// it before the vector fills it.
template <typename T>
struct LargeBufferAllocator
{
    using value_type = T;

    LargeBufferAllocator() = default;
    template <typename U>
    LargeBufferAllocator(const LargeBufferAllocator<U>&)  // NOLINT: converts as std::allocator does
    {
    }
    T* allocate(size_t count)
    {
        T* data = std::allocator<T>().allocate(count);
        PrepareLargeBuffer(data, count * sizeof(T));
        return data;
    }
    void deallocate(T* data, size_t count) { std::allocator<T>().deallocate(data, count); }
    friend bool operator==(const LargeBufferAllocator&, const LargeBufferAllocator&) { return true; }
};

class CBufferKeeper;

// A scratch buffer lent by a CBufferKeeper; its deleter hands it back.
struct ScratchReturn
{
    CBufferKeeper* keeper = nullptr;
    void operator()(uint8_t* buffer) const;
};
using ScratchBuffer = std::unique_ptr<uint8_t[], ScratchReturn>;

// Lends the scratch buffers of one run. The stages of a run follow one
// another and each needs one large buffer at a time (the read buffer of the
// loader, then the pixels of each image), so the keeper holds on to the
// buffer handed back last and lends it again to the next request that fits
// in it: memory that is already mapped is reused instead of faulted in anew.
// A request that does not fit releases the kept buffer first, so that two
// large buffers never add up.
//
// Owned by the run's CRawX10. Every buffer it lent must be handed back before
// it is destroyed. One thread at a time.
class CBufferKeeper
{
public:
    CBufferKeeper() = default;
    ~CBufferKeeper();
    CBufferKeeper(const CBufferKeeper&) = delete;
    CBufferKeeper& operator=(const CBufferKeeper&) = delete;

    // At least bytes uninitialised bytes, aligned to 64 bytes (2 MiB for a
    // buffer of 2 MiB or more).
    ScratchBuffer Lend(size_t bytes);

    // Frees the buffer it keeps, if any: for a stage that needs the memory
    // for something else more than it would gain from the reuse.
    void ReleaseKept();

private:
    friend struct ScratchReturn;
    void TakeBack(uint8_t* buffer);

    uint8_t* m_kept = nullptr;
};
