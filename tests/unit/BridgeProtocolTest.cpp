// The bridge's server and socket protocol, spoken by a client in the page's place.

#include <algorithm>
#include <fstream>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sstream>

#include <gtest/gtest.h>

#include "BridgeTestClient.h"
#include "bridge/BridgedWebView.h"
#include "bridge/LoopbackServer.h"

using namespace vistrel;
using namespace vistrel::test;

namespace
{
class BridgeProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        uiDir = juce::File::createTempFile ("vistrel-bridge-ui");
        uiDir.createDirectory();
        uiDir.getChildFile ("index.html").replaceWithText ("<html>page</html>");
        view = makeView (false);
    }

    void TearDown() override
    {
        view.reset();
        uiDir.deleteRecursively();
    }

    std::unique_ptr<BridgedWebView> makeView (bool embedded)
    {
        auto options = BridgedWebView::Options {}
                           .withNativeIntegrationEnabled()
                           .withEmbeddedBrowser (embedded)
                           .withLossyEvent ("vistrel-frame")
                           .withResourceProvider ([this] (const juce::String& path) -> std::optional<bridge::Resource>
                           {
                               ++resourceCalls;
                               requestedPaths.add (path);
                               auto name = path.upToFirstOccurrenceOf ("?", false, false).substring (1);
                               const auto file = uiDir.getChildFile (name.isEmpty() ? "index.html" : name);

                               if (! file.existsAsFile())
                                   return std::nullopt;

                               juce::MemoryBlock data;
                               file.loadFileAsData (data);
                               const auto* bytes = static_cast<const std::byte*> (data.getData());
                               return bridge::Resource { { bytes, bytes + data.getSize() }, "text/html" };
                           })
                           .withEventListener ("note", [this] (const juce::var& payload)
                           {
                               ++handlerCalls;
                               notes.add (payload);
                           })
                           .withNativeFunction ("echo", [this] (const juce::Array<juce::var>& args, bridge::NativeFunctionCompletion done)
                           {
                               ++handlerCalls;
                               done (juce::var (args));
                           })
                           .withNativeFunction ("lengths", [this] (const juce::Array<juce::var>& args, bridge::NativeFunctionCompletion done)
                           {
                               ++handlerCalls;
                               juce::StringArray lengths;
                               for (const auto& arg : args)
                                   lengths.add (juce::String (arg.toString().length()));
                               done (lengths.joinIntoString (","));
                           })
                           .withNativeFunction ("twice", [this] (const juce::Array<juce::var>&, bridge::NativeFunctionCompletion done)
                           {
                               ++handlerCalls;
                               done ("first");
                               done ("second");
                           })
                           .withNativeFunction ("later", [this] (const juce::Array<juce::var>&, bridge::NativeFunctionCompletion done)
                           {
                               ++handlerCalls;
                               std::thread ([done]
                               {
                                   std::this_thread::sleep_for (std::chrono::milliseconds (20));
                                   done ("late");
                               }).detach();
                           })
                           .withNativeFunction ("silent", [this] (const juce::Array<juce::var>&, bridge::NativeFunctionCompletion)
                           {
                               ++handlerCalls;
                           })
                           .withNativeFunction ("throws", [this] (const juce::Array<juce::var>&, bridge::NativeFunctionCompletion)
                           {
                               ++handlerCalls;
                               throw std::runtime_error ("boom");
                           })
                           .withNativeFunction ("nothing", [this] (const juce::Array<juce::var>&, bridge::NativeFunctionCompletion done)
                           {
                               ++handlerCalls;
                               done (juce::var());
                           });

        return std::make_unique<BridgedWebView> (options);
    }

    int port() const { return view->getServer().getPort(); }
    std::string token() const { return view->getServer().getToken(); }
    std::string root() const { return "/" + token() + "/"; }
    std::string socketTarget() const { return root() + "ws"; }
    std::string ownOrigin() const { return "http://127.0.0.1:" + std::to_string (port()); }

    std::unique_ptr<PageSocket> openPage()
    {
        auto page = std::make_unique<PageSocket> (port(), socketTarget(), ownOrigin());
        EXPECT_EQ (page->status, 101);
        EXPECT_TRUE (pumpMessagesUntil ([&] { return view->getNumConnectedPages() > 0; }));
        return page;
    }

    /** Sends the messages, then reads the replies up to and including `count` of them. */
    std::vector<std::string> exchange (PageSocket& page, const std::vector<std::string>& messages, size_t count)
    {
        return whilePumping ([&]
        {
            for (const auto& m : messages)
                page.send (m);

            std::vector<std::string> replies;

            while (replies.size() < count)
            {
                auto reply = page.receive();

                if (! reply)
                    break;

                replies.push_back (*reply);
            }

            return replies;
        });
    }

    juce::File uiDir;
    std::unique_ptr<BridgedWebView> view;
    int resourceCalls = 0, handlerCalls = 0;
    juce::StringArray requestedPaths;
    juce::Array<juce::var> notes;
};

