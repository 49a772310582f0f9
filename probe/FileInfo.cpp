#include "probe/FileInfo.h"

#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "probe/TextTable.h"
#include "raw/RafHeader.h"
#include "raw/RawX10.h"

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

}  // namespace

std::string InfoTable(const std::string& path, const FileHeader& header)
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
    return table.Render();
}

std::string InfoJson(const FileHeader& header)
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
    json.EndObject();
    return json.Text() + "\n";
}
