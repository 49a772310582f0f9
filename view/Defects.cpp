#include "view/Defects.h"

#include "demosaic/Upright.h"
#include "platform/Files.h"
#include "platform/TerminalText.h"
#include "probe/JsonWriter.h"
#include "raw/RafHeader.h"
#include "sensor/SensorReports.h"
#include "view/ViewedFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <limits>
#include <memory>

namespace
{

using Json = nlohmann::json;
using Event = Json::parse_event_t;


// The parser keeps a pointer for every level open, kept or discarded: deeper
// nesting than this is refused as it is read.
constexpr int kMaxDepth = 64;

// The keys of an entry, and what each must hold.
struct EntryKey
{
    const char* name;
    const char* wanted;
};
constexpr EntryKey kEntryKeys[] = {
    {"kind", "a string"},       {"field", "a whole number"},      {"row", "a whole number"},
    {"column", "a whole number"}, {"cell_row", "a whole number"}, {"cell_column", "a whole number"},
    {"x", "a whole number or null"}, {"y", "a whole number or null"}, {"mean", "a number"},
    {"excess", "a number or null"}};

// Thrown from the parser's callback and from the checks of an entry; the
// reason is the refusal's.
struct Refusal
{
    std::string reason;
};

[[noreturn]] void Refuse(std::string reason)
{
    throw Refusal{std::move(reason)};
}

std::string Where(size_t index)
{
    return "defects[" + std::to_string(index) + "]";
}

std::string Pair(int64_t a, int64_t b)
{
    return "(" + std::to_string(a) + ", " + std::to_string(b) + ")";
}

bool IsEntryKey(const std::string& key)
{
    return std::any_of(std::begin(kEntryKeys), std::end(kEntryKeys), [&](const EntryKey& k) { return key == k.name; });
}

[[noreturn]] void RefuseType(const std::string& where, const std::string& key)
{
    for (const EntryKey& entryKey : kEntryKeys)
        if (key == entryKey.name)
            Refuse(where + ": \"" + key + "\" is not " + entryKey.wanted);
    Refuse(where + ": \"" + key + "\" is malformed");
}

// An entry's value, as its key wants it: a whole number (saturated at the
// ends of int64_t), a number, or null where null is allowed.
struct Reader
{
    const Json& entry;
    std::string where;

    const Json& Value(const char* key) const
    {
        const auto found = entry.find(key);
        if (found == entry.end())
            Refuse(where + ": \"" + key + "\" is missing");
        return *found;
    }

    bool IsNull(const char* key) const { return Value(key).is_null(); }

    int64_t Whole(const char* key) const
    {
        const Json& value = Value(key);
        if (value.is_number_unsigned())
            return static_cast<int64_t>(std::min<uint64_t>(value.get<uint64_t>(), INT64_MAX));
        if (!value.is_number_integer())
            RefuseType(where, key);
        return value.get<int64_t>();
    }

