#include "ServerState.h"

// Beast's async_write declares a defaulted "= 0" pointer parameter that this warning flags here.
#pragma GCC diagnostic ignored "-Wzero-as-null-pointer-constant"

namespace vistrel::bridge
{
namespace
{
    constexpr auto kIdleTimeout = std::chrono::seconds (30);
    constexpr std::size_t kMaxRequestBodyBytes = 1024;   // pages only GET

    std::vector<std::byte> bytesOf (std::string_view text)
    {
        const auto* first = reinterpret_cast<const std::byte*> (text.data());
        return { first, first + text.size() };
    }
} // namespace

HttpSession::HttpSession (LoopbackServer::State& s, tcp::socket&& socket)
    : state (s), stream (std::move (socket))
{
}

void HttpSession::start()
{
    readRequest();
}

void HttpSession::readRequest()
{
    parser.emplace();
    parser->header_limit ((std::uint32_t) state.settings.maxRequestHeaderBytes);
    parser->body_limit (kMaxRequestBodyBytes);
    stream.expires_after (kIdleTimeout);

    http::async_read (stream, buffer, *parser, [self = shared_from_this()] (beast::error_code ec, std::size_t)
    {
        self->requestRead (ec);
    });
}

void HttpSession::requestRead (beast::error_code ec)
{
    if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::operation_aborted)
    {
        stream.socket().shutdown (tcp::socket::shutdown_send, ec);
        return;
    }

    if (ec == http::error::body_limit)
        return refuse (http::status::payload_too_large, true);

    if (ec == http::error::header_limit)
        return refuse (http::status::request_header_fields_too_large, true);

    if (ec)
        return refuse (http::status::bad_request, true);

    const auto& request = parser->get();
    requestVersion = request.version();
    requestKeepAlive = request.keep_alive();

    RequestGuard::Request facts;
    facts.method = request.method_string();
    facts.target = request.target();
    facts.host = request[http::field::host];
    const auto origin = request.find (http::field::origin);
    facts.hasOrigin = origin != request.end();
    if (facts.hasOrigin)
        facts.origin = origin->value();
    facts.isWebSocketUpgrade = websocket::is_upgrade (request);

    auto decision = state.guard->check (facts);

    if (decision.verdict == RequestGuard::Verdict::openSocket && ! state.settings.acceptSockets)
        decision.verdict = RequestGuard::Verdict::notFound;

    switch (decision.verdict)
    {
        case RequestGuard::Verdict::badHost:       return refuse (http::status::bad_request, true);
        case RequestGuard::Verdict::notFound:      return refuse (http::status::not_found, facts.isWebSocketUpgrade);
        case RequestGuard::Verdict::badMethod:     return refuse (http::status::method_not_allowed, true);
        case RequestGuard::Verdict::foreignOrigin: return refuse (http::status::forbidden, true);

        case RequestGuard::Verdict::openSocket:
        {
            stream.expires_never();
            const auto id = state.nextId++;
            std::make_shared<SocketSession> (state, stream.release_socket(), id)->accept (parser->release());
            return;
        }

        case RequestGuard::Verdict::serveResource:
        {
            const auto requestId = state.nextId++;
            state.awaitingResource.emplace (requestId, shared_from_this());
            state.handler.resourceRequested (requestId, std::move (decision.resourcePath));
            return;
        }
    }
}

void HttpSession::answer (std::optional<HttpResource> resource)
{
    if (! resource.has_value())
        return refuse (http::status::not_found, ! requestKeepAlive);

    http::response<http::vector_body<std::byte>> reply { http::status::ok, requestVersion };
    reply.set (http::field::content_type, resource->mimeType);
    // Files are read from disk on every request so edits show at the next reload.
    reply.set (http::field::cache_control, "no-store");
    reply.set ("X-Content-Type-Options", "nosniff");
    // The token is in every address; keep it out of the Referer of anything the page links to.
    reply.set ("Referrer-Policy", "no-referrer");
    reply.body() = std::move (resource->data);
    respond (std::move (reply), ! requestKeepAlive);
}

void HttpSession::refuse (http::status status, bool closeAfter)
{
    http::response<http::vector_body<std::byte>> reply { status, requestVersion };
    reply.set (http::field::content_type, "text/plain; charset=utf-8");
    reply.set (http::field::cache_control, "no-store");
    reply.body() = bytesOf (http::obsolete_reason (status));
    respond (std::move (reply), closeAfter);
}

void HttpSession::respond (http::response<http::vector_body<std::byte>>&& reply, bool closeAfter)
{
    reply.keep_alive (! closeAfter);
    reply.prepare_payload();
    response = std::make_shared<http::response<http::vector_body<std::byte>>> (std::move (reply));
    stream.expires_after (kIdleTimeout);

    http::async_write (stream, *response, [self = shared_from_this(), closeAfter] (beast::error_code ec, std::size_t)
    {
        self->response.reset();

        if (ec || closeAfter)
        {
            self->stream.socket().shutdown (tcp::socket::shutdown_send, ec);
            return;
        }

        self->readRequest();
    });
}

} // namespace vistrel::bridge
