#include "OfflineRun.h"

#include <cmath>

namespace vistrel::analyse
{

namespace
{
// Blocks are cut out of larger decoded chunks: decoders are much cheaper per sample when asked
// for many samples at once than for one small block at a time.
constexpr int kChunkTarget = 16384;

juce::String quoted (const juce::String& s) { return "'" + s + "'"; }

// Samples that must have been fed before tick number `tick` (1-based) runs. Integer steps from the
// exact product keep long files from drifting against the tick grid.
juce::int64 samplesDueBy (juce::int64 tick, double samplesPerTick)
{
    return (juce::int64) std::ceil ((double) tick * samplesPerTick - 1.0e-6);
}
} // namespace

//==============================================================================
SimulatedPlayHead::SimulatedPlayHead (const SimulatedTransport& t, double rate) : transport (t), sampleRate (rate)
{
    moveTo (0);
}

void SimulatedPlayHead::moveTo (juce::int64 sample)
{
    const double seconds = (double) sample / sampleRate;
    // A stopped host stays where it stopped: at the start.
    const double ppq = transport.playing ? seconds * transport.bpm / 60.0 : 0.0;
    const double barLength = 4.0 * transport.sigNumerator / transport.sigDenominator;

    info.setBpm (transport.bpm);
    info.setTimeSignature (juce::AudioPlayHead::TimeSignature { transport.sigNumerator, transport.sigDenominator });
    info.setIsPlaying (transport.playing);
    info.setTimeInSamples (transport.playing ? sample : 0);
    info.setTimeInSeconds (transport.playing ? seconds : 0.0);
    info.setPpqPosition (ppq);
    info.setPpqPositionOfLastBarStart (std::floor (ppq / barLength) * barLength);
    info.setBarCount ((juce::int64) std::floor (ppq / barLength));
}

//==============================================================================
juce::String applyParams (VistrelAudioProcessor& processor, const std::vector<ParamSetting>& params)
{
    for (const auto& setting : params)
    {
        auto* param = processor.apvts.getParameter (setting.id);
        if (param == nullptr)
            return "unknown parameter " + quoted (setting.id);

        const auto text = setting.value.trim();
        const auto number = parseNumber (text);
        const auto bad = [&] (const juce::String& wanted)
        { return "--param " + setting.id + " wants " + wanted + ", not " + quoted (setting.value); };

        double value = 0.0;

        if (auto* choice = dynamic_cast<juce::AudioParameterChoice*> (param))
        {
            const int last = choice->choices.size() - 1;
            const auto wanted = "an index from 0 to " + juce::String (last) + " or one of (any case) \""
                              + choice->choices.joinIntoString ("\", \"") + "\"";

            if (number)
            {
                if (*number != std::floor (*number) || *number < 0 || *number > last)
                    return bad (wanted);
                value = *number;
            }
            else
            {
                const int index = choice->choices.indexOf (text, true);
                if (index < 0)
                    return bad (wanted);
                value = index;
            }
        }
        else if (dynamic_cast<juce::AudioParameterBool*> (param) != nullptr)
        {
            if (number && (*number == 0.0 || *number == 1.0))
                value = *number;
            else if (text.equalsIgnoreCase ("on") || text.equalsIgnoreCase ("true"))
                value = 1.0;
            else if (text.equalsIgnoreCase ("off") || text.equalsIgnoreCase ("false"))
                value = 0.0;
            else
                return bad ("0, 1, on or off");
        }
        else if (auto* integer = dynamic_cast<juce::AudioParameterInt*> (param))
        {
            const auto range = integer->getRange();
            if (! number || *number != std::floor (*number) || *number < range.getStart() || *number > range.getEnd())
                return bad ("a whole number from " + juce::String (range.getStart()) + " to " + juce::String (range.getEnd()));
            value = *number;
        }
        else if (auto* real = dynamic_cast<juce::AudioParameterFloat*> (param))
        {
            const auto& range = real->getNormalisableRange();
            if (! number || *number < range.start || *number > range.end)
                return bad ("a number from " + juce::String (range.start) + " to " + juce::String (range.end));
            value = *number;
        }
        else
        {
            if (! number)
                return bad ("a number");
            value = *number;
        }

        processor.uiSetParam (setting.id, value);
    }

    return {};
}

//==============================================================================
OpenedAudio openAudio (const juce::File& file, juce::AudioFormatManager& formats)
{
    OpenedAudio result;
    const auto name = quoted (file.getFullPathName());

    if (! file.exists())
        result.error = "cannot open " + name + ": no such file";
    else if (file.isDirectory())
        result.error = "cannot open " + name + ": it is a directory";
    else if (! file.hasReadAccess())
        result.error = "cannot open " + name + ": permission denied";
    else
    {
        auto stream = file.createInputStream();
        if (stream == nullptr)
            result.error = "cannot open " + name + ": it cannot be read";
        else if (auto* reader = formats.createReaderFor (std::move (stream)))
        {
            result.reader.reset (reader);
            if (reader->sampleRate <= 0.0 || reader->numChannels < 1 || reader->lengthInSamples < 0)
            {
                result.reader.reset();
                result.error = "cannot decode " + name + ": it declares no usable sample rate or channels";
            }
        }
        else
            result.error = "cannot decode " + name + ": not a WAV, AIFF, FLAC or Ogg Vorbis file this build can read";
    }

    return result;
}

//==============================================================================
juce::int64 tickCountFor (juce::int64 lengthInSamples, double sampleRate, double tickMs)
{
    const double samplesPerTick = tickMs * 0.001 * sampleRate;
    juce::int64 ticks = (juce::int64) std::floor ((double) lengthInSamples / samplesPerTick);

    // Guard the floor against rounding on exact multiples, in either direction.
    while (ticks > 0 && samplesDueBy (ticks, samplesPerTick) > lengthInSamples)
        --ticks;
    while (samplesDueBy (ticks + 1, samplesPerTick) <= lengthInSamples)
        ++ticks;

    return ticks;
}

juce::String runFile (VistrelAudioProcessor& processor, juce::AudioFormatReader& reader, const Options& options,
                      const std::function<void (const TickOutput&)>& onTick)
{
    const double sampleRate = reader.sampleRate;
    const int channels = juce::jmin (2, (int) reader.numChannels);
    const juce::int64 length = reader.lengthInSamples;
    const int block = options.blockSize;
    const int chunk = block * juce::jmax (1, kChunkTarget / block);
    const double samplesPerTick = options.tickMs * 0.001 * sampleRate;
    const double dt = options.tickMs * 0.001;
    const juce::int64 tickCount = tickCountFor (length, sampleRate, options.tickMs);

    std::unique_ptr<SimulatedPlayHead> playHead;
    if (options.host)
        playHead = std::make_unique<SimulatedPlayHead> (*options.host, sampleRate);

    processor.setPlayHead (playHead.get());
    processor.prepareToPlay (sampleRate, block);

    juce::AudioBuffer<float> decoded (channels, chunk);
    juce::MidiBuffer midi;
    juce::int64 decodedUpTo = 0; // first sample of the file not yet decoded
    juce::int64 fed = 0;         // samples already given to processBlock
    int chunkStart = 0;          // file position of decoded's first sample, relative to fed
    int chunkLength = 0;
    juce::String error;

    const auto feedOneBlock = [&]() -> bool
    {
        if (chunkStart >= chunkLength)
        {
            const int n = (int) juce::jmin ((juce::int64) chunk, length - decodedUpTo);
            if (! reader.read (decoded.getArrayOfWritePointers(), channels, decodedUpTo, n))
            {
                error = "decoding failed near sample " + juce::String (decodedUpTo);
                return false;
            }
            decodedUpTo += n;
            chunkStart = 0;
            chunkLength = n;
        }

        const int n = juce::jmin (block, chunkLength - chunkStart);
        juce::AudioBuffer<float> view (decoded.getArrayOfWritePointers(), channels, chunkStart, n);

        if (playHead != nullptr)
            playHead->moveTo (fed);

        processor.processBlock (view, midi);
        chunkStart += n;
        fed += n;
        return true;
    };

    for (juce::int64 tick = 1; tick <= tickCount; ++tick)
    {
        const juce::int64 due = samplesDueBy (tick, samplesPerTick);
        while (fed < due)
            if (! feedOneBlock())
                break;

        if (error.isNotEmpty())
            break;

        const auto frame = processor.tickFrameJSON (dt);
        onTick ({ frame, processor.analysis, tick, tickCount });
    }

    processor.setPlayHead (nullptr);
    return error;
}

} // namespace vistrel::analyse
