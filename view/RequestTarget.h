// The request target of diagraw-view (the path and the query of a GET), read
// into what is asked for. It is the server's only reader of the bytes a
// client sends beyond what the HTTP library parses, and it names no file:
// a target is one of these or nothing.
//
//   /                                   the page
//   /NAME                               a file of the page (letters, digits, '.', '-')
//   /dzi/VIEW.dzi, /marks/VIEW.dzi      the Deep Zoom description of a view's
//                                       pictures or overlay marks
//   /dzi/VIEW_files/LEVEL/COLUMN_ROW.png, /marks/...   one tile
//   /api/views, /api/info               the views' sizes; the probe's info
//   /api/stats[?x=X&y=Y&w=W&h=H]        the probe's stats, of all or of an area
//   /api/cell?view=VIEW&x=X&y=Y         the cell under a pixel of a view
//   /api/defects                        the defects of --defects, if given
//
// Every target may carry token=TOKEN in its query. A query key is given once
// at most, and only where it belongs; values are percent-decoded. A number
// is decimal, with a minus sign allowed in the query (a negative one is out
// of range, not malformed); magnitudes beyond 2^31 - 1 saturate. Whether a
// number lies inside the view is for the server to say (404), as is the
// token.
#pragma once

#include "view/Pyramid.h"

#include <cstdint>
#include <string>
#include <string_view>

enum class Route : uint8_t { Page, Asset, Dzi, Tile, Views, Info, Stats, Cell, Defects };

struct RequestTarget
{
    // 0 when the target is well formed; otherwise 400 (malformed) or 404 (no
    // such thing), with error saying why.
    int status = 0;
    std::string error;

    Route route = Route::Page;
    std::string asset;  // Asset: NAME
    ViewName view = ViewName::Image;
    Layer layer = Layer::Pictures;
    int32_t level = 0;   // Tile
    int32_t column = 0;
    int32_t row = 0;
    int32_t x = 0;       // Cell, and Stats with hasArea
    int32_t y = 0;
    int32_t width = 0;   // Stats with hasArea
    int32_t height = 0;
    bool hasArea = false;
    bool hasToken = false;
    std::string token;
};

RequestTarget ParseRequestTarget(std::string_view target);

// A whole number: digits, after a minus sign where negative is allowed;
// saturates at +-(2^31 - 1). False for anything else, the empty text too.
bool ParseRequestNumber(std::string_view text, bool negativeAllowed, int32_t& value);
