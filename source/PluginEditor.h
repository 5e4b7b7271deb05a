#pragma once

#include <memory>

#include <juce_audio_processors/juce_audio_processors.h>

#include "PluginProcessor.h"
#include "bridge/BridgedWebView.h"

namespace vistrel::window { struct Calls; }

/** The plug-in's editor: a web view showing the page, the native end of the page's bridge, and
    the 8 ms timer that feeds the page frames, parameter snapshots and the stored UI state. It
    draws almost nothing itself. Everything here runs on the message thread. */
class VistrelAudioProcessorEditor : public juce::AudioProcessorEditor,
                                    private juce::Timer
{
public:
    explicit VistrelAudioProcessorEditor (VistrelAudioProcessor&);
    ~VistrelAudioProcessorEditor() override;

    void parentHierarchyChanged() override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void resized() override;

    static constexpr int kTimerPeriodMs = 8;
    static constexpr int kStandaloneInset = 6;

    /** The web view, for tests and tools that drive the editor. */
    vistrel::BridgedWebView* getWebView() const noexcept { return webView.get(); }
    const juce::File& getUiDir() const noexcept { return uiDir; }
    int getInset() const noexcept { return inset; }
    int getReloadCount() const noexcept { return reloadCount; }

private:
    void timerCallback() override;

    vistrel::BridgedWebView::Options makeWebViewOptions();
    void applyStandaloneWindowStyle();
    juce::DocumentWindow* findDocumentWindow() const;

    VistrelAudioProcessor& processorRef;
    juce::File uiDir;
    bool standalone = false;
    std::unique_ptr<vistrel::BridgedWebView> webView;
    double lastTickMs = 0.0;
    int reloadCount = 0;
    bool windowStyled = false;
    int inset = 0;
    bool windowDragging = false;
    juce::Point<int> windowDragOrigin;

    // The page's window functions work on the drag fields and the window around the editor.
    friend struct vistrel::window::Calls;

    JUCE_DECLARE_WEAK_REFERENCEABLE (VistrelAudioProcessorEditor)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VistrelAudioProcessorEditor)
};
