#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WireFormat.h"

namespace vistrel::bridge
{

using ConnectionId = std::uint64_t;

/** A file of the page as the server sends it. */
struct HttpResource
{
    std::vector<std::byte> data;
    std::string mimeType;
};

/** What the server asks of its owner. Called on the server's own thread; the owner hands the
    work to whichever thread it likes and answers through the server's thread-safe calls. */
struct ServerHandler
{
    virtual ~ServerHandler() = default;

    /** An authorised GET of `path` below the root ("/", "/js/app.js?v=3"); answer it with
        `LoopbackServer::answerRequest (requestId, ...)`, exactly once. */
    virtual void resourceRequested (std::uint64_t requestId, std::string path) = 0;

    /** One complete text message from a connected page. */
    virtual void messageReceived (ConnectionId, std::string_view message) = 0;
};

struct ServerSettings
{
    /** Without it the WebSocket upgrade is refused like any unknown path: pages are only served. */
    bool acceptSockets = true;

    /** The largest message a page may send: the Base64 of a PNG still of the largest editor
        (4096 x 2400 RGBA, uncompressed, about 52 MB) fits, and so does any export chunk. */
    std::size_t maxInboundMessageBytes = 64u << 20;

    /** Lossy messages (frames) waiting behind the one being written; older ones make way. */
    std::size_t lossyBacklog = 4;

    std::size_t maxRequestHeaderBytes = 8192;

    /** How long `stop` waits for what is queued to reach the pages: closing the editor must not
        hang on a page that reads too slowly, or not at all. */
    std::chrono::milliseconds stopFlushTime { 200 };
};

/** The loopback HTTP + WebSocket server of one editor (Boost.Beast on its own thread).

    Listens on 127.0.0.1 at an ephemeral port; every request passes RequestGuard first. Pages are
    served through the handler; the WebSocket at "<root>ws" carries the bridge's messages. All
    public calls are thread-safe; outbound messages are queued per page, and a page that reads
    too slowly loses old frames, never answers or other events. */
class LoopbackServer
{
public:
    LoopbackServer (ServerHandler&, std::string token, ServerSettings = {});
    ~LoopbackServer();

    /** Binds and starts the thread. Returns false if no loopback port could be bound. */
    bool start();

    /** Sends every page what is already queued for it (answers, events and the frames still in
        its backlog), closes its socket with "going away" and joins the thread; a page that has not
        taken its messages within `ServerSettings::stopFlushTime` loses the rest. Calls made once
        this has begun do nothing. */
    void stop();

    int getPort() const noexcept;
    const std::string& getToken() const noexcept;

    /** "http://127.0.0.1:<port>/<token>/" */
    std::string rootAddress() const;

    void broadcast (OutboundPtr);
    void send (ConnectionId, OutboundPtr);
    void answerRequest (std::uint64_t requestId, std::optional<HttpResource>);

    int getNumConnections() const noexcept;

    /** Lossy messages dropped because a page fell behind, since the start. */
    std::uint64_t getNumDroppedMessages() const noexcept;

    /** CPU time the server thread has used so far, in seconds. */
    double getThreadCpuSeconds() const;

    struct State;

private:
    std::shared_ptr<State> state;
};

} // namespace vistrel::bridge
