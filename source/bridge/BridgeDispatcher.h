#pragma once

#include <memory>

#include "BridgeTypes.h"
#include "LoopbackServer.h"

namespace vistrel::bridge
{

/** Joins the loopback server to the registered handlers.

    Requests and messages arrive on the server thread, are decoded there (so JSON parsing stays
    off the message thread) and run on the message thread in arrival order. Every call gets
    exactly one answer: the handler's, an error when no function has that name or the handler
    throws, or an error when its completion is dropped unanswered. Owned through a shared_ptr;
    the work it posts holds only weak references, so nothing runs after `shutdown`. */
class BridgeDispatcher : public ServerHandler,
                         public std::enable_shared_from_this<BridgeDispatcher>
{
public:
    explicit BridgeDispatcher (Registry);
    ~BridgeDispatcher() override;

    /** Starts the server; false if no loopback port could be bound. */
    bool start();

    /** Message thread: no handler runs after this returns. */
    void shutdown();

    LoopbackServer& getServer() noexcept { return server; }
    const Registry& getRegistry() const noexcept { return registry; }

    /** Encodes once and sends to every connected page. Any thread. */
    void broadcastEvent (const juce::String& eventId, const juce::var& payload);

    // ServerHandler, on the server thread
    void resourceRequested (std::uint64_t requestId, std::string path) override;
    void messageReceived (ConnectionId, std::string_view message) override;

private:
    void dispatchEvent (const juce::String& eventId, const juce::var& payload);
    void dispatchCall (ConnectionId, std::uint64_t callId, const juce::String& function, const juce::Array<juce::var>& args);

    Registry registry;
    LoopbackServer server;
    std::atomic<bool> active { true };
};

} // namespace vistrel::bridge