    double Number(const char* key) const
    {
        const Json& value = Value(key);
        if (!value.is_number())
            RefuseType(where, key);
        return value.get<double>();
    }
};

Defect DefectOf(const Json& entry, size_t index, int32_t width, int32_t height)
{
    const Reader read{entry, Where(index)};
    const std::string& where = read.where;
    Defect defect;

    const Json& kind = read.Value("kind");
    if (!kind.is_string())
        RefuseType(where, "kind");
    int32_t known = 0;
    while (known < kDefectKindCount && kind.get_ref<const std::string&>() != NameOfDefectKind(static_cast<DefectKind>(known)))
        ++known;
    if (known == kDefectKindCount)
        Refuse(where + ": \"kind\" is none of \"hot\", \"dead\", \"stuck\"");
    defect.kind = static_cast<DefectKind>(known);

    const int64_t field = read.Whole("field");
    const int64_t row = read.Whole("row");
    const int64_t column = read.Whole("column");
    if (field != 0 && field != 1)
        Refuse(where + ": field " + std::to_string(field) + " is neither 0 nor 1");
    if (row < 0 || row >= height)
        Refuse(where + ": row " + std::to_string(row) + " lies outside the fields' " + std::to_string(height) +
               " rows");
    if (column < 0 || column >= width)
        Refuse(where + ": column " + std::to_string(column) + " lies outside the fields' " + std::to_string(width) +
               " columns");
    defect.field = static_cast<int32_t>(field);
    defect.y = static_cast<int32_t>(row);
    defect.x = static_cast<int32_t>(column);
    const std::string sample = "field " + std::to_string(field) + "'s sample at row " + std::to_string(row) +
                               ", column " + std::to_string(column);

    defect.cell = CellOfSample(width, height, defect.field, defect.y, defect.x);
    const int64_t cellRow = read.Whole("cell_row");
    const int64_t cellColumn = read.Whole("cell_column");
    if (cellRow != defect.cell.r || cellColumn != defect.cell.c)
        Refuse(where + ": cell " + Pair(cellRow, cellColumn) + " is not where " + sample + " lies, cell " +
               Pair(defect.cell.r, defect.cell.c));

    const int32_t side = width + height;
    const bool xNull = read.IsNull("x");
    const bool yNull = read.IsNull("y");
    const std::string cell = "cell " + Pair(defect.cell.r, defect.cell.c);
    defect.shown = CellShowsInImage(side, defect.cell);
    if (!defect.shown)
    {
        if (!xNull || !yNull)
            Refuse(where + ": x and y are not null, but " + cell + " shows in no pixel of the image");
    }
    else
    {
        defect.pixel = PixelOfCell(side, defect.cell);
        const std::string shown = "pixel " + Pair(defect.pixel.x, defect.pixel.y);
        if (xNull || yNull)
            Refuse(where + ": x or y is null, but " + cell + " shows in " + shown);
        const int64_t x = read.Whole("x");
        const int64_t y = read.Whole("y");
        if (x != defect.pixel.x || y != defect.pixel.y)
            Refuse(where + ": pixel " + Pair(x, y) + " does not show " + cell + "; " + shown + " does");
    }

    defect.mean = read.Number("mean");
    defect.excess = read.IsNull("excess") ? std::numeric_limits<double>::quiet_NaN() : read.Number("excess");
    return defect;
}

void WritePlace(CJsonWriter& json, ViewName view, ImagePixel place)
{
    json.Key(NameOfView(view));
    json.BeginArray();
    json.Integer(place.x);
    json.Integer(place.y);
    json.EndArray();
}

}  // namespace


