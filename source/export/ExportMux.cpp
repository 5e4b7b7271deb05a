#include "ChildProcessRun.h"
#include "ExportJson.h"
#include "ExportSession.h"

namespace vistrel
{
namespace
{
constexpr int kShellSearchWaitMs = 10000;
constexpr int kMuxErrChars = 200;
constexpr const char* kDiskWriteFailed = "disk write failed (full?)";

// Offsets at or below half a millisecond are noise; a quarter second or more means the
// marks cannot be trusted, and shifting the audio by it would do more harm than good.
constexpr double kMinOffsetMs = 0.5, kMaxOffsetMs = 250.0;

/** Frames the WAV file's header says it holds, or -1 when it cannot be read. */
juce::int64 wavFrames (const juce::File& file)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
    return reader != nullptr ? reader->lengthInSamples : -1;
}
} // namespace

juce::StringArray ffmpegFixedLocations()
{
   #if JUCE_MAC
    return { "/opt/homebrew/bin/ffmpeg", "/usr/local/bin/ffmpeg" };
   #else
    return { "/usr/bin/ffmpeg", "/usr/local/bin/ffmpeg" };
   #endif
}

juce::String searchFfmpeg (const juce::StringArray& fixedLocations)
{
    for (const auto& location : fixedLocations)
        if (juce::File (location).existsAsFile())
            return location;

    const auto run = runChildProcess ({ "/bin/sh", "-c", "command -v ffmpeg" }, kShellSearchWaitMs);

    if (! run.started)
        return {};

    const auto found = run.output.trim().upToFirstOccurrenceOf ("\n", false, false).trim();

    if ((found.startsWithChar ('/') || found.startsWithChar ('~')) && juce::File (found).existsAsFile())
        return found;

    return {};
}

} // namespace vistrel

juce::String VistrelAudioProcessor::exportFindFfmpeg()
{
    if (ffmpegSearched)
        return ffmpegPath;

    ffmpegSearched = true;
    ffmpegPath = vistrel::searchFfmpeg (vistrel::ffmpegFixedLocations());
    return ffmpegPath;
}

juce::String VistrelAudioProcessor::finishSession (bool mux)
{
    using vistrel::ExportJson;

    if (exportSession == nullptr)
        return ExportJson::error ("no recording");

    exportTap.disarm();

    // After the disarm the ring holds the rest of the recording; anything the writer still
    // cannot take after a long stall is reported as dropped rather than lost quietly.
    const auto undrained = vistrel::drainExportTap (*this, true);

    std::unique_ptr<ExportSession> session = std::move (exportSession);

    // A session that never started audio must not report the marks of an earlier recording.
    const bool audioStarted = session->armTicks != 0;
    const juce::int64 dropped = audioStarted ? (juce::int64) exportTap.dropped.load() + undrained : 0;
    const juce::int64 firstBlockTicks = audioStarted ? (juce::int64) exportTap.firstBlockTicks.load() : 0;

    if (session->audioWriter != nullptr)
    {
        session->audioWriter.reset();

        if (session->audioFrames > 0 && vistrel::wavFrames (session->audioFile) != session->audioFrames && ! session->failed)
        {
            session->failed = true;
            session->err = vistrel::kDiskWriteFailed;
        }
    }

    if (session->videoStream != nullptr)
    {
        session->videoStream->flush();
        session->videoStream.reset();

        // Buffered writes fail only when the buffer is written out, which the stream does not
        // report; the file's size tells.
        if (! session->failed && session->videoFile.getSize() != session->videoBytes)
        {
            session->failed = true;
            session->err = vistrel::kDiskWriteFailed;
        }
    }

    const double rate = session->sampleRate;
    const bool measured = firstBlockTicks != 0 && session->startTicks != 0;
    const double deltaMs = measured ? vistrel::ticksToMs (firstBlockTicks - session->startTicks) : 0.0;
    const double offsetMs = deltaMs > vistrel::kMinOffsetMs && deltaMs < vistrel::kMaxOffsetMs ? deltaMs : 0.0;

    ExportJson report;
    report.add ("ok", ! session->failed && session->videoBytes > 0)
        .add ("video", session->videoFile.getFullPathName())
        .add ("bytes", session->videoBytes)
        .add ("dropped", dropped)
        .add ("droppedMs", rate > 0.0 ? (double) dropped * 1000.0 / rate : 0.0);

    if (session->audioFrames > 0)
        report.add ("audio", session->audioFile.getFullPathName());

    if (session->failed)
        report.add ("err", session->err);

    report.add ("avMeasured", measured).add ("avDeltaMs", deltaMs).add ("avOffsetMs", offsetMs);

    if (session->armTicks != 0)
        report.add ("avArmMs", vistrel::ticksToMs (session->armTicks - session->startTicks));

    if (session->firstChunkTicks != 0)
        report.add ("avChunk0Ms", vistrel::ticksToMs (session->firstChunkTicks - session->startTicks));

    if (mux && ! session->failed && session->videoBytes > 0 && session->audioFrames > 0)
    {
        if (const auto tool = exportFindFfmpeg(); tool.isNotEmpty())
        {
            const auto finalFile = session->videoFile.getSiblingFile (session->videoFile.getFileNameWithoutExtension()
                                                                  + "-final.mp4");

            juce::StringArray args { juce::File (tool).getFullPathName(), "-y", "-hide_banner", "-loglevel", "error",
                                     "-i", session->videoFile.getFullPathName() };

            if (offsetMs > 0.0)
                args.addArray ({ "-itsoffset", juce::String (offsetMs / 1000.0, 6) });

            args.addArray ({ "-i", session->audioFile.getFullPathName(), "-map", "0:v:0", "-map", "1:a:0",
                             "-c:v", "copy", "-c:a", "aac", "-b:a", "320k", "-movflags", "+faststart",
                             "-shortest", finalFile.getFullPathName() });

            const auto run = vistrel::runChildProcess (args, ffmpegWaitMs);

            if (run.started && run.finished && run.exitCode == 0 && finalFile.existsAsFile())
                report.add ("final", finalFile.getFullPathName());
            else
                report.add ("muxErr", run.output.trim().substring (0, vistrel::kMuxErrChars));
        }
    }

    return report.toString();
}
