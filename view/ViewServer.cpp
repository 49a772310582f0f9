#include "view/ViewServer.h"

#include "probe/JsonWriter.h"
#include "view/PageFiles.h"
#include "view/PngTile.h"
#include "view/Pyramid.h"
#include "view/RequestTarget.h"

#include <httplib.h>

#include <sys/random.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <list>
#include <new>
#include <thread>
#include <unordered_map>

namespace
{

constexpr const char* kJson = "application/json";

std::string ErrorJson(const std::string& error)
{
    CJsonWriter json;
    json.BeginObject();
    json.Field("error", error);
    json.EndObject();
    return json.Text() + "\n";
}

void Refuse(httplib::Response& response, int status, const std::string& error)
{
    response.status = status;
    response.set_content(ErrorJson(error), kJson);
}

// Sends the bytes as they are. Given as the body, they would be compressed
// by the library for a client that accepts it, text with brotli at its
// slowest setting (a third of a second for OpenSeadragon's file, 10 ms for
// a cell): over the loopback interface that only costs time.
void Send(httplib::Response& response, const char* data, size_t size, const char* type,
          std::shared_ptr<const void> keep = nullptr)
{
    response.set_content_provider(size, type, [data, keep](size_t offset, size_t length, httplib::DataSink& sink) {
        return sink.write(data + offset, length);
    });
}

void Send(httplib::Response& response, std::string text, const char* type)
{
    auto kept = std::make_shared<const std::string>(std::move(text));
    Send(response, kept->data(), kept->size(), type, kept);
}

// Compares in a time that does not depend on where the texts differ.
bool SameToken(const std::string& given, const std::string& token)
{
    if (given.size() != token.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < token.size(); ++i)
        difference = static_cast<unsigned char>(difference | (given[i] ^ token[i]));
    return difference == 0;
}

// The value of cookie name in the request's Cookie headers, if any.
bool CookieOf(const httplib::Request& request, const std::string& name, std::string& value)
{
    const size_t headers = request.get_header_value_count("Cookie");
    for (size_t h = 0; h < headers; ++h)
    {
        const std::string text = request.get_header_value("Cookie", h);
        size_t start = 0;
        while (start < text.size())
        {
            const size_t end = std::min(text.find(';', start), text.size());
            size_t from = text.find_first_not_of(' ', start);
            if (from < end && text.compare(from, name.size() + 1, name + "=") == 0)
            {
                value = text.substr(from + name.size() + 1, end - from - name.size() - 1);
                return true;
            }
            start = end + 1;
        }
    }
    return false;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The encoded tiles kept, the least recently used dropped first past the
// budget.
class CTileCache
{
public:
    explicit CTileCache(size_t budget) : m_budget(budget) {}

    std::shared_ptr<const std::string> Find(uint64_t key)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_index.find(key);
        if (found == m_index.end())
            return nullptr;
        m_order.splice(m_order.begin(), m_order, found->second);
        return found->second->second;
    }

    void Keep(uint64_t key, std::shared_ptr<const std::string> png)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_index.count(key) != 0 || png->size() > m_budget)
            return;
        m_order.emplace_front(key, png);
        m_index[key] = m_order.begin();
        m_bytes += png->size();
        while (m_bytes > m_budget)
        {
            m_bytes -= m_order.back().second->size();
            m_index.erase(m_order.back().first);
            m_order.pop_back();
        }
    }

private:
    size_t m_budget;
    size_t m_bytes = 0;
    std::mutex m_mutex;
    std::list<std::pair<uint64_t, std::shared_ptr<const std::string>>> m_order;
    std::unordered_map<uint64_t, std::list<std::pair<uint64_t, std::shared_ptr<const std::string>>>::iterator> m_index;
};

// The server's threads: a fixed number, started once; a thread the system
// refuses means one fewer, and with none at all each connection is served
// on the listening thread. At most kQueued connections wait for a thread;
// past that the listening thread waits too, and the system's backlog holds
// the rest.
class CServingThreads : public httplib::TaskQueue
{
public:
    explicit CServingThreads(int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            try
            {
                m_threads.emplace_back([this] { Serve(); });
            }
            catch (...)
            {
                break;
            }
    }

    ~CServingThreads() override { shutdown(); }

