// The desktop application around the plug-in: JUCE's standalone holder and filter window, with
// this program's settings. Built only into the Standalone target, which defines
// JUCE_USE_CUSTOM_PLUGIN_STANDALONE_APP so that JUCE asks this file for the application object.

#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_extra/juce_gui_extra.h>

#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

#include "StandaloneSettings.h"

namespace vistrel
{

/** JUCE's filter window, except that the editor keeps its size when the window loses its title
    bar: the editor removes the bar once it is inside (the page draws its own title area), and
    the window would otherwise hand the bar's height to the editor, which then stores the larger
    size, so that every start would open taller than the last one closed. */
class StandaloneWindow : public juce::StandaloneFilterWindow
{
public:
    using juce::StandaloneFilterWindow::StandaloneFilterWindow;

    void resized() override
    {
        const auto barHeight = getTitleBarHeight();
        const auto change = lastTitleBarHeight - barHeight;
        lastTitleBarHeight = barHeight;

        if (change != 0 && ! isFullScreen() && getHeight() - change > 0)
        {
            setSize (getWidth(), getHeight() - change);   // lays out again through resized()
            return;
        }

        juce::StandaloneFilterWindow::resized();
    }

private:
    int lastTitleBarHeight = getTitleBarHeight();
};

class StandaloneApp : public juce::JUCEApplication
{
public:
    StandaloneApp()
    {
        settings.setStorageParameters (standaloneSettingsOptions (getApplicationName()));
    }

    const juce::String getApplicationName() override    { return JucePlugin_Name; }
    const juce::String getApplicationVersion() override { return JucePlugin_VersionString; }
    bool moreThanOneInstanceAllowed() override          { return true; }
    void anotherInstanceStarted (const juce::String&) override {}

    void initialise (const juce::String&) override
    {
        // Without a display (a server, a build machine) there is nowhere to put a window, but
        // the processor still runs behind the audio device, so the holder is made alone.
        if (juce::Desktop::getInstance().getDisplays().displays.isEmpty())
        {
            holder = std::make_unique<juce::StandalonePluginHolder> (settings.getUserSettings(), false);
            return;
        }

        window = std::make_unique<StandaloneWindow> (
            getApplicationName(),
            juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
            settings.getUserSettings(),
            false);

        window->setVisible (true);
    }

    void shutdown() override
    {
        holder = nullptr;
        window = nullptr;
        settings.saveIfNeeded();
    }

    void systemRequestedQuit() override
    {
        if (holder != nullptr)
            holder->savePluginState();

        if (window != nullptr)
            window->pluginHolder->savePluginState();

        // An open dialog or menu gets the chance to go away before the application does.
        if (juce::ModalComponentManager::getInstance()->cancelAllModalComponents())
        {
            juce::Timer::callAfterDelay (100, []
            {
                if (auto* app = juce::JUCEApplicationBase::getInstance())
                    app->systemRequestedQuit();
            });
            return;
        }

        quit();
    }

private:
    juce::ApplicationProperties settings;
    std::unique_ptr<juce::StandalonePluginHolder> holder;
    std::unique_ptr<StandaloneWindow> window;
};

} // namespace vistrel

juce::JUCEApplicationBase* juce_CreateApplication();
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new vistrel::StandaloneApp();
}
