// A minimal plug-in host for the browser tests: the real processor and editor in a window, fed
// with a generated signal from an audio thread of its own (there is no audio device in CI).
// Prints "Vistrel e2e host: pages N" whenever the number of connected pages changes, and quits
// cleanly on SIGINT.

#include <cmath>
#include <iostream>

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "PluginEditor.h"
#include "PluginProcessor.h"

namespace
{
constexpr double kSampleRate = 48000.0;
constexpr int kBlockSize = 480;   // 10 ms

/** Plays a 120 BPM pattern into processBlock at the pace of real audio. */
class SignalThread : public juce::Thread
{
public:
    explicit SignalThread (VistrelAudioProcessor& p) : juce::Thread ("e2e audio"), processor (p) {}

    void run() override
    {
        juce::AudioBuffer<float> buffer (2, kBlockSize);
        juce::MidiBuffer midi;
        auto next = juce::Time::getMillisecondCounterHiRes();
        juce::int64 sample = 0;

        while (! threadShouldExit())
        {
            for (int i = 0; i < kBlockSize; ++i, ++sample)
            {
                const auto t = (double) sample / kSampleRate;
                const auto beat = std::fmod (t, 0.5);
                const auto kick = std::exp (-beat * 30.0) * std::sin (2.0 * juce::MathConstants<double>::pi * 55.0 * beat);
                const auto tone = 0.2 * std::sin (2.0 * juce::MathConstants<double>::pi * 440.0 * t);
                const auto hiss = 0.05 * (random.nextDouble() * 2.0 - 1.0);
                buffer.setSample (0, i, (float) (0.6 * kick + tone + hiss));
                buffer.setSample (1, i, (float) (0.6 * kick + 0.8 * tone - hiss));
            }

            processor.processBlock (buffer, midi);
            next += 1000.0 * kBlockSize / kSampleRate;
            const auto remaining = next - juce::Time::getMillisecondCounterHiRes();

            if (remaining > 0)
                wait ((int) remaining);
        }
    }

private:
    VistrelAudioProcessor& processor;
    juce::Random random;
};

class HostWindow : public juce::DocumentWindow
{
public:
    HostWindow() : juce::DocumentWindow ("Vistrel e2e host", juce::Colours::black, 0) {}
    void closeButtonPressed() override { juce::JUCEApplication::quit(); }
};

class E2EHostApp : public juce::JUCEApplication, private juce::Timer
{
public:
    const juce::String getApplicationName() override { return "vistrel_e2e_host"; }
    const juce::String getApplicationVersion() override { return "1.0"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        processor = std::make_unique<VistrelAudioProcessor>();
        processor->setPlayConfigDetails (2, 2, kSampleRate, kBlockSize);
        processor->prepareToPlay (kSampleRate, kBlockSize);

        window = std::make_unique<HostWindow>();
        window->setUsingNativeTitleBar (true);
        window->setContentNonOwned (processor->createEditorIfNeeded(), true);
        window->setTopLeftPosition (0, 0);
        window->setVisible (true);

        signal = std::make_unique<SignalThread> (*processor);
        signal->startThread (juce::Thread::Priority::highest);
        startTimer (50);
    }

    void shutdown() override
    {
        stopTimer();
        signal->stopThread (2000);

        if (auto* editor = processor->getActiveEditor())
        {
            window->clearContentComponent();
            delete editor;
        }

        window.reset();
        processor->releaseResources();
        processor.reset();
        std::cout << "Vistrel e2e host: clean exit" << std::endl;
    }

    void systemRequestedQuit() override { quit(); }
    void anotherInstanceStarted (const juce::String&) override {}

private:
    void timerCallback() override
    {
        auto* editor = dynamic_cast<VistrelAudioProcessorEditor*> (processor->getActiveEditor());

        if (editor == nullptr || editor->getWebView() == nullptr)
            return;

        const auto pages = editor->getWebView()->getNumConnectedPages();

        if (pages != reportedPages)
        {
            reportedPages = pages;
            std::cout << "Vistrel e2e host: pages " << pages << std::endl;
        }
    }

    std::unique_ptr<VistrelAudioProcessor> processor;
    std::unique_ptr<HostWindow> window;
    std::unique_ptr<SignalThread> signal;
    int reportedPages = 0;
};
} // namespace

// The library is built as a plug-in, where START_JUCE_APPLICATION is refused; this is its body.
int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return new E2EHostApp(); };
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
