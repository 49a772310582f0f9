// The Exif reader on the synth's preview, whose values docs/diagraw-synth.md
// lists, and on one table of that preview damaged: each bad fact left out,
// the others kept; a block or a JPEG that cannot be read gives no facts,
// and a preview the file does not hold is never read.
#include "metadata/ExifMetadata.h"
#include "probe/FileInfo.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"
#include "tools/RafContainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

// The synth's preview with every run of from replaced by to (as long).
Bytes Patched(Bytes jpeg, const Bytes& from, const Bytes& to)
{
    for (auto at = jpeg.begin(); (at = std::search(at, jpeg.end(), from.begin(), from.end())) != jpeg.end();)
        at = std::copy(to.begin(), to.end(), at);
    return jpeg;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string JsonOf(const Bytes& jpeg)
{
    return ExifJson(ExifOfJpeg(jpeg.data(), jpeg.size()));
}

constexpr const char* kSynthJson =
    "{\"make\": \"FUJIFILM\", \"model\": \"X10\", \"date_time\": \"2011-11-05T10:30:00\", \"exposure_time\": "
    "\"1/250\", \"exposure_seconds\": 0.004, \"f_number\": 2.8, \"iso\": 200, \"focal_length_mm\": 7.1, "
    "\"focal_length_35mm\": 28, \"exposure_bias_ev\": -0.67, \"flash\": 16, \"flash_fired\": false, "
    "\"orientation\": 1, \"white_balance\": \"auto\", \"software\": \"diagraw-synth\"}\n";

TEST(ExifMetadata, TheSynthsDocumentedValuesFromItsRafFile)
{
    if (!ExifReadingBuilt())
        GTEST_SKIP() << "built without libexif";
    Bytes file = RafPrefixFor(CRawX10::kTailBytes);
    const FileHeader header = ParseFileHeader(file.data(), kRafHeaderBytes, static_cast<int64_t>(file.size()) + CRawX10::kTailBytes);
    EXPECT_EQ(ExifJson(ExifOfFileBytes(file.data(), file.size(), header)), kSynthJson);
    // Only the bytes held are read: a file cut inside its preview has none.
    EXPECT_TRUE(ExifOfFileBytes(file.data(), 300, header).Empty());
    // A preview the header places past the end of the file is never read.
    const FileHeader cut = ParseFileHeader(file.data(), kRafHeaderBytes, 400);
    EXPECT_TRUE(ExifOfFileBytes(file.data(), file.size(), cut).Empty());
    EXPECT_EQ(ExifJson(ExifMetadata{}), "null\n");
}

struct DamageCase
{
    const char* name;
    Bytes jpeg;
    std::string json;  // ExifJson, or the part of it that must appear
};

TEST(ExifMetadata, EachDamagedFactLeftOutAndUnreadableBlocksGiveNone)
{
    if (!ExifReadingBuilt())
        GTEST_SKIP() << "built without libexif";
    const Bytes& synth = SynthPreviewJpeg();
    const Bytes exposure = {0x01, 0, 0, 0, 0xFA, 0, 0, 0};  // 1/250, little-endian
    Bytes withApp0 = synth;
    const Bytes app0 = {0xFF, 0xE0, 0x00, 0x07, 'J', 'F', 'I', 'F', 0};
    withApp0.insert(withApp0.begin() + 2, app0.begin(), app0.end());
    const DamageCase cases[] = {
        {"an APP0 before the block", withApp0, kSynthJson},
        {"1/3 s stored as 333/1000", Patched(synth, exposure, {0x4D, 1, 0, 0, 0xE8, 3, 0, 0}),
         "\"exposure_time\": \"1/3\", \"exposure_seconds\": 0.333,"},
        {"5/2 s", Patched(synth, exposure, {5, 0, 0, 0, 2, 0, 0, 0}),
         "\"exposure_time\": \"2.5\", \"exposure_seconds\": 2.5,"},
        {"a zero denominator", Patched(synth, exposure, {1, 0, 0, 0, 0, 0, 0, 0}),
         "\"date_time\": \"2011-11-05T10:30:00\", \"f_number\""},
        {"orientation 9", Patched(synth, {0x12, 1, 3, 0, 1, 0, 0, 0, 1, 0}, {0x12, 1, 3, 0, 1, 0, 0, 0, 9, 0}),
         "\"flash_fired\": false, \"white_balance\""},
        {"white balance 2", Patched(synth, {0x03, 0xA4, 3, 0, 1, 0, 0, 0, 0, 0}, {0x03, 0xA4, 3, 0, 1, 0, 0, 0, 2, 0}),
         "\"orientation\": 1, \"software\""},
        {"ISO as text", Patched(synth, {0x27, 0x88, 3, 0}, {0x27, 0x88, 2, 0}), "\"f_number\": 2.8, \"focal_length_mm\""},
        {"a month 13", Patched(synth, Text("2011:11:05"), Text("2011:13:05")), "{\"make\": \"FUJIFILM\", \"model\": "
                                                                              "\"X10\", \"exposure_time\""},
        {"a make padded with spaces", Patched(synth, Text("FUJIFILM"), Text("FUJI    ")), "{\"make\": \"FUJI\", "},
        {"the block's signature", Patched(synth, Text("Exif"), Text("Exit")), "null\n"},
        {"a TIFF of nonsense", Patched(synth, Text("II*"), Text("XY*")), "null\n"},
        {"cut inside the block", Bytes(synth.begin(), synth.begin() + 100), "null\n"},
        {"a segment length of 1", Patched(synth, {0xFF, 0xE1, 0x01, 0x30}, {0xFF, 0xE1, 0x00, 0x01}), "null\n"},
        {"no JPEG", Patched(synth, {0xFF, 0xD8}, {0xFF, 0xD9}), "null\n"},
    };
    for (const DamageCase& c : cases)
    {
        const std::string json = JsonOf(c.jpeg);
        if (c.json.back() == '\n')
            EXPECT_EQ(json, c.json) << c.name;
        else
            EXPECT_NE(json.find(c.json), std::string::npos) << c.name << ": " << json;
    }
}

}  // namespace
