// A minimal plug-in host for the browser tests: the real processor and editor in a window, fed
// with a generated signal from an audio thread of its own (there is no audio device in CI).
// Prints "Vistrel e2e host: pages N" whenever the number of connected pages changes, and quits
// cleanly on SIGINT.
//
// It also reports what a host would see of the plug-in's parameters, one line each:
//   Vistrel e2e host: gesture-begin <id>
//   Vistrel e2e host: param <id> <value in the parameter's own units>
//   Vistrel e2e host: gesture-end <id>
// and takes commands on standard input, one a line (anything else is reported on stderr):
//   set <id> <value>   sets a parameter in its own units as host automation does (not echoed
//                      as a param line, just as a host hears nothing back of its own automation);
//                      answered with "Vistrel e2e host: set <id> <value>"
//   silent <0|1>       feeds silence instead of the pattern; answered "Vistrel e2e host: silent N"
//   ui-state           prints "Vistrel e2e host: ui-state <the page's stored UI state>"

#include <atomic>
#include <cmath>
#include <iostream>
#include <string>

#include <poll.h>
#include <unistd.h>

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
            const auto quiet = silent.load();

            for (int i = 0; i < kBlockSize; ++i, ++sample)
            {
                if (quiet)
                {
                    buffer.setSample (0, i, 0.0f);
                    buffer.setSample (1, i, 0.0f);
                    continue;
                }

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

    std::atomic<bool> silent { false };

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

class E2EHostApp : public juce::JUCEApplication,
                   private juce::Timer,
                   private juce::AudioProcessorListener
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

        processor->addListener (this);

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
        processor->removeListener (this);
        processor->releaseResources();
        processor.reset();
        std::cout << "Vistrel e2e host: clean exit" << std::endl;
    }

    void systemRequestedQuit() override { quit(); }
    void anotherInstanceStarted (const juce::String&) override {}

private:
    void timerCallback() override
    {
        readCommands();

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

    static void report (const juce::String& line) { std::cout << "Vistrel e2e host: " << line << std::endl; }

    juce::String idOf (int index) const
    {
        if (auto* param = dynamic_cast<juce::RangedAudioParameter*> (processor->getParameters()[index]))
            return param->getParameterID();
        return "#" + juce::String (index);
    }

    // The plug-in's edits as a host hears them; these arrive on the message thread here.
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float normalised) override
    {
        if (applyingAutomation)
            return;

        auto* param = dynamic_cast<juce::RangedAudioParameter*> (processor->getParameters()[index]);
        report ("param " + idOf (index) + " " + juce::String (param != nullptr ? param->convertFrom0to1 (normalised) : normalised));
    }

    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override { report ("gesture-begin " + idOf (index)); }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override { report ("gesture-end " + idOf (index)); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    /** Takes whatever whole lines standard input holds, without ever waiting for more. */
    void readCommands()
    {
        if (stdinClosed)
            return;

        pollfd fd { STDIN_FILENO, POLLIN, 0 };

        while (::poll (&fd, 1, 0) > 0)
        {
            char chunk[512];
            const auto n = ::read (STDIN_FILENO, chunk, sizeof (chunk));

            if (n <= 0)
            {
                stdinClosed = true;
                break;
            }

            pendingInput.append (chunk, (size_t) n);
        }

        for (auto end = pendingInput.find ('\n'); end != std::string::npos; end = pendingInput.find ('\n'))
        {
            const auto line = juce::String::fromUTF8 (pendingInput.data(), (int) end).trim();
            pendingInput.erase (0, end + 1);

            if (line.isNotEmpty())
                runCommand (line);
        }
    }

    void runCommand (const juce::String& line)
    {
        const auto words = juce::StringArray::fromTokens (line, " ", "");

        if (words[0] == "set" && words.size() == 3)
        {
            if (auto* param = processor->apvts.getParameter (words[1]))
            {
                // What a plug-in wrapper does with host automation: the value, then the
                // plug-in's own listeners.
                const auto normalised = param->convertTo0to1 ((float) words[2].getDoubleValue());
                const juce::ScopedValueSetter<bool> automation (applyingAutomation, true);
                param->setValue (normalised);
                param->sendValueChangedMessageToListeners (normalised);
                report ("set " + words[1] + " " + juce::String (param->convertFrom0to1 (normalised)));
                return;
            }
        }
        else if (words[0] == "silent" && words.size() == 2)
        {
            signal->silent.store (words[1].getIntValue() != 0);
            report ("silent " + juce::String (signal->silent.load() ? 1 : 0));
            return;
        }
        else if (words[0] == "ui-state" && words.size() == 1)
        {
            report ("ui-state " + processor->uiBlob);
            return;
        }

        std::cerr << "Vistrel e2e host: unknown command: " << line << std::endl;
    }

    std::unique_ptr<VistrelAudioProcessor> processor;
    std::unique_ptr<HostWindow> window;
    std::unique_ptr<SignalThread> signal;
    int reportedPages = 0;
    bool stdinClosed = false;
    bool applyingAutomation = false;
    std::string pendingInput;
};
} // namespace

// The library is built as a plug-in, where START_JUCE_APPLICATION is refused; this is its body.
int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return new E2EHostApp(); };
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
