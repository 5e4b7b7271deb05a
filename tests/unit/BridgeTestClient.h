#pragma once

// A page's side of the bridge for the protocol tests: plain HTTP requests and a WebSocket,
// blocking with timeouts, driven from a worker thread while the test's message thread pumps.

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <juce_events/juce_events.h>

// Beast's http::async_write declares a defaulted "= 0" pointer parameter that this warning flags.
#pragma GCC diagnostic ignored "-Wzero-as-null-pointer-constant"

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace vistrel::test
{

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;
using tcp = boost::asio::ip::tcp;

/** Runs the message loop of this (the message) thread until `done` or the timeout. */
template <typename Predicate>
bool pumpMessagesUntil (Predicate done, std::chrono::milliseconds timeout = std::chrono::milliseconds (5000))
{
    const auto end = std::chrono::steady_clock::now() + timeout;

    while (! done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;

        if (! juce::dispatchNextMessageOnSystemQueue (true))
            std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

    return true;
}

inline void pumpMessagesFor (std::chrono::milliseconds duration)
{
    pumpMessagesUntil ([] { return false; }, duration);
}

/** Runs `work` on a worker thread while this thread keeps dispatching messages. */
template <typename Work>
auto whilePumping (Work&& work)
{
    auto result = std::async (std::launch::async, std::forward<Work> (work));
    pumpMessagesUntil ([&] { return result.wait_for (std::chrono::seconds (0)) == std::future_status::ready; },
                       std::chrono::milliseconds (30000));
    return result.get();
}

struct HttpReply
{
    int status = 0;
    std::string body;
    std::string contentType;
    http::response<http::string_body> message;
};

struct HttpRequestShape
{
    std::string method = "GET";
    std::string target;
    std::optional<std::string> host;   // defaults to 127.0.0.1:<port>
    std::optional<std::string> origin;
    bool upgrade = false;
};

/** Runs the client's io_context until its one pending operation is done (or timed out). */
inline void runClient (asio::io_context& ioc)
{
    ioc.restart();
    ioc.run();
}

/** One request on a fresh connection; status 0 when the connection failed or timed out. */
inline HttpReply httpRequest (int port, const HttpRequestShape& shape)
{
    HttpReply reply;
    asio::io_context ioc;
    beast::tcp_stream stream (ioc);
    beast::error_code ec;
    stream.expires_after (std::chrono::seconds (5));
    stream.async_connect (tcp::endpoint { asio::ip::address_v4::loopback(), (unsigned short) port },
                          [&] (beast::error_code e) { ec = e; });
    runClient (ioc);

    if (ec)
        return reply;

    http::request<http::empty_body> request { http::string_to_verb (shape.method), shape.target, 11 };
    request.set (http::field::host, shape.host.value_or ("127.0.0.1:" + std::to_string (port)));

    if (shape.origin)
        request.set (http::field::origin, *shape.origin);

    if (shape.upgrade)
    {
        request.set (http::field::connection, "Upgrade");
        request.set (http::field::upgrade, "websocket");
        request.set (http::field::sec_websocket_version, "13");
        request.set (http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ==");
    }

    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.skip (shape.upgrade);   // a 101 has no body to wait for

    stream.expires_after (std::chrono::seconds (5));
    http::async_write (stream, request, [&] (beast::error_code e, std::size_t) { ec = e; });
    runClient (ioc);

    if (! ec)
    {
        http::async_read (stream, buffer, parser, [&] (beast::error_code e, std::size_t) { ec = e; });
        runClient (ioc);
    }

    if (ec && ! parser.is_header_done())
        return reply;

    reply.message = parser.release();
    reply.status = (int) reply.message.result_int();
    reply.body = reply.message.body();
    reply.contentType = std::string (reply.message[http::field::content_type]);
    return reply;
}

/** A WebSocket client in the page's place. */
class PageSocket
{
public:
    /** Connects and upgrades; `status` is the server's answer to the upgrade (101 when open). */
    PageSocket (int port, const std::string& target, std::optional<std::string> origin)
    {
        beast::error_code ec;
        auto& tcpStream = beast::get_lowest_layer (ws);
        tcpStream.expires_after (std::chrono::seconds (5));
        tcpStream.async_connect (tcp::endpoint { asio::ip::address_v4::loopback(), (unsigned short) port },
                                 [&] (beast::error_code e) { ec = e; });
        runClient (ioc);

        if (ec)
            return;

        ws.set_option (websocket::stream_base::decorator ([origin] (websocket::request_type& request)
        {
            if (origin)
                request.set (http::field::origin, *origin);
        }));
        ws.read_message_max (256u << 20);

        websocket::response_type response;
        ws.async_handshake (response, "127.0.0.1:" + std::to_string (port), target, [&] (beast::error_code e) { ec = e; });
        runClient (ioc);
        status = (int) response.result_int();
        isOpen = ! ec;
        tcpStream.expires_never();
    }

    bool send (const std::string& text)
    {
        beast::error_code ec;
        ws.text (true);
        beast::get_lowest_layer (ws).expires_after (std::chrono::seconds (20));
        ws.async_write (asio::buffer (text), [&] (beast::error_code e, std::size_t) { ec = e; });
        runClient (ioc);
        beast::get_lowest_layer (ws).expires_never();
        return ! ec;
    }

    /** The next message, or nullopt after `timeout` without one (the socket is then closed) or
        when the socket closed. */
    std::optional<std::string> receive (std::chrono::milliseconds timeout = std::chrono::milliseconds (5000))
    {
        beast::flat_buffer buffer;
        beast::error_code ec;
        beast::get_lowest_layer (ws).expires_after (timeout);
        ws.async_read (buffer, [&] (beast::error_code e, std::size_t) { ec = e; });
        runClient (ioc);
        beast::get_lowest_layer (ws).expires_never();
        lastError = ec;

        if (ec)
            return std::nullopt;

        return beast::buffers_to_string (buffer.data());
    }

    /** The next message that does not start with `prefixToSkip`. */
    std::optional<std::string> receiveSkipping (const std::string& prefixToSkip)
    {
        for (;;)
        {
            auto message = receive();

            if (! message || message->rfind (prefixToSkip, 0) != 0)
                return message;
        }
    }

    /** The next message that starts with `prefix`, skipping all others. */
    std::optional<std::string> receiveFirst (const std::string& prefix)
    {
        for (;;)
        {
            auto message = receive();

            if (! message || message->rfind (prefix, 0) == 0)
                return message;
        }
    }

    websocket::close_reason closeReason() const { return ws.reason(); }

    asio::io_context ioc;
    websocket::stream<beast::tcp_stream> ws { ioc };
    int status = 0;
    bool isOpen = false;
    beast::error_code lastError;
};

} // namespace vistrel::test
