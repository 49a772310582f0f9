// The loader on files of any size and any bytes in the places it reads:
// fields as diagraw loads them for its statistics, without building the
// mosaic or rendering an image, and the header read from the stream the
// loader keeps, as diagraw's warning reads it.
//
// Input: two bytes choosing the size (0xFF first: the file is the rest of
// the input alone; otherwise the tail's size plus a signed 16-bit number),
// then bytes written at the start of the file, at the start of the tail and
// at its end. The file lives in memory (memfd).
#include "FuzzSupport.h"

#include "raw/RawX10.h"

#include <algorithm>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace
{

// Sample i of packed bytes read as one little-endian stream of 12-bit fields.
uint16_t SampleAt(const uint8_t* packed, int64_t i)
{
    const int64_t bit = 12 * i;
    const uint32_t pair = uint32_t{packed[bit / 8]} | uint32_t{packed[bit / 8 + 1]} << 8;
    return static_cast<uint16_t>(pair >> (bit % 8) & 0xFFF);
}

// Compares count samples of field from sample first with the file's bytes.
void CheckSamples(int fd, int64_t blockStart, const uint16_t* field, int64_t first, int64_t count)
{
    std::string packed(static_cast<size_t>(count * 3 / 2 + 1), '\0');
    Require(pread(fd, packed.data(), packed.size() - 1, blockStart + first * 3 / 2) ==
                static_cast<ssize_t>(packed.size() - 1),
            "the file reads back");
    for (int64_t i = 0; i < count; ++i)
        Require(field[first + i] == SampleAt(reinterpret_cast<const uint8_t*>(packed.data()), i),
                "each sample the 12 bits the file holds there");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const int fd = memfd_create("loader-input", 0);
    Require(fd >= 0, "an in-memory file");
    const auto bytes = data + 2;
    const auto count = static_cast<int64_t>(size - 2);
    const int64_t tail = CRawX10::kTailBytes;
    const int64_t fileSize = data[0] == 0xFF ? count : std::max(count, tail + int16_t(data[0] << 8 | data[1]));
    Require(ftruncate(fd, 0) == 0 && ftruncate(fd, fileSize) == 0, "the file's size set");
    for (const int64_t at : {int64_t{0}, fileSize - tail, fileSize - count})
        if (at >= 0 && count > 0)
            Require(pwrite(fd, bytes, static_cast<size_t>(count), at) == count, "the bytes written");

    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    CRawX10 raw(2);
    const Status status = raw.LoadFields(path.c_str());
    Require(raw.m_fileSize == fileSize, "the size of the file is recorded");
    if (fileSize < tail)
    {
        Require(status == kStatusInputTooShort, "a file shorter than the tail is refused");
        Require(!raw.m_field0 && !raw.m_field1 && raw.m_path.empty() && !raw.m_file, "nothing is kept");
        return 0;
    }
    Require(status == kStatusOk && raw.m_path == path && raw.m_file, "a file that holds the tail loads");
    const int64_t samples = int64_t{raw.m_width} * raw.m_height;
    const int64_t checked = std::min<int64_t>(samples, 2 * (count / 3 + 2));
    for (int f = 0; f < 2; ++f)
    {
        const uint16_t* field = (f == 0 ? raw.m_field0 : raw.m_field1).get();
        const int64_t blockStart = fileSize - tail + f * (CRawX10::kBlockBytes + CRawX10::kGapBytes);
        CheckSamples(fd, blockStart, field, 0, checked);
        CheckSamples(fd, blockStart, field, samples - checked, checked);
    }

    FileHeader header;
    Require(ReadFileHeader(raw.m_file.get(), fileSize, header) == kStatusOk, "the header reads from the stream");
    uint8_t head[kRafHeaderBytes] = {};
    const auto headBytes = static_cast<size_t>(std::min<int64_t>(fileSize, kRafHeaderBytes));
    Require(pread(fd, head, headBytes, 0) == static_cast<ssize_t>(headBytes), "the header reads back");
    const FileHeader expected = ParseFileHeader(head, headBytes, fileSize);
    Require(header.size == fileSize && header.signature == expected.signature &&
                header.rawBlock.offset == expected.rawBlock.offset &&
                header.tailInRawBlock == expected.tailInRawBlock && InputWarningOf(header) == InputWarningOf(expected),
            "the stream's header is the file's");
    return 0;
}
