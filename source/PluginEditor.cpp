#include "PluginEditor.h"

#include "editor/FramePump.h"
#include "editor/KeyForwarding.h"
#include "editor/PageCalls.h"
#include "editor/ParameterSnapshot.h"
#include "editor/UiFolderSearch.h"
#include "editor/UiResourceProvider.h"
#include "editor/WindowCalls.h"
#include "export/ExportHandlers.h"
#include "export/ExportSession.h"

namespace
{
using Args = juce::Array<juce::var>;
using Completion = vistrel::bridge::NativeFunctionCompletion;

/** The handler of a function whose work arrives with a later part of the program. */
void answerVoid (const Args&, Completion completion)
{
    completion (juce::var());
}

// Functions the page may call, in the order they are registered; a null handler answers void.
using Handler = void (*) (VistrelAudioProcessorEditor&, VistrelAudioProcessor&, const Args&, Completion);

void getInit (VistrelAudioProcessorEditor&, VistrelAudioProcessor& p, const Args&, Completion done)
{
    done (vistrel::initAnswerJSON (p));
}

void uiReady (VistrelAudioProcessorEditor&, VistrelAudioProcessor& p, const Args&, Completion done)
{
    p.uiReady.store (true);
    done (juce::var());
}

/** Calls that answer from the processor alone. */
template <juce::var (*Fn) (VistrelAudioProcessor&, const Args&)>
void processorCall (VistrelAudioProcessorEditor&, VistrelAudioProcessor& p, const Args& args, Completion done)
{
    done (Fn (p, args));
}

/** Preset calls work in the processor's preset folder. */
template <juce::var (*Fn) (const juce::File&, const Args&)>
void presetCall (VistrelAudioProcessorEditor&, VistrelAudioProcessor& p, const Args& args, Completion done)
{
    done (Fn (p.presetDir(), args));
}

void listUserPresets (VistrelAudioProcessorEditor&, VistrelAudioProcessor& p, const Args&, Completion done)
{
    done (vistrel::pagecalls::listUserPresets (p.presetDir()));
}

void hostFocus (VistrelAudioProcessorEditor& editor, VistrelAudioProcessor&, const Args&, Completion done)
{
    editor.grabKeyboardFocus();
    done (juce::var());
}

/** The export functions answer from the processor alone. */
template <juce::var (*Fn) (VistrelAudioProcessor&, const Args&)>
void exportCall (VistrelAudioProcessorEditor&, VistrelAudioProcessor& p, const Args& args, Completion done)
{
    done (Fn (p, args));
}

const std::pair<const char*, Handler> kNativeFunctions[] = {
    { "getInit", getInit },
    { "setParam", processorCall<vistrel::pagecalls::setParam> },
    { "saveState", processorCall<vistrel::pagecalls::saveState> },
    { "uiReady", uiReady },
    { "hostFocus", hostFocus },
    { "savePresetFile", presetCall<vistrel::pagecalls::savePresetFile> },
    { "listUserPresets", listUserPresets },
    { "loadUserPreset", presetCall<vistrel::pagecalls::loadUserPreset> },
    { "deletePresetFile", presetCall<vistrel::pagecalls::deletePresetFile> },
    { "beginGesture", processorCall<vistrel::pagecalls::beginGesture> },
    { "endGesture", processorCall<vistrel::pagecalls::endGesture> },
    { "exportProbe", exportCall<vistrel::exportProbe> },
    { "exportAppend", exportCall<vistrel::exportAppend> },
    { "exportAudioStart", exportCall<vistrel::exportAudioStart> },
    { "exportFinish", exportCall<vistrel::exportFinish> },
    { "exportStill", exportCall<vistrel::exportStill> },
    { "windowCanDrag", vistrel::window::Calls::canDrag },
    { "windowDragStart", vistrel::window::Calls::dragStart },
    { "windowDragTo", vistrel::window::Calls::dragTo },
    { "windowDragEnd", vistrel::window::Calls::dragEnd },
    { "windowToggleMax", vistrel::window::Calls::toggleMax },
    { "windowClose", vistrel::window::Calls::close },
    { "windowOptions", vistrel::window::Calls::options },
};
} // namespace

//==============================================================================
VistrelAudioProcessorEditor::VistrelAudioProcessorEditor (VistrelAudioProcessor& p)
    : juce::AudioProcessorEditor (&p), processorRef (p)
{
    uiDir = vistrel::findUiFolder();
    standalone = p.wrapperType == juce::AudioProcessor::wrapperType_Standalone;

    webView = std::make_unique<vistrel::BridgedWebView> (makeWebViewOptions());
    addAndMakeVisible (*webView);
    webView->goToURL (webView->getResourceProviderRoot());

    setWantsKeyboardFocus (true);

    auto w = processorRef.uiWidth.load();
    auto h = processorRef.uiHeight.load();
    setResizable (true, true);
    w = juce::jlimit (VistrelAudioProcessor::kMinUiWidth, VistrelAudioProcessor::kMaxUiWidth, w);
    h = juce::jlimit (VistrelAudioProcessor::kMinUiHeight, VistrelAudioProcessor::kMaxUiHeight, h);
    setResizeLimits (VistrelAudioProcessor::kMinUiWidth, VistrelAudioProcessor::kMinUiHeight,
                     VistrelAudioProcessor::kMaxUiWidth, VistrelAudioProcessor::kMaxUiHeight);
    setSize (w, h);

    lastTickMs = juce::Time::getMillisecondCounterHiRes();
    startTimer (kTimerPeriodMs);
}

