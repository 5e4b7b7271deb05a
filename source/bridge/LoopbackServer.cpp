#include "ServerState.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

namespace vistrel::bridge
{
namespace
{
    // The embedded browser forks a GTK child; a socket it inherited would outlive our closing it.
    void setCloseOnExec (int fd)
    {
        ::fcntl (fd, F_SETFD, ::fcntl (fd, F_GETFD) | FD_CLOEXEC);
    }
} // namespace

//==============================================================================
void LoopbackServer::State::acceptNext()
{
    acceptor.async_wait (tcp::acceptor::wait_read, [this] (beast::error_code ec)
    {
        if (ec == asio::error::operation_aborted || ! acceptor.is_open())
            return;

        for (;;)
        {
            // accept4 sets close-on-exec atomically, so no fork can catch the socket without it.
            const int fd = ::accept4 (acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);

            if (fd < 0)
            {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;

                break;
            }

            tcp::socket socket (ioc);
            beast::error_code error;
            socket.assign (tcp::v4(), fd, error);

            if (error)
            {
                ::close (fd);
                continue;
            }

            socket.set_option (tcp::no_delay (true), error);
            std::make_shared<HttpSession> (*this, std::move (socket))->start();
        }

        acceptNext();
    });
}

void LoopbackServer::State::socketOpened (ConnectionId id, std::shared_ptr<SocketSession> session)
{
    // An upgrade that was under way when the server began to stop: the page learns at once.
    if (drained != nullptr)
        session->closeWhenSent();

    sockets.emplace (id, std::move (session));
    numConnections.store ((int) sockets.size());
}

void LoopbackServer::State::socketClosed (ConnectionId id)
{
    sockets.erase (id);
    numConnections.store ((int) sockets.size());
    notifyIfDrained();
}

void LoopbackServer::State::drain (std::shared_ptr<std::promise<void>> done)
{
    beast::error_code ec;
    acceptor.close (ec);
    drained = std::move (done);

    for (auto& [id, session] : sockets)
        session->closeWhenSent();

    notifyIfDrained();
}

void LoopbackServer::State::notifyIfDrained()
{
    if (drained != nullptr && sockets.empty())
    {
        drained->set_value();
        drained.reset();
    }
}

//==============================================================================
LoopbackServer::LoopbackServer (ServerHandler& handler, std::string token, ServerSettings settings)
    : state (std::make_shared<State> (handler, std::move (token), settings))
{
}

LoopbackServer::~LoopbackServer()
{
    stop();
}

bool LoopbackServer::start()
{
    if (state->running.load() || state->thread.joinable())
        return state->running.load();

    beast::error_code ec;
    auto& acceptor = state->acceptor;
    acceptor.open (tcp::v4(), ec);

    if (ec)
        return false;

    setCloseOnExec (acceptor.native_handle());
    acceptor.bind ({ asio::ip::address_v4::loopback(), 0 }, ec);

    if (! ec)
        acceptor.listen (asio::socket_base::max_listen_connections, ec);

    if (! ec)
        acceptor.native_non_blocking (true, ec);

    if (ec)
    {
        acceptor.close (ec);
        return false;
    }

    state->port = acceptor.local_endpoint().port();
    state->guard.emplace (state->token, state->port);
    state->running.store (true);
    state->acceptNext();

    state->thread = std::thread ([s = state.get()]
    {
        ::pthread_setname_np (::pthread_self(), "VISTREL bridge");

        for (;;)
        {
            try
            {
                s->ioc.run();
                break;
            }
            catch (...)
            {
                // One broken connection must not take the bridge down with it.
            }
        }
    });

    return true;
}

void LoopbackServer::stop()
{
    if (! state->thread.joinable())
        return;

    // What was sent before this point is already posted, and the server's thread runs posted
    // work in order: the drain comes after every earlier answer and event, so none is lost
    // unless its page takes longer than the flush time to read it.
    state->running.store (false);
    auto drained = std::make_shared<std::promise<void>>();
    auto allClosed = drained->get_future();
    asio::post (state->ioc, [s = state.get(), drained]() mutable { s->drain (std::move (drained)); });
    allClosed.wait_for (state->settings.stopFlushTime);

    state->ioc.stop();
    state->thread.join();

    // The sessions go while the io_context that owns their sockets still exists.
    for (auto& [id, session] : state->sockets)
        session->abort();

    state->awaitingResource.clear();
    state->sockets.clear();
    state->numConnections.store (0);
    beast::error_code ec;
    state->acceptor.close (ec);
}

int LoopbackServer::getPort() const noexcept { return state->port; }
const std::string& LoopbackServer::getToken() const noexcept { return state->token; }

std::string LoopbackServer::rootAddress() const
{
    return "http://127.0.0.1:" + std::to_string (state->port) + "/" + state->token + "/";
}

void LoopbackServer::broadcast (OutboundPtr message)
{
    if (! state->running.load() || state->numConnections.load() == 0)
        return;

    asio::post (state->ioc, [s = state.get(), message = std::move (message)]
    {
        for (auto& [id, session] : s->sockets)
            session->enqueue (message);
    });
}

void LoopbackServer::send (ConnectionId id, OutboundPtr message)
{
    if (! state->running.load())
        return;

    asio::post (state->ioc, [s = state.get(), id, message = std::move (message)]
    {
        if (auto it = s->sockets.find (id); it != s->sockets.end())
            it->second->enqueue (message);
    });
}

void LoopbackServer::answerRequest (std::uint64_t requestId, std::optional<HttpResource> resource)
{
    if (! state->running.load())
        return;

    asio::post (state->ioc, [s = state.get(), requestId, resource = std::move (resource)]() mutable
    {
        if (auto it = s->awaitingResource.find (requestId); it != s->awaitingResource.end())
        {
            auto session = std::move (it->second);
            s->awaitingResource.erase (it);
            session->answer (std::move (resource));
        }
    });
}

int LoopbackServer::getNumConnections() const noexcept { return state->numConnections.load(); }
std::uint64_t LoopbackServer::getNumDroppedMessages() const noexcept { return state->numDropped.load(); }

double LoopbackServer::getThreadCpuSeconds() const
{
    if (! state->thread.joinable())
        return 0.0;

    clockid_t clock;

    if (::pthread_getcpuclockid (const_cast<std::thread&> (state->thread).native_handle(), &clock) != 0)
        return 0.0;

    timespec now {};
    ::clock_gettime (clock, &now);
    return (double) now.tv_sec + (double) now.tv_nsec * 1.0e-9;
}

} // namespace vistrel::bridge
