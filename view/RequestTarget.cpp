#include "view/RequestTarget.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

namespace
{

RequestTarget Refused(int status, std::string error)
{
    RequestTarget target;
    target.status = status;
    target.error = std::move(error);
    return target;
}

bool StartsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// %XX decoded; false for a lone or malformed %.
bool PercentDecoded(std::string_view text, std::string& decoded)
{
    decoded.clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// "VIEW.dzi" or "VIEW_files/LEVEL/COLUMN_ROW.png" after /dzi/ or /marks/.
RequestTarget ParsePyramidPath(std::string_view rest, Layer layer)
{
    RequestTarget target;
    target.layer = layer;
    const size_t dzi = rest.find(".dzi");
    if (dzi != std::string_view::npos && dzi + 4 == rest.size())
    {
        if (!ViewOfName(rest.substr(0, dzi), target.view))
            return Refused(404, "no such view");
        target.route = Route::Dzi;
        return target;
    }
    const size_t files = rest.find("_files/");
    if (files == std::string_view::npos)
        return Refused(404, "no such resource");
    if (!ViewOfName(rest.substr(0, files), target.view))
        return Refused(404, "no such view");
    std::string_view tile = rest.substr(files + 7);
    const size_t slash = tile.find('/');
    const size_t underscore = tile.find('_', slash == std::string_view::npos ? 0 : slash);
    if (slash == std::string_view::npos || underscore == std::string_view::npos || tile.size() < 4 ||
        tile.substr(tile.size() - 4) != ".png")
        return Refused(404, "no such resource");
    if (!ParseRequestNumber(tile.substr(0, slash), false, target.level) ||
        !ParseRequestNumber(tile.substr(slash + 1, underscore - slash - 1), false, target.column) ||
        !ParseRequestNumber(tile.substr(underscore + 1, tile.size() - 4 - underscore - 1), false, target.row))
        return Refused(400, "a level, column or row is not a whole number");
    target.route = Route::Tile;
    return target;
}

RequestTarget ParsePath(std::string_view path)
{
    RequestTarget target;
    if (path == "/")
        return target;
    if (StartsWith(path, "/dzi/"))
        return ParsePyramidPath(path.substr(5), Layer::Pictures);
    if (StartsWith(path, "/marks/"))
        return ParsePyramidPath(path.substr(7), Layer::Marks);
    constexpr std::array<std::pair<std::string_view, Route>, 5> api = {{{"/api/views", Route::Views},
                                                                        {"/api/info", Route::Info},
                                                                        {"/api/stats", Route::Stats},
                                                                        {"/api/cell", Route::Cell},
                                                                        {"/api/defects", Route::Defects}}};
    for (const auto& [name, route] : api)
        if (path == name)
        {
            target.route = route;
            return target;
        }
    const std::string_view name = path.substr(1);
    const bool plain = !name.empty() && name.front() != '.' &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
                       });
    if (!plain || name.find("..") != std::string_view::npos)
        return Refused(404, "no such resource");
    target.route = Route::Asset;
    target.asset = std::string(name);
    return target;
}

}  // namespace

bool ParseRequestNumber(std::string_view text, bool negativeAllowed, int32_t& value)
{
    const bool negative = negativeAllowed && !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty())
        return false;
    int64_t magnitude = 0;
    for (const char c : digits)
    {
        if (c < '0' || c > '9')
            return false;
        magnitude = std::min<int64_t>(magnitude * 10 + (c - '0'), INT32_MAX);
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

namespace
{

RequestTarget ParseWithoutToken(std::string_view text)
{
    const size_t question = text.find('?');
    const std::string_view path = text.substr(0, question);
    if (path.empty() || path.front() != '/')
        return Refused(400, "the target is not a path");
    RequestTarget target = ParsePath(path);
    if (target.status != 0 || question == std::string_view::npos)
    {
        if (target.status == 0 && target.route == Route::Cell)
            return Refused(400, "view, x and y are needed");
        return target;
    }

    // The keys each route takes, besides the token.
    std::vector<std::string_view> keys;
    if (target.route == Route::Cell)
        keys = {"view", "x", "y"};
    else if (target.route == Route::Stats)
        keys = {"x", "y", "w", "h"};
    std::vector<bool> given(keys.size(), false);
    int32_t* const cellNumbers[] = {nullptr, &target.x, &target.y};
    int32_t* const areaNumbers[] = {&target.x, &target.y, &target.width, &target.height};

    std::string_view query = text.substr(question + 1);
    std::string value;
    int tokens = 0;
    while (true)
    {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const size_t equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        if (equals == std::string_view::npos || !PercentDecoded(pair.substr(equals + 1), value))
            return Refused(400, "a malformed query parameter");
        if (key == "token")
        {
            if (tokens++ > 0)
                return Refused(400, "the token is given twice");
        }
        else
        {
            const auto found = std::find(keys.begin(), keys.end(), key);
            if (found == keys.end())
                return Refused(400, "an unknown query parameter");
            const auto index = static_cast<size_t>(found - keys.begin());
            if (given[index])
                return Refused(400, "a query parameter is given twice");
            given[index] = true;
            if (target.route == Route::Cell && index == 0)
            {
                if (!ViewOfName(value, target.view))
                    return Refused(400, "view is not one of field0, field1, mosaic, image, upright");
            }
            else if (!ParseRequestNumber(value, true, target.route == Route::Cell ? *cellNumbers[index] : *areaNumbers[index]))
                return Refused(400, "a number is not a whole number");
        }
        if (amp == std::string_view::npos)
            break;
        query = query.substr(amp + 1);
    }
    const auto count = std::count(given.begin(), given.end(), true);
    if (target.route == Route::Cell && count != 3)
        return Refused(400, "view, x and y are needed");
    if (target.route == Route::Stats)
    {
        if (count != 0 && count != 4)
            return Refused(400, "an area needs x, y, w and h");
        target.hasArea = count == 4;
    }
    return target;
}

}  // namespace

RequestTarget ParseRequestTarget(std::string_view text)
{
    RequestTarget target = ParseWithoutToken(text);
    // The token is read whatever else the target holds, so that a client
    // with the token learns why its target is refused.
    const size_t question = text.find('?');
    if (question == std::string_view::npos)
        return target;
    std::string_view query = text.substr(question + 1);
    int tokens = 0;
    std::string token;
    while (!query.empty())
    {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (StartsWith(pair, "token=") && PercentDecoded(pair.substr(6), token))
            ++tokens;
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    if (tokens == 1)
    {
        target.hasToken = true;
        target.token = token;
    }
    return target;
}
