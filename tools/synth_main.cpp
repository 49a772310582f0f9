// diagraw-synth [--raf] OUT: writes the built-in test chart as an X10 raw
// file of 18,937,856 bytes, the input of the demo, the tests and the
// benchmarks; with --raf, inside a RAF-like header (tools/RafContainer.h).
// Exit status 0 when the file was written, 1 when it could not be, 2 for a
// wrong command line.
#include "tools/Chart.h"
#include "tools/RafContainer.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const bool raf = argc == 3 && std::string(argv[1]) == "--raf";
    if (argc != 2 && !raf)
    {
        std::fprintf(stderr, "usage: diagraw-synth [--raf] OUT\n");
        return 2;
    }
    argv += argc - 2;  // argv[1] is OUT
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
        if (raf)
        {
            const std::vector<uint8_t> prefix = RafPrefixFor(static_cast<int64_t>(file.size()));
            file.insert(file.begin(), prefix.begin(), prefix.end());
        }
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
