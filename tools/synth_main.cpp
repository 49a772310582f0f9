// diagraw-synth OUT: writes the built-in test chart as an X10 raw file of
// 18,937,856 bytes, the input of the demo, the tests and the benchmarks.
// Exit status 0 when the file was written, 1 when it could not be, 2 for a
// wrong command line.
#include "tools/Chart.h"

#include <cstdio>
#include <new>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: diagraw-synth OUT\n");
        return 2;
    }
    // The output is opened first, so that a path that cannot be written
    // fails before the chart is rendered.
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr)
    {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> file;
    try
    {
        file = MakeChartFile();
    }
    catch (const std::bad_alloc&)
    {
        std::fprintf(stderr, "%s: out of memory\n", argv[1]);
        std::fclose(out);
        std::remove(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written)
    {
        std::perror(argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