bool ParseDefects(std::string_view text, int32_t width, int32_t height, std::vector<Defect>& defects,
                  std::string& reason)
{
    defects.clear();
    std::vector<Defect> read;
    // Only the list "defects" of the top-level object is kept; each entry
    // is checked when it ends and then dropped, with whatever else the file
    // holds, so that what is kept while reading stays small.
    int lists = 0;
    bool listKey = false;    // the last key of the top-level object is "defects"
    bool inList = false;     // inside that list
    bool entryKey = false;   // the last key of the entry is one of kEntryKeys
    std::string key;
    const auto callback = [&](int depth, Event event, Json& parsed) {
        const bool opens = event == Event::object_start || event == Event::array_start;
        if (opens && depth >= kMaxDepth)
            Refuse("nested deeper than " + std::to_string(kMaxDepth) + " levels");
        if (depth == 0 && event != Event::object_start && event != Event::object_end)
            Refuse("not a JSON object");
        if (depth == 1)
        {
            if (event == Event::key)
            {
                listKey = parsed == "defects";
                if (listKey && ++lists > 1)
                    Refuse("\"defects\" is given twice");
                return listKey;
            }
            if (listKey && (event == Event::object_start || event == Event::value))
                Refuse("\"defects\" is not a list");
            inList = listKey && event == Event::array_start;
            return true;
        }
        if (!inList)
            return true;
        if (depth == 2)
        {
            if (event == Event::object_start)
            {
                if (static_cast<int64_t>(read.size()) >= kMaxDefects)
                    Refuse("more than " + WithThousandsSeparators(kMaxDefects) + " defects");
                return true;
            }
            if (event == Event::object_end)
            {
                read.push_back(DefectOf(parsed, read.size(), width, height));
                return false;
            }
            Refuse(Where(read.size()) + ": not an object");
        }
        if (depth == 3 && event == Event::key)
        {
            key = parsed.get<std::string>();
            entryKey = IsEntryKey(key);
            return entryKey;
        }
        // No key of an entry holds an object or a list.
        if (depth == 3 && opens && entryKey)
            RefuseType(Where(read.size()), key);
        return true;
    };
    try
    {
        const Json kept = Json::parse(text.begin(), text.end(), callback);
        if (lists == 0)
            Refuse("no \"defects\" list");
    }
    catch (const Refusal& refusal)
    {
        reason = refusal.reason;
        return false;
    }
    catch (const Json::parse_error& error)
    {
        reason = "not JSON: a syntax error at byte " + std::to_string(error.byte);
        return false;
    }
    catch (const Json::exception&)
    {
        // A number past the range of a double, the only other failure of
        // the parser.
        reason = "not JSON: a number out of range";
        return false;
    }
    defects = std::move(read);
    return true;
}

bool ReadDefects(const std::string& path, int32_t width, int32_t height, std::vector<Defect>& defects,
                 std::string& reason)
{
    defects.clear();
    std::FILE* opened = nullptr;
    int64_t size = 0;
    Status status = platform::OpenInput(path.c_str(), opened, size);
    if (status != kStatusOk)
    {
        reason = DescribeStatus(status);
        return false;
    }
    const std::unique_ptr<std::FILE, FileCloser> stream(opened);
    if (size > kMaxDefectsFileBytes)
    {
        reason = "too large: " + WithThousandsSeparators(size) + " bytes, at most " +
                 WithThousandsSeparators(kMaxDefectsFileBytes) + " are read";
        return false;
    }
    std::string text(static_cast<size_t>(size), '\0');
    status = platform::ReadAt(stream.get(), 0, text.data(), text.size());
    if (status != kStatusOk)
    {
        reason = DescribeStatus(status);
        return false;
    }
    return ParseDefects(text, width, height, defects, reason);
}

std::string DefectsJson(const std::string& path, const std::vector<Defect>& defects)
{
    int64_t counts[kDefectKindCount] = {};
    for (const Defect& defect : defects)
        ++counts[static_cast<size_t>(defect.kind)];
    CJsonWriter json;
    json.BeginObject();
    json.Key("file");
    if (path.empty())
        json.Null();
    else
        json.String(path);
    json.Key("counts");
    json.BeginObject();
    for (int32_t kind = 0; kind < kDefectKindCount; ++kind)
        json.Field(NameOfDefectKind(static_cast<DefectKind>(kind)), counts[kind]);
    json.EndObject();
    json.Key("defects");
    json.BeginArray();
    for (const Defect& d : defects)
    {
        json.BeginObject();
        DefectKeys(json, d);
        // Where each view shows the sample: its field's preview at its own
        // place, the mosaic and the image at the pixel of its cell, the
        // upright view at the place of its field position.
        json.Key("places");
        json.BeginObject();
        WritePlace(json, d.field == 0 ? ViewName::Field0 : ViewName::Field1, ImagePixel{d.x, d.y});
        if (d.shown)
        {
            WritePlace(json, ViewName::Mosaic, d.pixel);
            WritePlace(json, ViewName::Image, d.pixel);
        }
        WritePlace(json, ViewName::Upright, UprightPixelOfFieldPosition(d.field, d.y, d.x));
        json.EndObject();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.Text() + "\n";
}
