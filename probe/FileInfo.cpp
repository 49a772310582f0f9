#include "probe/FileInfo.h"

#include "metadata/ExifMetadata.h"
#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "probe/TextTable.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

#include <cmath>
#include <functional>
#include <numeric>
#include <vector>

namespace
{

struct NamedSection
{
    const char* label;  // in the table
    const char* key;    // in JSON
    RafSection FileHeader::*section;
};

constexpr NamedSection kSections[] = {{"preview (JPEG)", "preview", &FileHeader::preview},
                                      {"raw header", "raw_header", &FileHeader::rawHeader},
                                      {"raw block", "raw_block", &FileHeader::rawBlock}};

const char* KeyOfPlace(SectionPlace place)
{
    return place == SectionPlace::Inside ? "inside" : place == SectionPlace::Absent ? "absent" : "past_end";
}

std::string DescribeSection(const RafSection& section, int64_t fileSize)
{
    std::string text = "offset " + std::to_string(section.offset) + ", length " + std::to_string(section.length);
    switch (section.place)
    {
    case SectionPlace::Absent:
        return text + ": none";
    case SectionPlace::Inside:
        return text + ": inside the file";
    case SectionPlace::PastEnd:
        break;
    }
    return text + ": impossible, it would end at byte " + std::to_string(section.End()) + ", past the end of the file (" +
           std::to_string(fileSize) + " bytes)";
}

// A time as photographers write it: "1/250" below a second, in the nearest
// whole fraction of it (1/3 for 333/1000), "2" or "2.5" from a second on.
std::string ExposureText(ExifFraction time)
{
    const uint32_t common = std::gcd(time.numerator, time.denominator);
    const uint32_t numerator = time.numerator / common;
    const uint32_t denominator = time.denominator / common;
    if (numerator >= denominator)
        return ShortestDecimal(time.Value());
    if (numerator == 1)
        return "1/" + std::to_string(denominator);
    return "1/" + std::to_string(std::llround(static_cast<double>(denominator) / numerator));
}

const char* OrientationText(uint16_t orientation)
{
    constexpr const char* kTexts[] = {"as stored",
                                      "mirror left to right to view",
                                      "turn 180 degrees to view",
                                      "mirror top to bottom to view",
                                      "mirror along the diagonal from top left to view",
                                      "turn 90 degrees clockwise to view",
                                      "mirror along the diagonal from top right to view",
                                      "turn 90 degrees counter-clockwise to view"};
    return kTexts[orientation - 1];
}

// One fact of the Exif block: its row of the table and its keys in JSON.
struct ExifRow
{
    const char* label;
    std::string text;
    std::function<void(CJsonWriter&)> keys;
};

// The facts exif holds, in the order both reports give them.
std::vector<ExifRow> ExifRows(const ExifMetadata& exif)
{
    std::vector<ExifRow> rows;
    const auto text = [&](const char* label, const char* key, const std::optional<std::string>& value) {
        if (value)
            rows.push_back({label, PrintableHeaderText(*value),
                            [key, printable = PrintableHeaderText(*value)](CJsonWriter& json) {
                                json.Field(key, printable);
                            }});
    };
    text("make", "make", exif.make);
    text("model", "model", exif.model);
    if (exif.dateTime)
    {
        std::string shown = *exif.dateTime;
        shown[10] = ' ';
        rows.push_back({"date and time", shown, [&](CJsonWriter& json) { json.Field("date_time", *exif.dateTime); }});
    }
    if (const std::optional<ExifFraction> time = exif.exposureTime)
        rows.push_back({"exposure time", ExposureText(*time) + " s (" + ShortestDecimal(time->Value()) + " s)",
                        [time](CJsonWriter& json) {
                            json.Field("exposure_time", ExposureText(*time));
                            json.Key("exposure_seconds");
                            json.Decimal(time->Value());
                        }});
    if (const std::optional<ExifFraction> number = exif.fNumber)
        rows.push_back({"f-number", "f/" + ShortestDecimal(number->Value()), [number](CJsonWriter& json) {
                            json.Key("f_number");
                            json.Decimal(number->Value());
                        }});
    if (exif.iso)
        rows.push_back({"ISO", std::to_string(*exif.iso), [&](CJsonWriter& json) { json.Field("iso", *exif.iso); }});
    if (exif.focalLength || exif.focalLength35mm)
    {
        const std::string equivalent =
            exif.focalLength35mm ? std::to_string(*exif.focalLength35mm) + " mm in 35 mm terms" : "";
        rows.push_back({"focal length",
                        !exif.focalLength ? equivalent
                        : equivalent.empty()
                            ? ShortestDecimal(exif.focalLength->Value()) + " mm"
                            : ShortestDecimal(exif.focalLength->Value()) + " mm (" + equivalent + ")",
                        [&](CJsonWriter& json) {
                            if (exif.focalLength)
                            {
                                json.Key("focal_length_mm");
                                json.Decimal(exif.focalLength->Value());
                            }
                            if (exif.focalLength35mm)
                                json.Field("focal_length_35mm", *exif.focalLength35mm);
                        }});
    }
    if (exif.exposureBias)
    {
        // In hundredths of a stop, as cameras set it in thirds; never "-0".
        const double bias = std::round(*exif.exposureBias * 100) / 100 + 0.0;
        rows.push_back({"exposure bias", ShortestDecimal(bias) + " EV", [bias](CJsonWriter& json) {
                            json.Key("exposure_bias_ev");
                            json.Decimal(bias);
                        }});
    }
    if (exif.flash)
    {
        const bool fired = (*exif.flash & 1) != 0;
        rows.push_back({"flash", std::string(fired ? "fired" : "did not fire") + " (value " +
                                     std::to_string(*exif.flash) + ")",
                        [&, fired](CJsonWriter& json) {
                            json.Field("flash", *exif.flash);
                            json.Key("flash_fired");
                            json.Boolean(fired);
                        }});
    }
    if (exif.orientation)
        rows.push_back({"orientation", std::to_string(*exif.orientation) + ": " + OrientationText(*exif.orientation),
                        [&](CJsonWriter& json) { json.Field("orientation", *exif.orientation); }});
    if (exif.manualWhiteBalance)
    {
        const std::string balance = *exif.manualWhiteBalance ? "manual" : "auto";
        rows.push_back(
            {"white balance", balance, [balance](CJsonWriter& json) { json.Field("white_balance", balance); }});
    }
    text("software", "software", exif.software);
    return rows;
}

void ExifObject(CJsonWriter& json, const ExifMetadata& exif)
{
    json.BeginObject();
    for (const ExifRow& row : ExifRows(exif))
        row.keys(json);
    json.EndObject();
}

}  // namespace