/** The listening sockets of this process's network namespace, as "address:port" in hex. */
std::vector<std::string> listeningEntriesForPort (int port)
{
    std::vector<std::string> entries;

    for (const auto* table : { "/proc/net/tcp", "/proc/net/tcp6" })
    {
        std::ifstream in (table);
        std::string line;
        std::getline (in, line);

        while (std::getline (in, line))
        {
            std::istringstream fields (line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            const auto colon = local.rfind (':');

            if (state == "0A" && std::stoi (local.substr (colon + 1), nullptr, 16) == port)
                entries.push_back (local);
        }
    }

    return entries;
}
} // namespace

TEST_F (BridgeProtocolTest, ListensOnTheLoopbackAddressOnly)
{
    ASSERT_GT (port(), 0);
    char expected[32];
    std::snprintf (expected, sizeof (expected), "0100007F:%04X", port());
    EXPECT_EQ (listeningEntriesForPort (port()), std::vector<std::string> { expected });
    EXPECT_EQ (token().size(), 32u);   // 128 bits
    EXPECT_EQ (view->getResourceProviderRoot().toStdString(), ownOrigin() + root());
}

TEST_F (BridgeProtocolTest, ItsSocketsAreClosedInChildProcesses)
{
    // The embedded browser forks a GTK child: a listening or accepted socket it inherited would
    // keep the port, and a page's connection, alive after the editor closed them.
    auto page = openPage();
    int serverSockets = 0;

    for (int fd = 0; fd < 4096; ++fd)
    {
        sockaddr_in local {};
        socklen_t length = sizeof (local);

        if (::fcntl (fd, F_GETFD) < 0 || ::getsockname (fd, reinterpret_cast<sockaddr*> (&local), &length) != 0)
            continue;

        if (local.sin_family != AF_INET || ntohs (local.sin_port) != port())
            continue;

        ++serverSockets;
        EXPECT_NE (::fcntl (fd, F_GETFD) & FD_CLOEXEC, 0) << "socket " << fd;
    }

    EXPECT_EQ (serverSockets, 2);   // the listener and the page's accepted connection
}

TEST_F (BridgeProtocolTest, ServesPageFilesBelowTheTokenAndNothingElse)
{
    const auto page = whilePumping ([&] { return httpRequest (port(), { "GET", root(), {}, {}, false }); });
    EXPECT_EQ (page.status, 200);
    EXPECT_EQ (page.body, "<html>page</html>");
    EXPECT_EQ (page.contentType, "text/html");
    EXPECT_EQ (page.message.count ("Access-Control-Allow-Origin"), 0u);
    EXPECT_EQ (page.message[http::field::cache_control], "no-store");

    const auto withQuery = whilePumping ([&] { return httpRequest (port(), { "GET", root() + "index.html?v=3", {}, {}, false }); });
    EXPECT_EQ (withQuery.status, 200);

    const auto missing = whilePumping ([&] { return httpRequest (port(), { "GET", root() + "missing.js", {}, {}, false }); });
    EXPECT_EQ (missing.status, 404);

    EXPECT_EQ (requestedPaths, juce::StringArray ({ "/", "/index.html?v=3", "/missing.js" }));
}

