#include "ExportSession.h"

namespace vistrel
{

juce::File exportFolderUnder (const juce::File& movies, const juce::File& home)
{
    const auto base = movies != juce::File() && movies.isDirectory() ? movies : home.getChildFile ("Movies");
    auto folder = base.getChildFile ("VISTREL");

    // A failure shows up as "cannot open ..." when the first file is opened in it.
    if (! folder.isDirectory())
        folder.createDirectory();

    return folder;
}

double ticksToMs (juce::int64 ticks)
{
    const auto rate = juce::Time::getHighResolutionTicksPerSecond();
    return rate == 0 ? 0.0 : (double) ticks * 1000.0 / (double) rate;
}

} // namespace vistrel

juce::File VistrelAudioProcessor::exportDir() const
{
    if (exportFolderOverride != juce::File())
    {
        if (! exportFolderOverride.isDirectory())
            exportFolderOverride.createDirectory();
        return exportFolderOverride;
    }

    return vistrel::exportFolderUnder (juce::File::getSpecialLocation (juce::File::userMoviesDirectory),
                                       juce::File::getSpecialLocation (juce::File::userHomeDirectory));
}

juce::String VistrelAudioProcessor::vistrelStamp (const juce::File& folder, const juce::StringArray& extensions,
                                                  juce::Time now)
{
    const auto base = juce::String::formatted ("VISTREL-%04d-%02d-%02d-%02d%02d",
                                               now.getYear(), now.getMonth() + 1, now.getDayOfMonth(),
                                               now.getHours(), now.getMinutes());

    const auto taken = [&] (const juce::String& candidate)
    {
        if (folder.getChildFile (candidate + "-final.mp4").exists())
            return true;

        for (const auto& ext : extensions)
            if (folder.getChildFile (candidate + ext).exists())
                return true;

        return false;
    };

    if (! taken (base))
        return base;

    for (int n = 2; n <= 9999; ++n)
        if (const auto candidate = base + "-" + juce::String (n); ! taken (candidate))
            return candidate;

    return base + "-" + juce::String (juce::Random::getSystemRandom().nextInt (99999));
}

VistrelAudioProcessor::ExportSession& VistrelAudioProcessor::ensureSession (const juce::String& name)
{
    if (exportSession != nullptr && exportSession->name != name)
        finishSession (false);

    if (exportSession != nullptr)
        return *exportSession;

    const auto folder = exportDir();
    const auto stamp = vistrelStamp (folder, { ".mp4", ".wav" });

    auto session = std::make_unique<ExportSession>();
    session->name = name;
    session->videoFile = folder.getChildFile (stamp + ".mp4");
    session->audioFile = folder.getChildFile (stamp + ".wav");
    session->sampleRate = currentSampleRate.load();
    session->startTicks = juce::Time::getHighResolutionTicks();

    auto stream = std::make_unique<juce::FileOutputStream> (session->videoFile, vistrel::kExportStreamBufferBytes);

    if (stream->openedOk())
    {
        session->videoStream = std::move (stream);
    }
    else
    {
        session->failed = true;
        session->err = "cannot open " + session->videoFile.getFullPathName();
    }

    exportSession = std::move (session);
    return *exportSession;
}
