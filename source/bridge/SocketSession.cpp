#include "ServerState.h"

namespace vistrel::bridge
{

SocketSession::SocketSession (LoopbackServer::State& s, tcp::socket&& socket, ConnectionId connectionId)
    : state (s), ws (std::move (socket)), id (connectionId)
{
}

void SocketSession::accept (http::request<http::string_body>&& request)
{
    upgrade = std::move (request);
    ws.set_option (websocket::stream_base::timeout::suggested (beast::role_type::server));
    ws.read_message_max (state.settings.maxInboundMessageBytes);
    ws.auto_fragment (false);
    ws.text (true);

    ws.async_accept (upgrade, [self = shared_from_this()] (beast::error_code ec)
    {
        self->upgrade = {};

        if (ec)
            return;

        self->open = true;
        self->state.socketOpened (self->id, self);
        self->readNext();
    });
}

void SocketSession::readNext()
{
    ws.async_read (buffer, [self = shared_from_this()] (beast::error_code ec, std::size_t)
    {
        if (ec)
            return self->closed();

        if (! self->ws.got_text())
        {
            self->enqueue (wire::encodeFailure (0, "binary messages are not accepted"));
        }
        else
        {
            const auto data = self->buffer.cdata();
            self->state.handler.messageReceived (self->id, { static_cast<const char*> (data.data()), data.size() });
        }

        self->buffer.consume (self->buffer.size());
        self->readNext();
    });
}

void SocketSession::enqueue (OutboundPtr message)
{
    if (! open || closeStarted)
        return;

    if (message->lossy)
    {
        if (lossyPending >= state.settings.lossyBacklog)
        {
            // The page is behind: the oldest waiting frame is worth least.
            for (auto it = pending.begin(); it != pending.end(); ++it)
            {
                if ((*it)->lossy)
                {
                    pending.erase (it);
                    --lossyPending;
                    state.numDropped.fetch_add (1, std::memory_order_relaxed);
                    break;
                }
            }
        }

        ++lossyPending;
    }

    pending.push_back (std::move (message));

    if (inFlight == nullptr)
        writeNext();
}

void SocketSession::closeWhenSent()
{
    closing = true;

    if (inFlight == nullptr && pending.empty())
        startClose();
}

void SocketSession::writeNext()
{
    if (! open)
        return;

    if (pending.empty())
    {
        if (closing)
            startClose();

        return;
    }

    inFlight = std::move (pending.front());
    pending.pop_front();

    if (inFlight->lossy)
        --lossyPending;

    const std::array<asio::const_buffer, 2> buffers {
        asio::const_buffer (inFlight->head.data(), inFlight->head.size()),
        asio::const_buffer (inFlight->body.toRawUTF8(), inFlight->bodyBytes)
    };

    ws.async_write (buffers, [self = shared_from_this()] (beast::error_code ec, std::size_t)
    {
        self->inFlight.reset();

        if (ec)
            return self->closed();

        self->writeNext();
    });
}

void SocketSession::startClose()
{
    if (! open || closeStarted)
        return;

    closeStarted = true;

    // The page answers the close frame; its answer ends the read loop, which reports the socket
    // closed. Only a failure to send the frame ends the session here.
    ws.async_close (websocket::close_code::going_away, [self = shared_from_this()] (beast::error_code ec)
    {
        if (ec)
            self->closed();
    });
}

void SocketSession::abort()
{
    open = false;
    pending.clear();
    beast::error_code ec;
    beast::get_lowest_layer (ws).socket().close (ec);
}

void SocketSession::closed()
{
    if (! open)
        return;

    open = false;
    pending.clear();
    lossyPending = 0;
    state.socketClosed (id);
}

} // namespace vistrel::bridge
