// diagraw-view's request targets, any bytes: the reader never fails but with
// 400 or 404 and a reason, and what it accepts is one of its routes, with
// the numbers as written and a file name of the page's own characters only.
#include "FuzzSupport.h"

#include "view/RequestTarget.h"

#include <string>

namespace
{

// %XX turned into its byte, every other byte as it is.
std::string Decoded(const std::string& text)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size())
        {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
        else
            decoded += text[i];
    }
    return decoded;
}

// Whether text holds "key=value" as a query parameter, value (decoded) as a
// number.
bool HasNumber(const std::string& text, const char* key, int32_t value)
{
    const std::string query = text.substr(text.find('?') + 1);
    size_t start = 0;
    while (start <= query.size())
    {
        const size_t end = std::min(query.find('&', start), query.size());
        const std::string pair = query.substr(start, end - start);
        int32_t parsed = 0;
        if (pair.rfind(std::string(key) + "=", 0) == 0 &&
            ParseRequestNumber(Decoded(pair.substr(std::string(key).size() + 1)), true, parsed) && parsed == value)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const RequestTarget target = ParseRequestTarget(text);
    Require(target.status == 0 || target.status == 400 || target.status == 404, "a status of its own");
    Require((target.status == 0) == target.error.empty(), "a reason exactly for a refusal");
    if (target.status != 0)
        return 0;
    Require(!text.empty() && text[0] == '/', "a path");
    const std::string path = text.substr(0, text.find('?'));
    switch (target.route)
    {
    case Route::Page:
        Require(path == "/", "the page is /");
        break;
    case Route::Asset:
        Require(path == "/" + target.asset && target.asset.find("..") == std::string::npos &&
                    target.asset.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") == std::string::npos &&
                    target.asset[0] != '.',
                "a name of the page's own characters, never a path");
        break;
    case Route::Dzi:
    case Route::Tile:
    {
        const std::string prefix = target.layer == Layer::Pictures ? "/dzi/" : "/marks/";
        Require(path.rfind(prefix + NameOfView(target.view), 0) == 0, "the view as named");
        if (target.route == Route::Tile)
            Require(target.level >= 0 && target.column >= 0 && target.row >= 0 &&
                        path.size() > 4 && path.substr(path.size() - 4) == ".png",
                    "a tile's numbers are not negative");
        break;
    }
    case Route::Cell:
        Require(HasNumber(text, "x", target.x) && HasNumber(text, "y", target.y), "the pixel as written");
        break;
    case Route::Stats:
        Require(!target.hasArea || (HasNumber(text, "x", target.x) && HasNumber(text, "w", target.width) &&
                                    HasNumber(text, "y", target.y) && HasNumber(text, "h", target.height)),
                "the area as written");
        break;
    case Route::Views:
    case Route::Info:
    case Route::Defects:
        Require(text == path || text.substr(path.size() + 1).rfind("token=", 0) == 0, "no parameter but the token");
        break;
    }
    return 0;
}
