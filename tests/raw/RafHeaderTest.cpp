// The header reader on one table of file beginnings, and diagraw's warning
// decided from each: the synth's RAF, a RAF of another model, JPEG, TIFF,
// PNG, a bare tail, a RAF cut short, and headers whose sections lie past the
// end or wrap round when offset and length are added in 32 bits.
#include "raw/RafHeader.h"
#include "raw/RawX10.h"
#include "tools/RafContainer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

constexpr int64_t kTail = CRawX10::kTailBytes;

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The synth's header with a field changed.
std::vector<uint8_t> SynthHeader(size_t at = 0, const std::vector<uint8_t>& patch = {})
{
    std::vector<uint8_t> header = RafPrefixFor(kTail);
    std::copy(patch.begin(), patch.end(), header.begin() + static_cast<std::ptrdiff_t>(at));
    return header;
}

struct HeaderCase
{
    const char* name;
    std::vector<uint8_t> start;  // the file's first bytes
    int64_t size;                // the whole file's
    FileSignature signature;
    bool complete;
    std::string model;
    SectionPlace preview, rawBlock;
    bool tailInRawBlock;
    std::string warning;  // what InputWarningOf says, empty for nothing
};

TEST(RafHeader, EachKindOfFileAndEachImpossibleSection)
{
    const int64_t synthSize = static_cast<int64_t>(RafPrefixFor(kTail).size()) + kTail;
    const std::string noise = "; the images will probably show noise";
    const HeaderCase cases[] = {
        {"synth", SynthHeader(), synthSize, FileSignature::Raf, true, "X10", SectionPlace::Inside,
         SectionPlace::Inside, true, ""},
        {"other model", SynthHeader(28, Bytes(std::string("X-E1\0", 5))), synthSize, FileSignature::Raf, true, "X-E1",
         SectionPlace::Inside, SectionPlace::Inside, true, "a RAF file of the camera model \"X-E1\", not of the X10" + noise},
        {"model without NUL, control bytes", SynthHeader(28, Bytes(std::string(31, 'A') + "\x1b")), synthSize,
         FileSignature::Raf, true, std::string(31, 'A') + "\x1b", SectionPlace::Inside, SectionPlace::Inside, true,
         "a RAF file of the camera model \"" + std::string(31, 'A') + "\\x1b\", not of the X10" + noise},
        // The raw block ends one byte short of the file: the tail is not in it.
        {"raw block short of the end", SynthHeader(104, {0x01, 0x20, 0xF7, 0xFF}), synthSize, FileSignature::Raf,
         true, "X10", SectionPlace::Inside, SectionPlace::Inside, false, ""},
        {"sections past the end", SynthHeader(84, {0, 0, 0, 0xA0, 0x7F, 0, 0, 0}), synthSize, FileSignature::Raf,
         true, "X10", SectionPlace::PastEnd, SectionPlace::Inside, true, ""},
        // 0xFFFFFF00 + 0x200 wraps to 0x100 in 32 bits.
        {"sum that wraps in 32 bits", SynthHeader(100, {0xFF, 0xFF, 0xFF, 0x00, 0, 0, 0x02, 0x00}), synthSize,
         FileSignature::Raf, true, "X10", SectionPlace::Inside, SectionPlace::PastEnd, false, ""},
        {"no preview", SynthHeader(88, {0, 0, 0, 0}), synthSize, FileSignature::Raf, true, "X10", SectionPlace::Absent,
         SectionPlace::Inside, true, ""},
        {"RAF cut short", Bytes("FUJIFILMCCD-RAW 0201"), 20, FileSignature::Raf, false, "", SectionPlace::Absent,
         SectionPlace::Absent, false, ""},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE1, 0, 0}, 20'000'000, FileSignature::Jpeg, false, "", SectionPlace::Absent,
         SectionPlace::Absent, false, "a JPEG file, not an X10 raw file" + noise},
        {"TIFF, little-endian", Bytes(std::string("II*\0", 4)), kTail, FileSignature::Tiff, false, "",
         SectionPlace::Absent, SectionPlace::Absent, false, "a TIFF file, not an X10 raw file" + noise},
        {"TIFF, big-endian", Bytes(std::string("MM\0*", 4)), kTail, FileSignature::Tiff, false, "",
         SectionPlace::Absent, SectionPlace::Absent, false, "a TIFF file, not an X10 raw file" + noise},
        {"PNG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, kTail, FileSignature::Png, false, "",
         SectionPlace::Absent, SectionPlace::Absent, false, "a PNG file, not an X10 raw file" + noise},
        {"bare tail", std::vector<uint8_t>(kRafHeaderBytes, 0x5A), kTail, FileSignature::Unknown, false, "",
         SectionPlace::Absent, SectionPlace::Absent, false, ""},
        {"empty file", {}, 0, FileSignature::Unknown, false, "", SectionPlace::Absent, SectionPlace::Absent, false, ""},
    };
    for (const HeaderCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const size_t count = std::min(c.start.size(), kRafHeaderBytes);
        const FileHeader header = ParseFileHeader(c.start.data(), count, c.size);
        EXPECT_EQ(header.size, c.size);
        EXPECT_EQ(header.signature, c.signature);
        EXPECT_EQ(header.rafFieldsComplete, c.complete);
        EXPECT_EQ(header.cameraModel, c.model);
        EXPECT_EQ(header.preview.place, c.preview);
        EXPECT_EQ(header.rawBlock.place, c.rawBlock);
        EXPECT_EQ(header.tailInRawBlock, c.tailInRawBlock);
        EXPECT_EQ(InputWarningOf(header), c.warning);
    }
}

}  // namespace
