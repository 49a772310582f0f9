// diagraw-floor FILE.raf: the yardstick of bench/run-pipeline. It moves the
// bytes of a diagraw run and computes nothing, so that the time of a run
// divided by its time says what diagraw's computation still costs.
//
// Like diagraw it reads the 18,937,856-byte tail of FILE.raf into memory of
// its own, holds buffers of the sizes diagraw holds (two fields and the
// mosaic, 16 bits a sample), and writes four files of the sizes of
// diagraw's images beside FILE.raf, each to a temporary that is renamed
// once complete. The buffers are filled with one byte of the input each
// (memset), so that every page is touched and nothing is computed. Outputs:
// FILE.raf.floor.f0.bmp, .floor.f1.bmp, .floor.src.bmp and .floor.bmp.
// Exit status 0, or 1 with one line on standard error.
#include "formats/BmpWriter.h"
#include "raw/RawX10.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace
{

constexpr int64_t kFieldSamples = int64_t{CRawX10::kFieldWidth} * CRawX10::kFieldHeight;
constexpr int64_t kMosaicSide = int64_t{CRawX10::kFieldWidth} + CRawX10::kFieldHeight;

struct Image
{
    const char* suffix;
    int64_t pixels;
};

constexpr Image kImages[] = {
    {".floor.f0.bmp", kFieldSamples},
    {".floor.f1.bmp", kFieldSamples},
    {".floor.src.bmp", kMosaicSide * kMosaicSide},
    {".floor.bmp", kMosaicSide * kMosaicSide},
};

[[noreturn]] void Fail(const std::string& name)
{
    std::fprintf(stderr, "diagraw-floor: %s: %s\n", name.c_str(), std::strerror(errno));
    std::exit(1);
}

// Fresh memory of the given size, every byte set to value.
std::unique_ptr<uint8_t[]> Filled(int64_t bytes, uint8_t value)
{
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(bytes)]);
    std::memset(buffer.get(), value, static_cast<size_t>(bytes));
    return buffer;
}

void ReadTail(const char* path, uint8_t* tail)
{
    const int input = open(path, O_RDONLY);
    struct stat status;
    if (input < 0 || fstat(input, &status) != 0)
        Fail(path);
    if (status.st_size < CRawX10::kTailBytes)
    {
        errno = EINVAL;
        Fail(path);
    }
    const off_t start = status.st_size - CRawX10::kTailBytes;
    for (int64_t done = 0; done < CRawX10::kTailBytes;)
    {
        const ssize_t got = pread(input, tail + done, static_cast<size_t>(CRawX10::kTailBytes - done),
                                  start + static_cast<off_t>(done));
        if (got <= 0)
            Fail(path);
        done += got;
    }
    close(input);
}

// Writes bytes to a temporary beside name, gives it the mode of a new file
// and renames it to name, as diagraw's writer does.
void WriteThroughTemporary(const std::string& name, const uint8_t* bytes, int64_t size)
{
    std::string temporary = name + ".floor-XXXXXX";
    const int output = mkstemp(temporary.data());
    if (output < 0)
        Fail(name);
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(output, 0666 & ~mask) != 0)
        Fail(temporary);
    for (int64_t done = 0; done < size;)
    {
        const ssize_t put = write(output, bytes + done, static_cast<size_t>(size - done));
        if (put < 0)
            Fail(temporary);
        done += put;
    }
    if (close(output) != 0 || rename(temporary.c_str(), name.c_str()) != 0)
        Fail(name);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: diagraw-floor FILE.raf\n");
        return 2;
    }
    const auto tail = Filled(CRawX10::kTailBytes, 0);
    ReadTail(argv[1], tail.get());
    const auto field0 = Filled(2 * kFieldSamples, tail[0]);
    const auto field1 = Filled(2 * kFieldSamples, tail[1]);
    const auto mosaic = Filled(2 * kMosaicSide * kMosaicSide, tail[2]);
    for (const Image& image : kImages)
    {
        const int64_t size = kBmpHeaderBytes + 4 * image.pixels;
        const auto file = Filled(size, mosaic[0]);
        WriteThroughTemporary(argv[1] + std::string(image.suffix), file.get(), size);
    }
    return 0;
}