std::string InfoTable(const std::string& path, const FileHeader& header, const ExifMetadata& exif)
{
    const int64_t headerBytes = header.size - CRawX10::kTailBytes;
    CTextTable table(2);
    table.AddRow({"file", EscapedForTerminal(path)});
    table.AddRow({"size", std::to_string(header.size) + " bytes"});
    table.AddRow({"header bytes", headerBytes >= 0 ? std::to_string(headerBytes)
                                                   : "none: the file is shorter than the " +
                                                         std::to_string(CRawX10::kTailBytes) + "-byte tail"});
    table.AddRow({"signature", NameOfSignature(header.signature)});
    if (header.signature == FileSignature::Raf && !header.rafFieldsComplete)
        table.AddRow({"RAF fields", "missing: the file ends before byte " + std::to_string(kRafHeaderBytes)});
    if (header.rafFieldsComplete)
    {
        table.AddRow({"format version", PrintableHeaderText(header.formatVersion)});
        table.AddRow({"camera ID", PrintableHeaderText(header.cameraId)});
        table.AddRow({"camera model", PrintableHeaderText(header.cameraModel)});
        table.AddRow({"directory version", PrintableHeaderText(header.directoryVersion)});
        for (const NamedSection& named : kSections)
            table.AddRow({named.label, DescribeSection(header.*named.section, header.size)});
        table.AddRow({"tail in raw block", header.tailInRawBlock ? "yes" : "no"});
    }
    for (ExifRow& row : ExifRows(exif))
        table.AddRow({row.label, std::move(row.text)});
    return table.Render();
}

std::string ExifJson(const ExifMetadata& exif)
{
    CJsonWriter json;
    if (exif.Empty())
        json.Null();
    else
        ExifObject(json, exif);
    return json.Text() + "\n";
}

std::string InfoJson(const FileHeader& header, const ExifMetadata& exif)
{
    CJsonWriter json;
    json.BeginObject();
    json.Field("size", header.size);
    json.Key("header_bytes");
    if (header.size >= CRawX10::kTailBytes)
        json.Integer(header.size - CRawX10::kTailBytes);
    else
        json.Null();
    json.Field("signature", NameOfSignature(header.signature));
    json.Key("raf");
    if (header.signature != FileSignature::Raf)
        json.Null();
    else
    {
        json.BeginObject();
        json.Key("complete");
        json.Boolean(header.rafFieldsComplete);
        if (header.rafFieldsComplete)
        {
            json.Field("format_version", PrintableHeaderText(header.formatVersion));
            json.Field("camera_id", PrintableHeaderText(header.cameraId));
            json.Field("camera_model", PrintableHeaderText(header.cameraModel));
            json.Field("directory_version", PrintableHeaderText(header.directoryVersion));
            for (const NamedSection& named : kSections)
            {
                const RafSection& section = header.*named.section;
                json.Key(named.key);
                json.BeginObject();
                json.Field("offset", section.offset);
                json.Field("length", section.length);
                json.Field("place", KeyOfPlace(section.place));
                json.EndObject();
            }
            json.Key("tail_in_raw_block");
            json.Boolean(header.tailInRawBlock);
        }
        json.EndObject();
    }
    if (!exif.Empty())
    {
        json.Key("exif");
        ExifObject(json, exif);
    }
    json.EndObject();
    return json.Text() + "\n";
}
