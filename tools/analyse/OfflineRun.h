#pragma once

#include <functional>
#include <memory>

#include <juce_audio_formats/juce_audio_formats.h>

#include "AnalyseOptions.h"
#include "PluginProcessor.h"

namespace vistrel::analyse
{

/** A play head that reports a steady transport: the tempo, signature and playing state the
    command line asked for, with a position that follows the samples fed so far. */
class SimulatedPlayHead : public juce::AudioPlayHead
{
public:
    SimulatedPlayHead (const SimulatedTransport& transport, double sampleRate);

    /** Puts the position at the start of the block that begins at `sample`. */
    void moveTo (juce::int64 sample);

    juce::Optional<PositionInfo> getPosition() const override { return info; }

private:
    SimulatedTransport transport;
    double sampleRate;
    PositionInfo info;
};

/** Sets every --param on the processor. A value is a number in the parameter's own units or, for
    choices and switches, a name ("Hybrid", "on"); values outside the range are refused rather
    than clamped, so a typo cannot silently analyse with the wrong setting. Returns the first
    problem as one line, or an empty string. */
juce::String applyParams (VistrelAudioProcessor& processor, const std::vector<ParamSetting>& params);

struct OpenedAudio
{
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::String error; // set when reader is null
};

/** Opens an audio file with every format this build can decode. */
OpenedAudio openAudio (const juce::File& file, juce::AudioFormatManager& formats);

/** What the run loop hands out after each tick. */
struct TickOutput
{
    const juce::String& frame;
    const vistrel::Analysis& analysis;
    juce::int64 tick;       // 1-based
    juce::int64 tickCount;  // ticks the whole file gives
};

/** Feeds the file through processBlock in blocks of options.blockSize and calls tickFrameJSON
    once per simulated tick, as soon as the audio of that tick has been fed. The processor should
    be fresh (apart from its parameters). Returns an empty string, or the reason decoding stopped. */
juce::String runFile (VistrelAudioProcessor& processor, juce::AudioFormatReader& reader, const Options& options,
                      const std::function<void (const TickOutput&)>& onTick);

/** Number of frames a file of `lengthInSamples` gives: one per tick whose audio lies wholly in
    the file. */
juce::int64 tickCountFor (juce::int64 lengthInSamples, double sampleRate, double tickMs);

} // namespace vistrel::analyse