    void enqueue(std::function<void()> task) override
    {
        if (m_threads.empty())
        {
            task();
            return;
        }
        try
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_room.wait(lock, [&] { return m_tasks.size() < kQueued || m_stop; });
            m_tasks.push_back(std::move(task));
        }
        catch (...)
        {
            // No memory to queue it: served here, as best it can be.
            task();
            return;
        }
        m_work.notify_one();
    }

    void shutdown() override
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_work.notify_all();
        m_room.notify_all();
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

private:
    static constexpr size_t kQueued = 64;

    void Serve()
    {
        while (true)
        {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_work.wait(lock, [&] { return m_stop || !m_tasks.empty(); });
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            m_room.notify_one();
            try
            {
                task();
            }
            catch (...)
            {
                // The library answers what fails in a handler; whatever
                // reaches here ends one connection, not the thread.
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_room;
    std::deque<std::function<void()>> m_tasks;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

uint64_t TileKey(ViewName view, Layer layer, int32_t level, int32_t column, int32_t row)
{
    return (static_cast<uint64_t>(view) << 56) | (static_cast<uint64_t>(layer) << 48) |
           (static_cast<uint64_t>(level) << 40) | (static_cast<uint64_t>(column) << 20) | static_cast<uint64_t>(row);
}

double MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The server's time for the answer, waiting for a render slot apart.
void SetServerTiming(httplib::Response& response, std::chrono::steady_clock::time_point start,
                     std::chrono::steady_clock::time_point rendering)
{
    char text[96];
    std::snprintf(text, sizeof text, "wait;dur=%.3f, render;dur=%.3f",
                  std::chrono::duration<double, std::milli>(rendering - start).count(), MillisecondsSince(rendering));
    response.set_header("Server-Timing", text);
}

void SetServerTiming(httplib::Response& response, std::chrono::steady_clock::time_point start)
{
    SetServerTiming(response, start, start);
}

}  // namespace

std::string NewToken(Status& status)
{
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes)
    {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            status = errno;
            return std::string();
        }
        got += static_cast<size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes)
    {
        token += kHex[byte >> 4];
        token += kHex[byte & 15];
    }
    status = kStatusOk;
    return token;
}

struct CViewServer::CState
{
    CState(const CViewedFile& viewed, std::string secret, int32_t threadCount, size_t cacheBytes, std::string defectList)
        : file(viewed), token(std::move(secret)), threads(threadCount), cache(cacheBytes), defects(std::move(defectList))
    {
        for (const ViewName view : kViews)
            for (const Layer layer : {Layer::Pictures, Layer::Marks})
                pyramids.push_back(std::make_unique<CPyramid>(viewed, view, layer));
    }

    const CPyramid& PyramidOf(ViewName view, Layer layer) const
    {
        return *pyramids[static_cast<size_t>(view) * 2 + static_cast<size_t>(layer)];
    }

    std::string CookieName() const { return "diagraw-view-" + std::to_string(port); }
    bool HostAllowed(const httplib::Request& request) const;
    void Answer(const httplib::Request& request, httplib::Response& response);
    void AnswerTile(const RequestTarget& target, httplib::Response& response);
    void AnswerRoute(const RequestTarget& target, httplib::Response& response);

    const CViewedFile& file;
    std::string token;
    int32_t threads;
    CTileCache cache;
    const std::string defects;
    std::vector<std::unique_ptr<CPyramid>> pyramids;
    httplib::Server server;
    std::string address;
    std::string hostName;  // as the Host header names the bound address
    int32_t port = 0;
    std::vector<std::thread> preparing;
};