TEST_F (BridgeProtocolTest, RefusesEveryRequestWithoutTheRightCredentialsBeforeAnyHandlerRuns)
{
    const auto wrongToken = std::string (32, 'a');
    const auto otherPort = "127.0.0.1:" + std::to_string (port() + 1);

    struct Case
    {
        const char* what;
        HttpRequestShape shape;
        int status;
    };

    const Case cases[] = {
        { "no token", { "GET", "/", {}, {}, false }, 404 },
        { "no token, file path", { "GET", "/index.html", {}, {}, false }, 404 },
        { "wrong token", { "GET", "/" + wrongToken + "/", {}, {}, false }, 404 },
        { "token without its slash", { "GET", "/" + token(), {}, {}, false }, 404 },
        { "token cut short", { "GET", "/" + token().substr (0, 31) + "/", {}, {}, false }, 404 },
        { "host named localhost", { "GET", root(), "localhost:" + std::to_string (port()), {}, false }, 400 },
        { "host on another port", { "GET", root(), otherPort, {}, false }, 400 },
        { "foreign host (DNS rebinding)", { "GET", root(), std::string ("evil.example"), {}, false }, 400 },
        { "empty host", { "GET", root(), std::string(), {}, false }, 400 },
        { "POST", { "POST", root(), {}, {}, false }, 405 },
        { "upgrade without token", { "GET", "/ws", {}, ownOrigin(), true }, 404 },
        { "upgrade with wrong token", { "GET", "/" + wrongToken + "/ws", {}, ownOrigin(), true }, 404 },
        { "upgrade elsewhere", { "GET", root() + "other", {}, ownOrigin(), true }, 404 },
        { "upgrade from a foreign origin", { "GET", socketTarget(), {}, std::string ("http://evil.example"), true }, 403 },
        { "upgrade from a null origin", { "GET", socketTarget(), {}, std::string ("null"), true }, 403 },
        { "upgrade from another loopback port", { "GET", socketTarget(), {}, "http://" + otherPort, true }, 403 },
        { "upgrade with a foreign host", { "GET", socketTarget(), std::string ("evil.example"), ownOrigin(), true }, 400 },
    };

    for (const auto& c : cases)
    {
        const auto reply = whilePumping ([&] { return httpRequest (port(), c.shape); });
        EXPECT_EQ (reply.status, c.status) << c.what;
        EXPECT_EQ (reply.message.count ("Access-Control-Allow-Origin"), 0u) << c.what;
    }

    pumpMessagesFor (std::chrono::milliseconds (20));
    EXPECT_EQ (resourceCalls, 0);
    EXPECT_EQ (handlerCalls, 0);
    EXPECT_EQ (view->getNumConnectedPages(), 0);
}

TEST_F (BridgeProtocolTest, OpensTheSocketForItsOwnOriginOrAToolWithoutOne)
{
    PageSocket fromPage (port(), socketTarget(), ownOrigin());
    PageSocket fromTool (port(), socketTarget(), std::nullopt);
    EXPECT_EQ (fromPage.status, 101);
    EXPECT_EQ (fromTool.status, 101);
    EXPECT_TRUE (pumpMessagesUntil ([&] { return view->getNumConnectedPages() == 2; }));
}

TEST_F (BridgeProtocolTest, EventsTravelBothWaysWithTheirPayloadsIntact)
{
    auto page = openPage();
    auto secondPage = openPage();
    EXPECT_TRUE (pumpMessagesUntil ([&] { return view->getNumConnectedPages() == 2; }));

    whilePumping ([&]
    {
        page->send ("e j note\n{\"id\":\"hue\",\"v\":0.25}");
        page->send ("e s note\nline one\nline \"two\"");
        page->send ("e u note");
        page->send ("e j note\n42");
        return 0;
    });
    ASSERT_TRUE (pumpMessagesUntil ([&] { return notes.size() == 4; }));
    EXPECT_EQ (notes[0].getProperty ("id", {}).toString(), "hue");
    EXPECT_DOUBLE_EQ ((double) notes[0].getProperty ("v", {}), 0.25);
    EXPECT_EQ (notes[1].toString(), "line one\nline \"two\"");
    EXPECT_TRUE (notes[2].isVoid());
    EXPECT_EQ ((int) notes[3], 42);

    const juce::String frame ("{\"t\":1,\"quote\":\"a\\\"b\"}");
    auto key = std::make_unique<juce::DynamicObject>();
    key->setProperty ("code", "KeyA");
    view->emitEventIfBrowserIsVisible ("vistrel-frame", frame);
    view->emitEventIfBrowserIsVisible ("vistrel-key", juce::var (key.release()));

    for (auto* p : { page.get(), secondPage.get() })
    {
        const auto received = whilePumping ([&]
        {
            auto first = p->receive();
            return std::make_pair (first, p->receive());
        });
        EXPECT_EQ (received.first.value_or (""), "e s vistrel-frame\n" + frame.toStdString());
        EXPECT_EQ (received.second.value_or (""), "e j vistrel-key\n{\"code\": \"KeyA\"}");
    }
}

