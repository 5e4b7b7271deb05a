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

namespace vistrel
{

/** Frames of audio the WAV writer's queue holds between the drain and the writer thread. */
constexpr int kExportWriterQueueFrames = 65536;
constexpr int kExportStreamBufferBytes = 16384;

/** The export folder below `movies`, or below home's "Movies" when `movies` is no folder;
    created when missing. */
juce::File exportFolderUnder (const juce::File& movies, const juce::File& home);

/** A difference of high-resolution ticks in milliseconds; 0 on a counter without a rate. */
double ticksToMs (juce::int64 ticks);

/** Opens the session's WAV writer and arms capture. False when the file or writer cannot be
    made; nothing is armed then. */
bool startExportAudio (VistrelAudioProcessor&, VistrelAudioProcessor::ExportSession&);

/** Drains the export ring into the session's writer. A chunk the writer's queue cannot take
    stays in the ring for the next call; with `waitForRoom` the call instead waits for the writer
    thread to make room, and gives up only when the writer makes no progress for `stallMs`.
    Returns the frames still in the ring afterwards. */
juce::int64 drainExportTap (VistrelAudioProcessor&, bool waitForRoom, int stallMs = 10000);

/** The platform's fixed places for ffmpeg, tried in order before the shell's search. */
juce::StringArray ffmpegFixedLocations();

/** The first of `fixedLocations` that is a file, else what "command -v ffmpeg" finds. */
juce::String searchFfmpeg (const juce::StringArray& fixedLocations);

} // namespace vistrel
