#include "ExportHandlers.h"

#include "ExportJson.h"
#include "ExportSession.h"
#include "StrictBase64.h"

namespace vistrel
{
namespace
{
const juce::String kBadArgs { R"({"ok":false,"err":"bad args"})" };

/** Writes `data` as the whole content of `target`, or leaves `target` as it was: the bytes go
    to a sibling temporary file first, which is moved over the target only when complete. */
bool replaceFileWith (const juce::File& target, const juce::MemoryBlock& data)
{
    juce::TemporaryFile temp (target);

    {
        juce::FileOutputStream out (temp.getFile());

        if (! out.openedOk() || ! out.write (data.getData(), data.getSize()))
            return false;

        out.flush();

        if (out.getStatus().failed())
            return false;
    }

    // Buffered bytes that failed to reach the disk leave the stream's status untouched.
    if (temp.getFile().getSize() != (juce::int64) data.getSize())
        return false;

    return temp.overwriteTargetFileWithTemporary(); // the temporary goes with `temp` if this fails
}
} // namespace

juce::var exportProbe (VistrelAudioProcessor& p, const juce::Array<juce::var>&)
{
    const auto dir = p.exportDir();
    const auto tool = p.exportFindFfmpeg();

    return ExportJson()
        .add ("dir", dir.getFullPathName())
        .add ("ffmpeg", tool.isNotEmpty())
        .add ("ffmpegPath", tool)
        .add ("recording", p.exportSession != nullptr)
        .toString();
}

juce::var exportAppend (VistrelAudioProcessor& p, const juce::Array<juce::var>& args)
{
    if (args.size() < 2)
        return kBadArgs;

    auto& session = p.ensureSession (args[0].toString());

    if (session.failed || session.videoStream == nullptr)
        return ExportJson::error (session.err.isNotEmpty() ? session.err : juce::String ("video file is closed"));

    juce::MemoryBlock bytes;

    if (! decodeBase64Strict (args[1].toString(), bytes))
    {
        session.failed = true;
        session.err = "corrupt chunk";
        return ExportJson::error (session.err);
    }

    if (bytes.getSize() > 0)
    {
        if (! session.videoStream->write (bytes.getData(), bytes.getSize()))
        {
            session.failed = true;
            session.err = "disk write failed (full?)";
            return ExportJson().add ("ok", false).add ("bytes", session.videoBytes).add ("err", session.err).toString();
        }

        if (session.firstChunkTicks == 0)
            session.firstChunkTicks = juce::Time::getHighResolutionTicks();

        session.videoBytes += (juce::int64) bytes.getSize();
    }

    return ExportJson().add ("ok", true).add ("bytes", session.videoBytes).toString();
}

juce::var exportAudioStart (VistrelAudioProcessor& p, const juce::Array<juce::var>& args)
{
    if (args.isEmpty())
        return kBadArgs;

    auto& session = p.ensureSession (args[0].toString());
    ExportJson answer;
    answer.add ("video", session.videoFile.getFullPathName());

    if (session.audioWriter != nullptr || startExportAudio (p, session))
        return answer.add ("ok", true).add ("audio", session.audioFile.getFullPathName()).toString();

    return answer.add ("ok", false).add ("err", "could not open " + session.audioFile.getFullPathName()).toString();
}

juce::var exportFinish (VistrelAudioProcessor& p, const juce::Array<juce::var>&)
{
    return p.finishSession (true);
}

juce::var exportStill (VistrelAudioProcessor& p, const juce::Array<juce::var>& args)
{
    if (args.isEmpty())
        return kBadArgs;

    juce::MemoryBlock image;

    if (! decodeBase64Strict (args[0].toString(), image) || image.isEmpty())
        return ExportJson::error ("corrupt image data");

    const auto folder = p.exportDir();
    const auto file = folder.getChildFile (VistrelAudioProcessor::vistrelStamp (folder, { ".png" }) + ".png");

    if (! replaceFileWith (file, image))
        return ExportJson::error ("could not write " + file.getFullPathName());

    return ExportJson()
        .add ("ok", true)
        .add ("path", file.getFullPathName())
        .add ("bytes", (juce::int64) image.getSize())
        .toString();
}

void exportEditorClosing (VistrelAudioProcessor& p)
{
    if (p.exportSession != nullptr)
        p.finishSession (false);

    if (p.exportThread.isThreadRunning())
        p.exportThread.stopThread (2000);
}

} // namespace vistrel
