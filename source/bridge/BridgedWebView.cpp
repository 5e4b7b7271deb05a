#include "BridgedWebView.h"

#include <iostream>

#include "BridgeDispatcher.h"

namespace vistrel
{
namespace
{
    constexpr int kShowingCheckMs = 50;
    const juce::Colour kBackground { 0xff060809 };
} // namespace

//==============================================================================
BridgedWebView::Options BridgedWebView::Options::withNativeIntegrationEnabled (bool enabled) const
{
    auto copy = *this;
    copy.registry.nativeIntegration = enabled;
    return copy;
}

BridgedWebView::Options BridgedWebView::Options::withResourceProvider (bridge::ResourceProvider provider) const
{
    auto copy = *this;
    copy.registry.resourceProvider = std::move (provider);
    return copy;
}

BridgedWebView::Options BridgedWebView::Options::withEventListener (const juce::Identifier& eventId,
                                                                    bridge::NativeEventListener listener) const
{
    auto copy = *this;
    copy.registry.eventListeners[eventId.toString()] = std::move (listener);
    copy.registry.eventOrder.addIfNotAlreadyThere (eventId.toString());
    return copy;
}

BridgedWebView::Options BridgedWebView::Options::withNativeFunction (const juce::Identifier& name,
                                                                     bridge::NativeFunction function) const
{
    auto copy = *this;
    copy.registry.nativeFunctions[name.toString()] = std::move (function);
    copy.registry.functionOrder.addIfNotAlreadyThere (name.toString());
    return copy;
}

BridgedWebView::Options BridgedWebView::Options::withLossyEvent (const juce::Identifier& eventId) const
{
    auto copy = *this;
    copy.registry.lossyEvents.insert (eventId.toString());
    return copy;
}

BridgedWebView::Options BridgedWebView::Options::withKeepPageLoadedWhenBrowserIsHidden() const
{
    auto copy = *this;
    copy.keepPageLoaded = true;
    return copy;
}

BridgedWebView::Options BridgedWebView::Options::withEmbeddedBrowser (bool shouldEmbed) const
{
    auto copy = *this;
    copy.embedded = shouldEmbed;
    return copy;
}

//==============================================================================
bool BridgedWebView::embeddedBrowserWanted()
{
    return juce::SystemStats::getEnvironmentVariable ("VISTREL_NO_WEBVIEW", {}).trim() != "1";
}

BridgedWebView::BridgedWebView (const Options& options)
    : embedded (options.embedsBrowser()),
      keepPageLoaded (options.keepsPageLoadedWhenHidden()),
      dispatcher (std::make_shared<bridge::BridgeDispatcher> (options.getRegistry()))
{
    setOpaque (true);
    dispatcher->start();

    if (embedded)
        startTimer (kShowingCheckMs);
}

BridgedWebView::~BridgedWebView()
{
    stopTimer();
    dispatcher->shutdown();
    browser.reset();
}

juce::String BridgedWebView::getResourceProviderRoot() const
{
    const auto& server = dispatcher->getServer();
    return server.getPort() > 0 ? juce::String (server.rootAddress()) : juce::String();
}

bridge::LoopbackServer& BridgedWebView::getServer() const
{
    return dispatcher->getServer();
}

const bridge::Registry& BridgedWebView::getRegistry() const
{
    return dispatcher->getRegistry();
}

int BridgedWebView::getNumConnectedPages() const
{
    return dispatcher->getServer().getNumConnections();
}

void BridgedWebView::goToURL (const juce::String& url)
{
    currentUrl = url;

    if (! embedded)
    {
        // The one line a person or a test harness looks for to open the page elsewhere.
        std::cout << "Vistrel page: " << url << std::endl;
        repaint();
        return;
    }

    if (browser != nullptr && ! pageUnloaded)
        browser->goToURL (url);
}

void BridgedWebView::refresh()
{
    if (browser != nullptr && ! pageUnloaded)
        browser->refresh();
}

void BridgedWebView::emitEventIfBrowserIsVisible (const juce::Identifier& eventId, const juce::var& payload)
{
    if (dispatcher->getServer().getNumConnections() == 0)
        return;

    if (embedded && ! isShowing())
        return;

    dispatcher->broadcastEvent (eventId.toString(), payload);
}

void BridgedWebView::paint (juce::Graphics& g)
{
    g.fillAll (kBackground);

    if (! embedded)
    {
        g.setColour (juce::Colour (0xffc8d0d4));
        g.setFont (13.0f);
        g.drawFittedText ("The page is shown in an outside browser at\n" + currentUrl,
                          getLocalBounds().reduced (24), juce::Justification::centred, 4);
    }
}

void BridgedWebView::resized()
{
    if (browser != nullptr)
        browser->setBounds (getLocalBounds());
}

void BridgedWebView::timerCallback()
{
    const auto showing = isShowing();

    if (browser == nullptr)
    {
        if (showing)
            createBrowser();

        return;
    }

    if (keepPageLoaded)
        return;

    // JUCE's Linux browser keeps its page while hidden; unloading it stops the page's work.
    if (! showing && ! pageUnloaded)
    {
        browser->goToURL ("about:blank");
        pageUnloaded = true;
    }
    else if (showing && pageUnloaded)
    {
        pageUnloaded = false;

        if (currentUrl.isNotEmpty())
            browser->goToURL (currentUrl);
    }
}

void BridgedWebView::createBrowser()
{
    browser = std::make_unique<juce::WebBrowserComponent> (juce::WebBrowserComponent::Options {}
                                                               .withKeepPageLoadedWhenBrowserIsHidden());
    addAndMakeVisible (*browser);
    browser->setBounds (getLocalBounds());

    if (currentUrl.isNotEmpty())
        browser->goToURL (currentUrl);
}

} // namespace vistrel