bool CViewServer::CState::HostAllowed(const httplib::Request& request) const
{
    if (request.get_header_value_count("Host") != 1)
        return false;
    const std::string host = Lower(request.get_header_value("Host"));
    std::string suffix = ":";
    suffix += std::to_string(port);
    for (const std::string& name : {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"), hostName})
        if (host == name + suffix)
            return true;
    return false;
}

void CViewServer::CState::AnswerTile(const RequestTarget& target, httplib::Response& response)
{
    const CPyramid& pyramid = PyramidOf(target.view, target.layer);
    const ViewSize tiles = TilesOf(LevelSize(pyramid.Size(), target.level));
    if (target.level >= pyramid.Levels() || target.column >= tiles.width || target.row >= tiles.height)
        return Refuse(response, 404, "no such tile");
    const auto start = std::chrono::steady_clock::now();
    const uint64_t key = TileKey(target.view, target.layer, target.level, target.column, target.row);
    std::shared_ptr<const std::string> png = cache.Find(key);
    auto rendering = start;
    if (!png)
    {
        TilePixels pixels;
        {
            const CRenderSlots::CLease lease(file.Slots());
            rendering = std::chrono::steady_clock::now();
            pixels = pyramid.Tile(target.level, target.column, target.row, lease.Index());
        }
        auto encoded = std::make_shared<std::string>(EncodePngTile(pixels));
        if (encoded->empty())
            return Refuse(response, 500, "the tile could not be encoded");
        png = encoded;
        cache.Keep(key, png);
    }
    SetServerTiming(response, start, rendering);
    Send(response, png->data(), png->size(), "image/png", png);
}

void CViewServer::CState::AnswerRoute(const RequestTarget& target, httplib::Response& response)
{
    switch (target.route)
    {
    case Route::Page:
    case Route::Asset:
    {
        const PageFile* page = FindPageFile(target.route == Route::Page ? "index.html" : target.asset);
        if (page == nullptr)
            return Refuse(response, 404, "no such resource");
        if (target.route == Route::Page)
            response.set_header("Content-Security-Policy",
                                "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'; "
                                "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
        Send(response, reinterpret_cast<const char*>(page->bytes), page->size, page->type);
        return;
    }
    case Route::Views:
    {
        CJsonWriter json;
        json.BeginObject();
        json.Field("file", file.Path());
        json.Field("tile_size", kTileSize);
        json.Key("views");
        json.BeginArray();
        for (const ViewName view : kViews)
        {
            const ViewSize size = file.SizeOf(view);
            json.BeginObject();
            json.Field("name", NameOfView(view));
            json.Field("width", size.width);
            json.Field("height", size.height);
            json.Field("levels", LevelCount(size));
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        Send(response, json.Text() + "\n", kJson);
        return;
    }
    case Route::Dzi:
    {
        const ViewSize size = file.SizeOf(target.view);
        Send(response, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<Image xmlns=\"http://schemas.microsoft.com/deepzoom/2008\" Format=\"png\" Overlap=\"0\" "
                             "TileSize=\"" + std::to_string(kTileSize) + "\"><Size Width=\"" +
                                 std::to_string(size.width) + "\" Height=\"" + std::to_string(size.height) +
                                 "\"/></Image>\n",
                             "application/xml");
        return;
    }
    case Route::Tile:
        return AnswerTile(target, response);
    case Route::Info:
    {
        Status status = kStatusOk;
        const std::string info = file.InfoJson(status);
        if (status != kStatusOk)
            return Refuse(response, 500, std::string("the header could not be read: ") + DescribeStatus(status));
        Send(response, info, kJson);
        return;
    }
    case Route::Stats:
    {
        if (!target.hasArea)
            return Send(response, file.StatsJson(), kJson);
        const ImageArea area{target.x, target.y, target.width, target.height};
        const int32_t side = file.Raw().MosaicSide();
        const Status areaStatus = CheckArea(area, side);
        if (areaStatus != kStatusOk)
            return Refuse(response, 404, DescribeAreaProblem(areaStatus, area, side));
        const auto start = std::chrono::steady_clock::now();
        Send(response, file.AreaStatsJson(area), kJson);
        SetServerTiming(response, start);
        return;
    }
    case Route::Cell:
    {
        const ViewSize size = file.SizeOf(target.view);
        if (target.x < 0 || target.x >= size.width || target.y < 0 || target.y >= size.height)
            return Refuse(response, 404, "pixel (" + std::to_string(target.x) + ", " + std::to_string(target.y) +
                                             ") lies outside the " + std::to_string(size.width) + " x " +
                                             std::to_string(size.height) + " view");
        const auto start = std::chrono::steady_clock::now();
        const CRenderSlots::CLease lease(file.Slots());
        const auto rendering = std::chrono::steady_clock::now();
        Send(response, file.CellJson(target.view, target.x, target.y, lease.Index()), kJson);
        SetServerTiming(response, start, rendering);
        return;
    }
    case Route::Defects:
        // Made once, at the start: kept for as long as the server runs.
        Send(response, defects.data(), defects.size(), kJson);
        return;
    }
}

void CViewServer::CState::Answer(const httplib::Request& request, httplib::Response& response)
{
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("X-Frame-Options", "DENY");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cross-Origin-Resource-Policy", "same-origin");
    if (request.method != "GET")
    {
        response.set_header("Allow", "GET");
        response.set_header("Connection", "close");
        return Refuse(response, 405, "only GET is served");
    }
    if (!HostAllowed(request))
        return Refuse(response, 403, "the Host header names no address of this server");
    const RequestTarget target = ParseRequestTarget(request.target);
    std::string cookie;
    const bool cookieValid = CookieOf(request, CookieName(), cookie) && SameToken(cookie, token);
    if (target.hasToken ? !SameToken(target.token, token) : !cookieValid)
        return Refuse(response, 403, "the token is missing or wrong");
    if (target.hasToken && !cookieValid)
        response.set_header("Set-Cookie", CookieName() + "=" + token + "; Path=/; HttpOnly; SameSite=Strict");
    if (target.status != 0)
        return Refuse(response, target.status, target.error);
    try
    {
        AnswerRoute(target, response);
    }
    catch (const std::bad_alloc&)
    {
        Refuse(response, 503, "out of memory");
    }
}

CViewServer::CViewServer(const CViewedFile& file, std::string token, int32_t threads, size_t cacheBytes,
                         std::string defectsJson)
    : m_state(std::make_unique<CState>(file, std::move(token), threads, cacheBytes, std::move(defectsJson)))
{
    httplib::Server& server = m_state->server;
    CState& state = *m_state;
    server.new_task_queue = [&state] { return new CServingThreads(state.threads); };
    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which
    // would let a second server share a port that is in use.
    server.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(2);
    server.set_payload_max_length(4096);
    server.set_pre_routing_handler([&state](const httplib::Request& request, httplib::Response& response) {
        try
        {
            state.Answer(request, response);
        }
        catch (...)
        {
            Refuse(response, 500, "the request failed");
        }
        return httplib::Server::HandlerResponse::Handled;
    });
    // What the library refuses itself (a malformed request line, a target
    // too long, ...) gets a JSON body too; answers of our own keep theirs.
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content(ErrorJson("the request is malformed or too large (HTTP status " +
                                           std::to_string(response.status) + ")"),
                                 kJson);
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        Refuse(response, 500, "the request failed");
    });
}

CViewServer::~CViewServer()
{
    Stop();
    for (std::thread& thread : m_state->preparing)
        thread.join();
}

bool CViewServer::Bind(const std::string& address, int32_t port, std::string& reason)
{
    CState& state = *m_state;
    state.address = address;
    state.hostName = Lower(address.find(':') != std::string::npos ? "[" + address + "]" : address);
    errno = 0;
    if (port == 0)
    {
        const int bound = state.server.bind_to_any_port(address);
        if (bound > 0)
        {
            state.port = bound;
            return true;
        }
    }
    else if (state.server.bind_to_port(address, port))
    {
        state.port = port;
        return true;
    }
    reason = errno != 0 ? DescribeStatus(errno) : "cannot listen there";
    return false;
}

int32_t CViewServer::Port() const
{
    return m_state->port;
}

std::string CViewServer::Address() const
{
    return "http://" + m_state->hostName + ":" + std::to_string(m_state->port) + "/?token=" + m_state->token;
}

void CViewServer::Prepare(ViewName view)
{
    try
    {
        const CPyramid& pyramid = m_state->PyramidOf(view, Layer::Pictures);
        m_state->preparing.emplace_back([&pyramid] {
            try
            {
                pyramid.MakeCoarseLevels();
            }
            catch (...)
            {
                // The first request that needs them tries again.
            }
        });
    }
    catch (...)
    {
        // No thread: the levels are made when first asked for.
    }
}

bool CViewServer::Serve()
{
    return m_state->server.listen_after_bind();
}

void CViewServer::Stop()
{
    m_state->server.stop();
}
