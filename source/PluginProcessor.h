#pragma once

#include <atomic>
#include <memory>

#include <juce_audio_processors/juce_audio_processors.h>

#include "Parameters.h"
#include "analysis/Analysis.h"
#include "capture/ExportAudioTap.h"
#include "capture/Tap.h"

/** The plug-in's audio processor and the owner of everything that outlives an editor window:
    parameters, analysis, capture rings, the recording in progress and the page's own state.
    The audio passes through untouched. */
class VistrelAudioProcessor : public juce::AudioProcessor,
                              public juce::AudioProcessorValueTreeState::Listener
{
public:
    /** The one recording in progress; defined with the export code. */
    struct ExportSession;

    VistrelAudioProcessor();
    ~VistrelAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    void reset() override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    void parameterChanged (const juce::String& parameterID, float newValue) override;

    /** Runs one analysis tick over the audio that arrived since the last one and returns the
        frame text. `dt` is the time since the previous tick in seconds. Message thread. */
    juce::String tickFrameJSON (double dt);

    /** Sets a parameter from a value in its own units, as one host gesture unless the page
        holds a gesture open on it. Unknown IDs are ignored. Message thread. */
    void uiSetParam (const juce::String& id, double value);

    /** The folder of the user's presets, created when missing. */
    juce::File presetDir() const;

    //== Export: all on the message thread ==========================================
    /** The folder recordings and stills go to, created when missing. */
    juce::File exportDir() const;
    /** A base name, free in `folder` for every extension given and for "-final.mp4". */
    static juce::String vistrelStamp (const juce::File& folder, const juce::StringArray& extensions,
                                      juce::Time now = juce::Time::getCurrentTime());
    /** The session called `name`; a session of another name is finished first, unmuxed. */
    ExportSession& ensureSession (const juce::String& name);
    /** Ends the current recording, muxing it when asked, and returns the JSON report. */
    juce::String finishSession (bool mux);
    /** Moves what the audio thread recorded into the session's WAV writer. */
    void exportPumpAudio();
    /** The ffmpeg executable, searched for once per processor; empty when there is none. */
    juce::String exportFindFfmpeg();

    /** Longest wait for ffmpeg to finish a mux before it is killed. */
    static constexpr int kFfmpegWaitMs = 180000;

    static constexpr int kDefaultUiWidth = 1100, kDefaultUiHeight = 680;
    static constexpr int kMinUiWidth = 520, kMaxUiWidth = 4096;
    static constexpr int kMinUiHeight = 180, kMaxUiHeight = 2400;
    static constexpr int kExportScratchFrames = 16384;

    juce::AudioProcessorValueTreeState apvts;
    std::atomic<int> uiWidth { kDefaultUiWidth };
    std::atomic<int> uiHeight { kDefaultUiHeight };
    vistrel::Analysis analysis;
    vistrel::Tap tap;

    std::atomic<double> hostBpm { 120.0 };
    std::atomic<double> hostPpq { 0.0 };
    std::atomic<bool> hostPlaying { false };
    std::atomic<bool> hostHasBpm { false };
    std::atomic<bool> hostHasPpq { false };
    std::atomic<bool> hostHasBarStart { false };
    std::atomic<double> hostBarStartPpq { 0.0 };
    std::atomic<int> hostTsNum { 4 };
    std::atomic<int> hostTsDen { 4 };
    std::atomic<int> lastNote { -1 };
    std::atomic<int> lastVelocity { 0 };
    std::atomic<int> noteCount { 0 };
    std::atomic<double> currentSampleRate { 48000.0 };

    std::unique_ptr<ExportSession> exportSession;
    ExportAudioTap exportTap;
    juce::TimeSliceThread exportThread { "VISTREL export" };
    juce::AudioBuffer<float> exportScratch;
    juce::String ffmpegPath;
    bool ffmpegSearched = false;
    // Left empty and at kFfmpegWaitMs in the product; tests point the export at a folder of
    // their own and shorten the wait.
    juce::File exportFolderOverride;
    int ffmpegWaitMs = kFfmpegWaitMs;

    juce::String uiBlob;
    juce::StringArray uiGestures;
    std::atomic<bool> uiReady { false };
    std::atomic<bool> paramsDirty { false };
    std::atomic<bool> stateDirty { false };

private:
    void captureTransport();
    void captureMidi (const juce::MidiBuffer&);
    vistrel::ParamSnapshot readAnalysisParams() const;
    vistrel::TransportSnapshot readTransport() const;
    void keepValuesOfParametersMissingFrom (juce::ValueTree& tree);

    // Hosts may call reset() on any thread while the analysis belongs to the message thread:
    // the request is recorded here and carried out at the start of the next tick.
    std::atomic<bool> analysisResetPending { false };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VistrelAudioProcessor)
};
