#pragma once

// Internal to the loopback server: the Beast types live only in the server's own sources.

#include <atomic>
#include <deque>
#include <future>
#include <optional>
#include <thread>
#include <unordered_map>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "LoopbackServer.h"
#include "RequestGuard.h"

namespace vistrel::bridge
{

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;
using tcp = boost::asio::ip::tcp;

class HttpSession;
class SocketSession;

/** Everything the server thread works on. The maps and counters without atomics are touched on
    the server thread only; other threads reach it through asio::post. */
struct LoopbackServer::State
{
    State (ServerHandler& h, std::string t, ServerSettings s)
        : handler (h), settings (s), token (std::move (t))
    {
    }

    ServerHandler& handler;
    const ServerSettings settings;
    const std::string token;
    std::optional<RequestGuard> guard;
    int port = 0;

    std::atomic<int> numConnections { 0 };
    std::atomic<std::uint64_t> numDropped { 0 };
    std::atomic<bool> running { false };

    std::uint64_t nextId = 1;
    std::unordered_map<ConnectionId, std::shared_ptr<SocketSession>> sockets;
    std::unordered_map<std::uint64_t, std::shared_ptr<HttpSession>> awaitingResource;

    asio::io_context ioc { 1 };
    tcp::acceptor acceptor { ioc };
    std::thread thread;

    /** Fulfilled once no socket is left after `drain`; set only while stopping. */
    std::shared_ptr<std::promise<void>> drained;

    void acceptNext();
    void socketOpened (ConnectionId, std::shared_ptr<SocketSession>);
    void socketClosed (ConnectionId);

    /** Takes no more pages and has every socket close once it has sent what is queued. */
    void drain (std::shared_ptr<std::promise<void>>);
    void notifyIfDrained();
};

/** One HTTP connection: reads requests, lets the guard judge them, serves page files through the
    handler, and hands an authorised upgrade over to a SocketSession. */
class HttpSession : public std::enable_shared_from_this<HttpSession>
{
public:
    HttpSession (LoopbackServer::State&, tcp::socket&&);

    void start();
    void answer (std::optional<HttpResource>);

private:
    void readRequest();
    void requestRead (beast::error_code);
    void refuse (http::status, bool closeAfter);
    void respond (http::response<http::vector_body<std::byte>>&&, bool closeAfter);

    LoopbackServer::State& state;
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    std::shared_ptr<http::response<http::vector_body<std::byte>>> response;
    unsigned requestVersion = 11;
    bool requestKeepAlive = false;
};

/** One connected page: reads its messages in order, writes what the bridge sends it in order,
    and keeps the frame backlog small. */
class SocketSession : public std::enable_shared_from_this<SocketSession>
{
public:
    SocketSession (LoopbackServer::State&, tcp::socket&&, ConnectionId);

    void accept (http::request<http::string_body>&&);
    void enqueue (OutboundPtr);

    /** Sends what is queued, then closes the socket with "going away". */
    void closeWhenSent();

    /** Closes the connection at once, whatever is still queued; only once the server's thread
        has stopped (its pending handlers would otherwise keep the socket open until the server
        is destroyed). */
    void abort();

private:
    void readNext();
    void writeNext();
    void startClose();
    void closed();

    LoopbackServer::State& state;
    websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;
    http::request<http::string_body> upgrade;
    const ConnectionId id;

    std::deque<OutboundPtr> pending;
    OutboundPtr inFlight;
    std::size_t lossyPending = 0;
    bool open = false;
    bool closing = false;        // close once `pending` is sent
    bool closeStarted = false;   // the close frame is on its way: nothing more is written
};

} // namespace vistrel::bridge