TEST_F (BridgeProtocolTest, EveryCallGetsExactlyOneAnswer)
{
    auto page = openPage();
    const auto replies = exchange (*page, {
        "c 1 twice\n[]",
        "c 2 echo\n[\"a\",1.5,null,{\"k\":[1]}]",
        "c 3 later\n[]",
        "c 4 silent\n[]",
        "c 5 throws\n[]",
        "c 6 nothing",
    }, 6);

    // The late answer comes from another thread, so where it falls among the others is up to
    // the scheduler: compare without order.
    auto sorted = replies;
    std::sort (sorted.begin(), sorted.end());
    const std::vector<std::string> expected {
        "r 1 s\nfirst",
        "r 2 j\n[\"a\", 1.5, null, {\"k\": [1]}]",
        "r 3 s\nlate",
        "r 6 u\n",
        "x 4\nsilent: the native function gave no answer",
        "x 5\nthrows: boom",
    };
    EXPECT_EQ (sorted, expected);

    // Anything a second answer had sent would arrive before this one.
    const auto sentinel = exchange (*page, { "c 7 nothing\n[]" }, 1);
    EXPECT_EQ (sentinel, std::vector<std::string> { "r 7 u\n" });
}

TEST_F (BridgeProtocolTest, AnUnknownFunctionIsAnsweredWithAnError)
{
    auto page = openPage();
    const auto replies = exchange (*page, { "c 9 noSuchThing\n[1,2]" }, 1);
    EXPECT_EQ (replies, std::vector<std::string> { "x 9\nno native function named noSuchThing" });
    EXPECT_EQ (handlerCalls, 0);
}

TEST_F (BridgeProtocolTest, MalformedMessagesAreAnsweredAndTheConnectionSurvives)
{
    struct Case
    {
        std::string message, replyStart;
    };

    const Case cases[] = {
        { "hello", "x 0\nunknown message type" },
        { "", "x 0\nunknown message type" },
        { "c zero echo\n[]", "x 0\nmalformed call header" },
        { "c 0 echo\n[]", "x 0\nmalformed call header" },
        { "c 99999999999999999 echo\n[]", "x 0\nmalformed call header" },
        { "c 5 echo\n{\"not\":\"an array\"}", "x 5\necho: arguments are not a JSON array" },
        { "c 6 echo\n[1, 2", "x 6\necho: arguments are not a JSON array" },
        { "c 7 echo t\nno newline", "x 7\necho: arguments are not a JSON array" },
        { "c 8 echo q\n[]", "x 8\necho: unknown argument form" },
        { "c 9\n[]", "x 9\nmalformed call header" },
        { "e q note\nx", "x 0\nevent note: unknown payload kind" },
        { "e j note\n{bad", "x 0\nevent note: payload is not valid JSON" },
        { "e j\n{}", "x 0\nmalformed event header" },
        { "e s two words\nx", "x 0\nmalformed event header" },
    };

    auto page = openPage();

    for (const auto& c : cases)
    {
        const auto replies = exchange (*page, { c.message }, 1);
        ASSERT_EQ (replies.size(), 1u) << c.message;
        EXPECT_EQ (replies[0].rfind (c.replyStart, 0), 0u) << c.message << " -> " << replies[0];
    }

    const auto binary = whilePumping ([&]
    {
        beast::error_code ec;
        page->ws.binary (true);
        page->ws.async_write (asio::buffer (std::string ("c 1 echo\n[]")), [&] (beast::error_code e, std::size_t) { ec = e; });
        runClient (page->ioc);
        return page->receive();
    });
    EXPECT_EQ (binary.value_or (""), "x 0\nbinary messages are not accepted");

    EXPECT_EQ (exchange (*page, { "c 10 echo\n[true]" }, 1), std::vector<std::string> { "r 10 j\n[true]" });
    EXPECT_EQ (handlerCalls, 1);
    EXPECT_TRUE (notes.isEmpty());
}

