#include "BridgeDispatcher.h"

#include <juce_events/juce_events.h>

#include "RequestGuard.h"

namespace vistrel::bridge
{
namespace
{
    /** The one answer of one call, shared by every copy of its completion. */
    struct PendingAnswer
    {
        PendingAnswer (std::weak_ptr<BridgeDispatcher> d, ConnectionId c, std::uint64_t id, juce::String f)
            : dispatcher (std::move (d)), connection (c), callId (id), function (std::move (f))
        {
        }

        ~PendingAnswer()
        {
            if (! answered.load())
                deliver (wire::encodeFailure (callId, function + ": the native function gave no answer"));
        }

        void deliver (OutboundPtr message)
        {
            if (answered.exchange (true))
                return;

            if (auto d = dispatcher.lock())
                d->getServer().send (connection, std::move (message));
        }

        void answer (const juce::var& value)
        {
            if (! answered.load())
                deliver (wire::encodeAnswer (callId, value));
        }

        void fail (const juce::String& message)
        {
            if (! answered.load())
                deliver (wire::encodeFailure (callId, message));
        }

        const std::weak_ptr<BridgeDispatcher> dispatcher;
        const ConnectionId connection;
        const std::uint64_t callId;
        const juce::String function;
        std::atomic<bool> answered { false };
    };
} // namespace

BridgeDispatcher::BridgeDispatcher (Registry r)
    : registry (std::move (r)),
      server (*this, makeAccessToken(), ServerSettings { registry.nativeIntegration })
{
}

BridgeDispatcher::~BridgeDispatcher()
{
    server.stop();
}

bool BridgeDispatcher::start()
{
    return server.start();
}

void BridgeDispatcher::shutdown()
{
    active.store (false);
    server.stop();
}

void BridgeDispatcher::broadcastEvent (const juce::String& eventId, const juce::var& payload)
{
    server.broadcast (wire::encodeEvent (eventId, payload, registry.lossyEvents.count (eventId) > 0));
}

//==============================================================================
void BridgeDispatcher::resourceRequested (std::uint64_t requestId, std::string path)
{
    juce::MessageManager::callAsync ([weak = weak_from_this(), requestId, path = std::move (path)]
    {
        auto self = weak.lock();

        if (self == nullptr || ! self->active.load())
            return;

        std::optional<HttpResource> answer;

        if (self->registry.resourceProvider != nullptr)
        {
            try
            {
                if (auto resource = self->registry.resourceProvider (juce::String::fromUTF8 (path.data(), (int) path.size())))
                    answer = HttpResource { std::move (resource->data), resource->mimeType.toStdString() };
            }
            catch (...)
            {
                answer.reset();
            }
        }

        self->server.answerRequest (requestId, std::move (answer));
    });
}

void BridgeDispatcher::messageReceived (ConnectionId connection, std::string_view message)
{
    auto inbound = wire::decode (message);

    if (auto* failure = std::get_if<wire::InboundFailure> (&inbound))
    {
        server.send (connection, wire::encodeFailure (failure->callId, failure->message));
        return;
    }

    juce::MessageManager::callAsync ([weak = weak_from_this(), connection, inbound = std::move (inbound)]
    {
        auto self = weak.lock();

        if (self == nullptr || ! self->active.load())
            return;

        if (auto* event = std::get_if<wire::InboundEvent> (&inbound))
            self->dispatchEvent (event->eventId, event->payload);
        else if (auto* call = std::get_if<wire::InboundCall> (&inbound))
            self->dispatchCall (connection, call->callId, call->function, call->args);
    });
}

void BridgeDispatcher::dispatchEvent (const juce::String& eventId, const juce::var& payload)
{
    // An event nobody listens for is not an error: pages may announce more than a host wants.
    const auto it = registry.eventListeners.find (eventId);

    if (it == registry.eventListeners.end())
        return;

    try
    {
        it->second (payload);
    }
    catch (...)
    {
    }
}

void BridgeDispatcher::dispatchCall (ConnectionId connection, std::uint64_t callId,
                                     const juce::String& function, const juce::Array<juce::var>& args)
{
    auto pending = std::make_shared<PendingAnswer> (weak_from_this(), connection, callId, function);
    const auto it = registry.nativeFunctions.find (function);

    if (it == registry.nativeFunctions.end())
    {
        pending->fail ("no native function named " + function);
        return;
    }

    try
    {
        it->second (args, [pending] (juce::var answer) { pending->answer (answer); });
    }
    catch (const std::exception& e)
    {
        pending->fail (function + ": " + e.what());
    }
    catch (...)
    {
        pending->fail (function + ": the native function failed");
    }
}

} // namespace vistrel::bridge
