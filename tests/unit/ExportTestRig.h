#pragma once

#include <gtest/gtest.h>

#include <juce_audio_formats/juce_audio_formats.h>

#include "PluginProcessor.h"
#include "export/ExportHandlers.h"
#include "export/ExportJson.h"
#include "export/ExportSession.h"

namespace vistrel::test
{

/** A processor whose exports go to a fresh temporary folder, and which finds no ffmpeg unless
    a test gives it one. */
struct ExportRig
{
    juce::TemporaryFile root { "vistrel-export-test" };
    juce::File folder;
    std::unique_ptr<VistrelAudioProcessor> processor;

    ExportRig()
    {
        root.getFile().createDirectory();
        folder = root.getFile().getChildFile ("VISTREL");
        processor = std::make_unique<VistrelAudioProcessor>();
        processor->exportFolderOverride = folder;
        useFfmpeg ({});
    }

    ~ExportRig()
    {
        processor.reset();
        root.getFile().deleteRecursively();
    }

    VistrelAudioProcessor& p() { return *processor; }

    void useFfmpeg (const juce::String& path)
    {
        processor->ffmpegSearched = true;
        processor->ffmpegPath = path;
    }

    /** Writes an executable shell script into the rig's root and returns its path. */
    juce::File script (const juce::String& name, const juce::String& body)
    {
        auto f = root.getFile().getChildFile (name);
        f.replaceWithText ("#!/bin/sh\n" + body + "\n", false, false, "\n");
        f.setExecutePermission (true);
        return f;
    }

    juce::Array<juce::File> files() const
    {
        auto found = folder.findChildFiles (juce::File::findFilesAndDirectories, false);
        found.sort();
        return found;
    }
};

inline juce::var call (juce::var (*fn) (VistrelAudioProcessor&, const juce::Array<juce::var>&),
                       VistrelAudioProcessor& p, std::initializer_list<juce::var> args = {})
{
    return fn (p, juce::Array<juce::var> (args));
}

inline juce::var parse (const juce::var& answer)
{
    EXPECT_TRUE (answer.isString()) << "answers are JSON text";
    return juce::JSON::parse (answer.toString());
}

inline juce::StringArray keysOf (const juce::var& object)
{
    juce::StringArray keys;
    if (auto* o = object.getDynamicObject())
        for (const auto& prop : o->getProperties())
            keys.add (prop.name.toString());
    return keys;
}

/** A stereo block whose left and right samples are distinct values on the 24-bit grid, below
    0.5 so that they survive the trip through a 24-bit WAV file unchanged. */
inline float gridSample (uint64_t frame, int channel)
{
    const auto k = (int64_t) ((frame * 2654435761u + (uint64_t) channel * 40503u) % 7000001u) - 3500000;
    return (float) ((double) k / 8388608.0);
}

inline void feed (VistrelAudioProcessor& p, uint64_t& frame, int n, int channels = 2)
{
    juce::AudioBuffer<float> buffer (channels, n);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
            buffer.setSample (c, i, gridSample (frame + (uint64_t) i, c));
    frame += (uint64_t) n;
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
}

/** Reads a whole WAV file; empty buffer when it cannot be read. */
inline juce::AudioBuffer<float> readWav (const juce::File& file, double* rate = nullptr, int* bits = nullptr)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
    if (reader == nullptr)
        return {};
    if (rate != nullptr)
        *rate = reader->sampleRate;
    if (bits != nullptr)
        *bits = (int) reader->bitsPerSample;
    juce::AudioBuffer<float> out ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (&out, 0, (int) reader->lengthInSamples, 0, true, true);
    return out;
}

/** Checks that `wav` holds exactly frames [first, first + count) of gridSample. */
inline ::testing::AssertionResult holdsFrames (const juce::AudioBuffer<float>& wav, uint64_t first, uint64_t count)
{
    if (wav.getNumChannels() != 2)
        return ::testing::AssertionFailure() << "channels " << wav.getNumChannels();
    if ((uint64_t) wav.getNumSamples() != count)
        return ::testing::AssertionFailure() << "frames " << wav.getNumSamples() << " instead of " << count;
    for (int i = 0; i < wav.getNumSamples(); ++i)
        for (int c = 0; c < 2; ++c)
            if (wav.getSample (c, i) != gridSample (first + (uint64_t) i, c))
                return ::testing::AssertionFailure() << "frame " << i << " channel " << c << ": "
                                                     << wav.getSample (c, i) << " != " << gridSample (first + (uint64_t) i, c);
    return ::testing::AssertionSuccess();
}

} // namespace vistrel::test