TEST_F (BridgeProtocolTest, AMessageOverTheLimitClosesThatSocketAndNothingElse)
{
    auto page = openPage();
    const bridge::ServerSettings settings;
    const auto oversized = "c 1 lengths t\n[]\n" + std::string (settings.maxInboundMessageBytes, 'A');

    const auto reply = whilePumping ([&]
    {
        page->send (oversized);
        return page->receive();
    });

    EXPECT_FALSE (reply.has_value());
    EXPECT_TRUE (pumpMessagesUntil ([&] { return view->getNumConnectedPages() == 0; }));
    EXPECT_EQ (handlerCalls, 0);

    auto next = openPage();
    EXPECT_EQ (exchange (*next, { "c 2 echo\n[]" }, 1), std::vector<std::string> { "r 2 j\n[]" });
}

TEST_F (BridgeProtocolTest, ALongLastStringTravelsRawAndArrivesWhole)
{
    auto page = openPage();
    const std::string chunk (1 << 20, 'Q');
    const auto replies = exchange (*page, { "c 3 lengths t\n[\"clip\"]\n" + chunk, "c 4 lengths t\n[]\n" }, 2);
    EXPECT_EQ (replies, (std::vector<std::string> { "r 3 s\n4," + std::to_string (chunk.size()), "r 4 s\n0" }));
}

TEST_F (BridgeProtocolTest, EventsAreDroppedNotQueuedWhileNoPageIsConnectedOrTheViewIsHidden)
{
    view->emitEventIfBrowserIsVisible ("vistrel-state", "before any page");
    auto page = openPage();
    view->emitEventIfBrowserIsVisible ("vistrel-state", "after");
    EXPECT_EQ (whilePumping ([&] { return page->receive(); }).value_or (""), "e s vistrel-state\nafter");

    // A view meant to show its page in an embedded browser sends nothing while it is not on screen.
    auto hidden = makeView (true);
    PageSocket hiddenPage (hidden->getServer().getPort(), "/" + hidden->getServer().getToken() + "/ws", std::nullopt);
    ASSERT_TRUE (pumpMessagesUntil ([&] { return hidden->getNumConnectedPages() == 1; }));
    EXPECT_FALSE (hidden->isShowing());
    hidden->emitEventIfBrowserIsVisible ("vistrel-state", "while hidden");
    const auto next = whilePumping ([&]
    {
        hiddenPage.send ("c 1 nothing\n[]");
        return hiddenPage.receive();
    });
    EXPECT_EQ (next.value_or (""), "r 1 u\n");
    EXPECT_FALSE (hidden->isBrowserCreated());
}

TEST_F (BridgeProtocolTest, APageThatFallsBehindLosesOldFramesButNoOtherEvent)
{
    auto page = openPage();
    const juce::String padding = juce::String::repeatedString ("x", 1800);
    constexpr int frames = 20000;

    for (int i = 1; i <= frames; ++i)
    {
        view->emitEventIfBrowserIsVisible ("vistrel-frame", juce::String (i) + padding);

        if (i % 5000 == 0)
            view->emitEventIfBrowserIsVisible ("vistrel-params", juce::String (i));
    }

    view->emitEventIfBrowserIsVisible ("vistrel-state", "end");

    const auto received = whilePumping ([&]
    {
        std::vector<std::string> messages;

        for (;;)
        {
            auto message = page->receive();

            if (! message)
                break;

            messages.push_back (*message);

            if (*message == "e s vistrel-state\nend")
                break;
        }

        return messages;
    });

    std::vector<std::string> params;
    int framesReceived = 0, lastFrame = 0;

    for (const auto& m : received)
    {
        if (m.rfind ("e s vistrel-params\n", 0) == 0)
            params.push_back (m.substr (19));

        if (m.rfind ("e s vistrel-frame\n", 0) == 0)
        {
            ++framesReceived;
            const auto number = std::stoi (m.substr (18));
            EXPECT_GT (number, lastFrame);
            lastFrame = number;
        }
    }

    EXPECT_EQ (params, (std::vector<std::string> { "5000", "10000", "15000", "20000" }));
    ASSERT_FALSE (received.empty());
    EXPECT_EQ (received.back(), "e s vistrel-state\nend");
    EXPECT_EQ (lastFrame, frames);   // the newest frame always survives
    EXPECT_LT (framesReceived, frames);
    EXPECT_EQ ((std::uint64_t) (frames - framesReceived), view->getServer().getNumDroppedMessages());
}
