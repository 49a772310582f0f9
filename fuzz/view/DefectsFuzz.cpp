// diagraw-view's defects files, any bytes: the reader refuses with one line
// and keeps nothing, or every defect it keeps is where raw/Placement.h puts
// its sample; what the server makes of them reads back as the same defects.
#include "FuzzSupport.h"

#include "raw/RawX10.h"
#include "view/Defects.h"

#include <cmath>
#include <string>
#include <vector>

namespace
{

bool Same(const Defect& a, const Defect& b)
{
    return a.kind == b.kind && a.field == b.field && a.y == b.y && a.x == b.x && a.cell.r == b.cell.r &&
           a.cell.c == b.cell.c && a.shown == b.shown && a.pixel.x == b.pixel.x && a.pixel.y == b.pixel.y &&
           a.mean == b.mean && (a.excess == b.excess || (std::isnan(a.excess) && std::isnan(b.excess)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr int32_t width = CRawX10::kFieldWidth;
    constexpr int32_t height = CRawX10::kFieldHeight;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<Defect> defects;
    std::string reason;
    if (!ParseDefects(text, width, height, defects, reason))
    {
        Require(!reason.empty() && reason.find('\n') == std::string::npos && defects.empty(), "one line, nothing kept");
        return 0;
    }
    Require(static_cast<int64_t>(defects.size()) <= kMaxDefects, "no more defects than allowed");
    for (const Defect& d : defects)
    {
        const MosaicCell cell = CellOfSample(width, height, d.field, d.y, d.x);
        Require(cell.r == d.cell.r && cell.c == d.cell.c, "the sample's own cell");
        const MosaicCell shown = CellOfPixel(width + height, d.pixel.x, d.pixel.y);
        Require(d.shown == CellShowsInImage(width + height, cell) &&
                    (!d.shown || (shown.r == cell.r && shown.c == cell.c)),
                "the pixel that shows the cell");
    }
    const std::string served = DefectsJson("defects.json", defects);
    Require(IsAsciiJsonLine(served), "one line of JSON");
    std::vector<Defect> again;
    Require(ParseDefects(served, width, height, again, reason) && again.size() == defects.size() &&
                std::equal(again.begin(), again.end(), defects.begin(), Same),
            "the answer reads back as the same defects");
    return 0;
}
