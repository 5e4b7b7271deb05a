#pragma once

#include <memory>

#include <juce_gui_extra/juce_gui_extra.h>

#include "BridgeTypes.h"

namespace vistrel
{

namespace bridge
{
    class BridgeDispatcher;
    class LoopbackServer;
}

/** A web view with native integration: a resource provider, event listeners and native
    functions by name, and emit-if-visible.

    The page is served by a loopback HTTP + WebSocket server of its own (see bridge/), and shown
    in JUCE's WebBrowserComponent, which is made only once this component is first on screen:
    it forks a GTK child and blocks for a second or two, which neither a plug-in scan nor a
    build helper without a display should pay. Without the embedded browser (VISTREL_NO_WEBVIEW=1)
    the page is opened by any browser at the printed address. Handlers run on the message thread. */
class BridgedWebView : public juce::Component,
                       private juce::Timer
{
public:
    class Options
    {
    public:
        [[nodiscard]] Options withNativeIntegrationEnabled (bool enabled = true) const;
        [[nodiscard]] Options withResourceProvider (bridge::ResourceProvider) const;
        [[nodiscard]] Options withEventListener (const juce::Identifier& eventId, bridge::NativeEventListener) const;
        [[nodiscard]] Options withNativeFunction (const juce::Identifier& name, bridge::NativeFunction) const;

        /** Events of this ID may be dropped, oldest first, when a page reads too slowly. */
        [[nodiscard]] Options withLossyEvent (const juce::Identifier& eventId) const;

        [[nodiscard]] Options withKeepPageLoadedWhenBrowserIsHidden() const;

        /** Off: no browser is embedded; the page address is printed for an outside browser. */
        [[nodiscard]] Options withEmbeddedBrowser (bool embedded) const;

        const bridge::Registry& getRegistry() const noexcept { return registry; }
        bool keepsPageLoadedWhenHidden() const noexcept { return keepPageLoaded; }
        bool embedsBrowser() const noexcept { return embedded; }

    private:
        bridge::Registry registry;
        bool keepPageLoaded = false;
        bool embedded = true;
    };

    /** False when the environment asks for no embedded browser (VISTREL_NO_WEBVIEW=1). */
    static bool embeddedBrowserWanted();

    explicit BridgedWebView (const Options&);
    ~BridgedWebView() override;

    /** The page's root address, "http://127.0.0.1:<port>/<token>/"; empty if no port could be bound. */
    juce::String getResourceProviderRoot() const;

    void goToURL (const juce::String& url);

    /** The address last navigated to. */
    const juce::String& getCurrentURL() const noexcept { return currentUrl; }
    void refresh();

    /** Sends an event to every connected page, or drops it while the component is not showing
        (with an embedded browser) or no page is connected. Message thread. */
    void emitEventIfBrowserIsVisible (const juce::Identifier& eventId, const juce::var& payload);

    int getNumConnectedPages() const;
    bool isBrowserCreated() const noexcept { return browser != nullptr; }

    /** The server, for measurements. */
    bridge::LoopbackServer& getServer() const;

    /** What the page can reach, as registered. */
    const bridge::Registry& getRegistry() const;

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    void timerCallback() override;
    void createBrowser();

    const bool embedded, keepPageLoaded;
    std::shared_ptr<bridge::BridgeDispatcher> dispatcher;
    std::unique_ptr<juce::WebBrowserComponent> browser;
    juce::String currentUrl;
    bool pageUnloaded = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BridgedWebView)
};

} // namespace vistrel
