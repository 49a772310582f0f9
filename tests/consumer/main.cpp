// consumer RAF BMP: loads RAF with the installed library, checks the shape of
// what it built, and writes a 1 x 1 image to BMP. Exit status 0 when all of
// it worked; otherwise 1, with the reason on standard error.
#include "formats/BmpWriter.h"
#include "raw/RawX10.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: consumer RAF BMP\n");
        return 1;
    }
    CRawX10 raw;
    if (raw.Load(argv[1]) != kStatusOk)
    {
        std::fprintf(stderr, "Load(%s) failed\n", argv[1]);
        return 1;
    }
    if (raw.MosaicSide() != 5088 || raw.m_mosaic == nullptr)
    {
        std::fprintf(stderr, "unexpected mosaic of side %d\n", static_cast<int>(raw.MosaicSide()));
        return 1;
    }
    const uint8_t pixel[4] = {1, 2, 3, 0};
    if (SaveBmp32(argv[2], 1, 1, pixel) == 0)
    {
        std::fprintf(stderr, "SaveBmp32(%s) failed\n", argv[2]);
        return 1;
    }
    return 0;
}
