// Stopping the loopback server: what is queued for a page still reaches it, and a page that does
// not read cannot hold the stop up.

#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "BridgeTestClient.h"
#include "bridge/LoopbackServer.h"

using namespace vistrel;
using namespace vistrel::test;

namespace
{
const std::string kToken = "0123456789abcdef0123456789abcdef";

/** Records the page's connection; the message "hold" keeps the server's thread until released. */
struct HoldingHandler : bridge::ServerHandler
{
    void resourceRequested (std::uint64_t, std::string) override {}

    void messageReceived (bridge::ConnectionId id, std::string_view message) override
    {
        connection.store (id);

        if (message == "hold")
        {
            holding.set_value();
            released.get_future().wait();
        }
    }

    std::atomic<bridge::ConnectionId> connection { 0 };
    std::promise<void> holding, released;
};

struct StoppingServer
{
    explicit StoppingServer (bridge::ServerSettings settings)
        : server (handler, kToken, settings)
    {
        EXPECT_TRUE (server.start());
        const auto port = server.getPort();
        page = std::make_unique<PageSocket> (port, "/" + kToken + "/ws", "http://127.0.0.1:" + std::to_string (port));
        EXPECT_EQ (page->status, 101);
    }

    HoldingHandler handler;
    bridge::LoopbackServer server;
    std::unique_ptr<PageSocket> page;
};
} // namespace

TEST (BridgeServerStop, WhatIsQueuedForAPageReachesItBeforeTheSocketCloses)
{
    bridge::ServerSettings settings;
    settings.stopFlushTime = std::chrono::seconds (20);   // generous: this machine may be busy
    StoppingServer s (settings);

    // With the server's thread held, everything sent now is still waiting when the stop begins.
    auto holding = s.handler.holding.get_future();
    ASSERT_TRUE (s.page->send ("hold"));
    ASSERT_EQ (holding.wait_for (std::chrono::seconds (10)), std::future_status::ready);

    s.server.send (s.handler.connection.load(), bridge::wire::encodeAnswer (7, "bye"));
    s.server.broadcast (bridge::wire::encodeEvent ("vistrel-state", "last state", false));
    s.server.broadcast (bridge::wire::encodeEvent ("vistrel-frame", "{\"t\":1}", true));

    auto stopping = std::async (std::launch::async, [&] { s.server.stop(); });

    // Lets the stop get under way first; were it quicker than that, the messages would simply go
    // out before it and the checks below would hold all the same.
    std::this_thread::sleep_for (std::chrono::milliseconds (100));
    s.handler.released.set_value();

    EXPECT_EQ (s.page->receive().value_or ("(nothing)"), "r 7 s\nbye");
    EXPECT_EQ (s.page->receive().value_or ("(nothing)"), "e s vistrel-state\nlast state");
    EXPECT_EQ (s.page->receive().value_or ("(nothing)"), "e s vistrel-frame\n{\"t\":1}");
    EXPECT_FALSE (s.page->receive().has_value());
    EXPECT_EQ (s.page->lastError, websocket::error::closed);
    EXPECT_EQ (s.page->closeReason().code, websocket::close_code::going_away);

    ASSERT_EQ (stopping.wait_for (std::chrono::seconds (20)), std::future_status::ready);
    EXPECT_EQ (s.server.getNumConnections(), 0);

    // Once stopped, sending does nothing.
    s.server.send (s.handler.connection.load(), bridge::wire::encodeAnswer (8, "late"));
    s.server.broadcast (bridge::wire::encodeEvent ("vistrel-state", "late", false));
}

TEST (BridgeServerStop, APageThatReadsNothingDoesNotHoldTheStopUp)
{
    StoppingServer s (bridge::ServerSettings {});
    ASSERT_TRUE (s.page->send ("hello"));
    ASSERT_TRUE (pumpMessagesUntil ([&] { return s.handler.connection.load() != 0 && s.server.getNumConnections() == 1; }));

    // Far more than the socket buffers take, so that writes are still waiting for the page.
    const auto chunk = juce::String::repeatedString ("x", 1 << 16);

    for (int i = 0; i < 512; ++i)
        s.server.send (s.handler.connection.load(), bridge::wire::encodeEvent ("vistrel-state", chunk, false));

    s.server.send (s.handler.connection.load(), bridge::wire::encodeAnswer (9, "never read"));

    auto stopping = std::async (std::launch::async, [&] { s.server.stop(); });
    ASSERT_EQ (stopping.wait_for (std::chrono::seconds (20)), std::future_status::ready);
    EXPECT_EQ (s.server.getNumConnections(), 0);

    // The page finds the start of what was queued, in order, then the end of the connection.
    EXPECT_EQ (s.page->receive().value_or ("(nothing)"), "e s vistrel-state\n" + chunk.toStdString());

    int more = 0;

    while (more < 600 && s.page->receive())
        ++more;

    EXPECT_LT (more, 600);
    EXPECT_TRUE (s.page->lastError) << "the connection ended";
    EXPECT_NE (s.page->lastError, beast::error::timeout) << "the server left the connection open";
}
