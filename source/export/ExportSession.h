#pragma once

#include <memory>

#include <juce_audio_formats/juce_audio_formats.h>

#include "PluginProcessor.h"

/** One recording: the page's video file, the recorded audio beside it, their counters, the
    error state and the timing marks from which the audio/video offset is measured. Destroying
    it closes whatever it still holds. */
struct VistrelAudioProcessor::ExportSession
{
    juce::String name;
    juce::File videoFile;
    juce::File audioFile;
    std::unique_ptr<juce::FileOutputStream> videoStream;
    std::unique_ptr<juce::AudioFormatWriter::ThreadedWriter> audioWriter;
    double sampleRate = 48000.0;
    juce::int64 videoBytes = 0;
    juce::int64 audioFrames = 0;
    bool failed = false;
    juce::String err;
    juce::int64 startTicks = 0;
    juce::int64 firstChunkTicks = 0;
    juce::int64 armTicks = 0;
};
