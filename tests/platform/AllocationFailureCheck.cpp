// Running out of memory while an output is made: whichever allocation of
// WriteBmpFile fails, the failure either comes back as a status or as
// std::bad_alloc, and no temporary file stays behind. Its own program, as it
// replaces the global allocation functions to make a chosen one fail.
#include "TestSupport.h"

#include "bmp/BmpWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>

namespace
{

int g_allocations = 0;
int g_failingAllocation = 0;  // 0: none fails

void* Allocate(std::size_t bytes)
{
    if (g_failingAllocation != 0 && ++g_allocations == g_failingAllocation)
        throw std::bad_alloc();
    void* block = std::malloc(bytes != 0 ? bytes : 1);
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
    int failing = 1;
    for (;; ++failing)
    {
        bool threw = false;
        Status status = kStatusOk;
        g_allocations = 0;
        g_failingAllocation = failing;
        try
        {
            status = WriteBmpFile(name, 2, 2, pixels);
        }
        catch (const std::bad_alloc&)
        {
            threw = true;
        }
        g_failingAllocation = 0;
        if (!threw && status == kStatusOk)
            break;
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "allocation " << failing << " failed";
    }
    EXPECT_GT(failing, 1) << "WriteBmpFile allocated nothing, so nothing was tried";
    EXPECT_EQ(std::filesystem::file_size(name), 70u);
}
