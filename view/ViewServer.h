// diagraw-view's HTTP server (cpp-httplib): the page, the views' Deep Zoom
// pyramids and the probe's facts of the one file it was started with, and
// the defects read with it.
//
// What it lets in:
//   - GET alone; any other method is 405.
//   - A Host header naming the loopback address (127.0.0.1, [::1] or
//     localhost) with the server's port, or the address given with --bind;
//     anything else is 403, against DNS rebinding.
//   - The token, as the query parameter token= or as the cookie that the
//     first request with it sets (HttpOnly, SameSite=Strict); without it, or
//     with another one, 403.
//   - A target of view/RequestTarget.h, nothing else: no part of a request
//     names a file. A malformed number is 400; a view, level, tile or pixel
//     outside what exists is 404. Every refusal is a JSON object
//     {"error": "..."}.
// No CORS header is ever sent. Requests are served by a fixed number of
// threads, the renders among them by fewer (the render slots); a request
// that fails (memory running out included) is answered with an error and
// the server goes on.
#pragma once

#include "view/ViewedFile.h"

#include <cstdint>
#include <memory>
#include <string>

// A fresh random token of 128 bits as 32 lower-case hex digits; empty, with
// status, when the system has no randomness to give.
std::string NewToken(Status& status);

class CViewServer
{
public:
    // Serves file (which outlives the server) to clients with token.
    // threads: requests served at once; cacheBytes: the budget of the tiles
    // kept encoded; defectsJson: the answer of /api/defects (view/Defects.h).
    CViewServer(const CViewedFile& file, std::string token, int32_t threads, size_t cacheBytes,
                std::string defectsJson);
    ~CViewServer();
    CViewServer(const CViewServer&) = delete;
    CViewServer& operator=(const CViewServer&) = delete;

    // Binds address and port (0: a free port); false, with the reason, when
    // it cannot. Port() is then the one bound. Only loopback addresses are
    // asked for without --bind, which main checks.
    bool Bind(const std::string& address, int32_t port, std::string& reason);
    int32_t Port() const;

    // The address to print: http://HOST:PORT/?token=TOKEN.
    std::string Address() const;

    // Makes the coarser levels of a view's pictures on a thread of its own,
    // so that the first page finds them made; best effort.
    void Prepare(ViewName view);

    // Serves until Stop; false when the server could not run.
    bool Serve();
    // From any thread.
    void Stop();

private:
    struct CState;
    std::unique_ptr<CState> m_state;
};