VistrelAudioProcessorEditor::~VistrelAudioProcessorEditor()
{
    stopTimer();

    // A gesture the page began must not stay open in the host once the page is gone.
    const auto gestures = processorRef.uiGestures;
    processorRef.uiGestures.clear();

    for (const auto& id : gestures)
        if (auto* param = processorRef.apvts.getParameter (id))
            param->endChangeGesture();

    // Closing the editor ends a recording; its files stay on disk as they are.
    vistrel::exportEditorClosing (processorRef);

    webView.reset();
}

vistrel::BridgedWebView::Options VistrelAudioProcessorEditor::makeWebViewOptions()
{
    auto* editor = this;
    auto& proc = processorRef;

    auto options = vistrel::BridgedWebView::Options {}
                       .withNativeIntegrationEnabled()
                       .withEmbeddedBrowser (vistrel::BridgedWebView::embeddedBrowserWanted())
                       .withLossyEvent (vistrel::events::frame)
                       .withResourceProvider ([editor] (const juce::String& path)
                                              { return vistrel::provideUiResource (editor->uiDir, path); })
                       .withEventListener ("openUrl", [] (const juce::var& payload) { vistrel::pagecalls::openUrlEvent (payload); })
                       .withEventListener ("setParam", [&proc] (const juce::var& payload) { vistrel::pagecalls::setParamEvent (proc, payload); })
                       .withEventListener ("uiHello", [&proc] (const juce::var&) { vistrel::pagecalls::helloEvent (proc); });

    for (const auto& [name, handler] : kNativeFunctions)
    {
        if (handler == nullptr)
        {
            options = options.withNativeFunction (name, answerVoid);
            continue;
        }

        options = options.withNativeFunction (name, [editor, &proc, handler = handler] (const Args& args, Completion done)
        {
            handler (*editor, proc, args, std::move (done));
        });
    }

    return options;
}

//==============================================================================
void VistrelAudioProcessorEditor::timerCallback()
{
    if (webView == nullptr)
        return;

    const auto now = juce::Time::getMillisecondCounterHiRes();
    const auto dt = vistrel::tickIntervalSeconds (now, lastTickMs);
    lastTickMs = now;

    vistrel::pumpFrameAndEvents (processorRef, dt, [this] (const juce::Identifier& id, const juce::var& payload)
    {
        webView->emitEventIfBrowserIsVisible (id, payload);
    });
}

//==============================================================================
void VistrelAudioProcessorEditor::paint (juce::Graphics& g)
{
    if (inset <= 0)
        return;

    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x2E));

    for (const auto d : { 4.0f, 8.0f, 12.0f })
        g.drawLine (w - 1.0f, h - d, w - d, h - 1.0f, 1.0f);
}

bool VistrelAudioProcessorEditor::keyPressed (const juce::KeyPress& key)
{
    const auto action = vistrel::keyActionFor (key);

    switch (action.kind)
    {
        case vistrel::KeyAction::Kind::reloadPage:
            // The changing query keeps the web view from reusing its cached page.
            if (webView != nullptr)
                webView->goToURL (webView->getResourceProviderRoot() + "?r=" + juce::String (++reloadCount));
            return true;

        case vistrel::KeyAction::Kind::forward:
        {
            if (webView == nullptr)
                return false;

            auto payload = std::make_unique<juce::DynamicObject>();
            payload->setProperty ("code", action.code);
            webView->emitEventIfBrowserIsVisible (vistrel::events::key, juce::var (payload.release()));
            return true;
        }

        case vistrel::KeyAction::Kind::ignore:
            break;
    }

    return false;
}

void VistrelAudioProcessorEditor::resized()
{
    if (webView != nullptr)
        webView->setBounds (inset, inset, juce::jmax (0, getWidth() - 2 * inset), juce::jmax (0, getHeight() - 2 * inset));

    if (getWidth() >= VistrelAudioProcessor::kMinUiWidth && getHeight() >= VistrelAudioProcessor::kMinUiHeight)
    {
        processorRef.uiWidth.store (getWidth());
        processorRef.uiHeight.store (getHeight());
    }
}

//==============================================================================
juce::DocumentWindow* VistrelAudioProcessorEditor::findDocumentWindow() const
{
    for (auto* parent = getParentComponent(); parent != nullptr; parent = parent->getParentComponent())
        if (auto* window = dynamic_cast<juce::DocumentWindow*> (parent))
            return window;

    return nullptr;
}

void VistrelAudioProcessorEditor::parentHierarchyChanged()
{
    if (! standalone || windowStyled || findDocumentWindow() == nullptr)
        return;

    windowStyled = true;

    juce::MessageManager::callAsync ([weak = juce::WeakReference<VistrelAudioProcessorEditor> (this)]
    {
        if (auto* editor = weak.get())
            editor->applyStandaloneWindowStyle();
    });
}

void VistrelAudioProcessorEditor::applyStandaloneWindowStyle()
{
    auto* window = findDocumentWindow();

    if (! standalone || window == nullptr)
        return;

    // The page draws the whole window face, title area included.
    window->setUsingNativeTitleBar (false);
    window->setTitleBarHeight (0);
    window->setBackgroundColour (juce::Colours::black);
    window->setResizable (true, false);

    setResizable (true, false);
    inset = kStandaloneInset;
    resized();
    repaint();
}
