// Running out of memory while an output is made: whichever allocation of
// WriteBmpFile or of the streamed writer (on the workers) fails, the failure
// either comes back as a status or as std::bad_alloc, and no temporary file
// stays behind. Its own program, as it replaces the global allocation
// functions to make a chosen one fail.
#include "TestSupport.h"

#include "formats/BmpStream.h"
#include "formats/BmpWriter.h"
#include "platform/LargeBuffers.h"
#include "platform/Workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <new>

namespace
{

std::atomic<int> g_allocations{0};
std::atomic<int> g_failingAllocation{0};  // 0: none fails

void* Allocate(std::size_t bytes, std::size_t alignment = 0)
{
    if (g_failingAllocation != 0 && ++g_allocations == g_failingAllocation)
        throw std::bad_alloc();
    const std::size_t size = bytes != 0 ? bytes : 1;
    void* block = alignment == 0 ? std::malloc(size)
                                 : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(std::size_t bytes)
{
    return Allocate(bytes);
}
void* operator new[](std::size_t bytes)
{
    return Allocate(bytes);
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept
{
    try
    {
        return Allocate(bytes);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& tag) noexcept
{
    return operator new(bytes, tag);
}
void* operator new(std::size_t bytes, std::align_val_t alignment)
{
    return Allocate(bytes, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t bytes, std::align_val_t alignment)
{
    return Allocate(bytes, static_cast<std::size_t>(alignment));
}
void operator delete(void* block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

TEST(OutputAllocationFailure, LeavesNoTemporaryWhereverItHappens)
{
    testsupport::TempDir dir;
    const std::string name = (dir / "out.bmp").string();
    const uint8_t pixels[16] = {};
    CWorkerPool pool(2);
    CBufferKeeper keeper;
    const struct
    {
        const char* writer;
        std::function<Status()> write;
        uintmax_t bytes;
    } writers[] = {
        {"WriteBmpFile", [&] { return WriteBmpFile(name, 2, 2, pixels); }, 70},
        {"StreamBmpFile", [&] {
             return StreamBmpFile(name, 3, 40, 4, pool, keeper, [](int32_t, int32_t rows, uint8_t* band, int32_t) {
                 const std::vector<uint8_t> row(12, 0x5A);  // an allocation on the worker
                 for (int32_t k = 0; k < rows; ++k)
                     std::memcpy(band + k * 12, row.data(), 12);
             });
         }, 54 + 40 * 12},
    };
    for (const auto& writer : writers)
    {
        int failing = 1;
        for (;; ++failing)
        {
            bool threw = false;
            Status status = kStatusOk;
            g_allocations = 0;
            g_failingAllocation = failing;
            try
            {
                status = writer.write();
            }
            catch (const std::bad_alloc&)
            {
                threw = true;
            }
            g_failingAllocation = 0;
            if (!threw && status == kStatusOk)
                break;
            EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << writer.writer << ", allocation " << failing;
        }
        EXPECT_GT(failing, 1) << writer.writer << " allocated nothing, so nothing was tried";
        EXPECT_EQ(std::filesystem::file_size(name), writer.bytes) << writer.writer;
        std::filesystem::remove(name);
    }
}
