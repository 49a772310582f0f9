// diagraw-digest-input NAME OUT: writes one of the two fixed inputs, "noise"
// or "ramps", whose four output images have known SHA-256 digests
// (app/known-digests.sh checks them).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

constexpr size_t kFileBytes = 18'937'856;
constexpr size_t kBlockBytes = 9'467'904;
constexpr int kWidth = 2944;
constexpr int kHeight = 2144;

// Byte i is the low byte of the i-th xorshift32 state started from 0x12345678.
std::vector<uint8_t> Noise()
{
    std::vector<uint8_t> bytes(kFileBytes);
    uint32_t s = 0x12345678u;
    for (auto& byte : bytes)
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        byte = static_cast<uint8_t>(s & 0xFF);
    }
    return bytes;
}

// Field f's sample at (y, x) is (3x + 5y + 700f) mod 4096, packed two samples
// to three bytes; the blocks are separated by 2048 zero bytes.
std::vector<uint8_t> Ramps()
{
    std::vector<uint8_t> bytes(kFileBytes, 0);
    for (int f = 0; f < 2; ++f)
    {
        uint8_t* out = bytes.data() + (f == 0 ? 0 : kFileBytes - kBlockBytes);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; x += 2)
            {
                const uint32_t a = static_cast<uint32_t>(3 * x + 5 * y + 700 * f) % 4096;
                const uint32_t b = static_cast<uint32_t>(3 * (x + 1) + 5 * y + 700 * f) % 4096;
                *out++ = static_cast<uint8_t>(a & 0xFF);
                *out++ = static_cast<uint8_t>((a >> 8) | ((b & 0xF) << 4));
                *out++ = static_cast<uint8_t>(b >> 4);
            }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "noise") != 0 && std::strcmp(argv[1], "ramps") != 0))
    {
        std::fprintf(stderr, "usage: %s noise|ramps OUT\n", argv[0]);
        return 2;
    }
    const std::vector<uint8_t> bytes = std::strcmp(argv[1], "noise") == 0 ? Noise() : Ramps();
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr)
        return 1;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}
