// vistrel-analyse: runs an audio file through the real processor and prints its frames.
#include <cstdio>
#include <unistd.h>

#include <juce_events/juce_events.h>

#include "AnalyseOptions.h"
#include "OfflineRun.h"
#include "RunSummary.h"

namespace
{
using namespace vistrel::analyse;

constexpr int kErrorStatus = 2;
constexpr double kProgressMinSeconds = 5.0;

int fail (const juce::String& message)
{
    std::fprintf (stderr, "vistrel-analyse: %s\n", message.toRawUTF8());
    return kErrorStatus;
}

/** Where the frames or the summary go. With -o everything is written to a temporary file next
    to the target and moved into place only after the whole file has been analysed, so a failed
    run never leaves a truncated or clobbered output behind. */
class Output
{
public:
    juce::String open (const std::optional<juce::String>& path)
    {
        if (! path)
        {
            static char buffer[1 << 20];
            std::setvbuf (stdout, buffer, _IOFBF, sizeof (buffer));
            return {};
        }

        target = juce::File::getCurrentWorkingDirectory().getChildFile (*path);
        const auto name = "'" + target.getFullPathName() + "'";

        if (target.isDirectory())
            return "cannot write " + name + ": it is a directory";
        if (! target.getParentDirectory().isDirectory())
            return "cannot write " + name + ": its folder does not exist";

        temp = std::make_unique<juce::TemporaryFile> (target);
        stream = temp->getFile().createOutputStream();
        if (stream == nullptr || ! stream->openedOk())
            return "cannot write " + name + ": " + (stream != nullptr ? stream->getStatus().getErrorMessage() : "permission denied");

        return {};
    }

    void write (const juce::String& text)
    {
        if (stream != nullptr)
            stream->write (text.toRawUTF8(), text.getNumBytesAsUTF8());
        else
            std::fwrite (text.toRawUTF8(), 1, text.getNumBytesAsUTF8(), stdout);
    }

    juce::String finish()
    {
        if (stream == nullptr)
        {
            if (std::fflush (stdout) != 0)
                return "writing to standard output failed";
            return {};
        }

        stream->flush();
        const bool written = stream->getStatus().wasOk();
        stream.reset();

        if (! written || ! temp->overwriteTargetFileWithTemporary())
            return "cannot write '" + target.getFullPathName() + "'";
        return {};
    }

private:
    juce::File target;
    std::unique_ptr<juce::TemporaryFile> temp;
    std::unique_ptr<juce::FileOutputStream> stream;
};

/** A one-line bar on standard error, redrawn in place; only for a person watching a terminal. */
class ProgressBar
{
public:
    ProgressBar (bool show, double totalSeconds) : enabled (show), total (totalSeconds) {}

    ~ProgressBar()
    {
        if (drawn)
            std::fprintf (stderr, "\r\033[K");
    }

    void update (double fraction)
    {
        if (! enabled)
            return;

        const int percent = (int) (fraction * 100.0);
        if (percent == lastPercent)
            return;
        lastPercent = percent;

        constexpr int width = 40;
        const int filled = (int) (fraction * width);
        char bar[width + 1];
        for (int i = 0; i < width; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[width] = 0;

        std::fprintf (stderr, "\r[%s] %3d%%  %s / %s", bar, percent, clock (fraction * total).toRawUTF8(),
                      clock (total).toRawUTF8());
        std::fflush (stderr);
        drawn = true;
    }

private:
    static juce::String clock (double seconds)
    {
        const int s = (int) seconds;
        return juce::String (s / 60) + ":" + juce::String (s % 60).paddedLeft ('0', 2);
    }

    bool enabled;
    double total;
    int lastPercent = -1;
    bool drawn = false;
};

int analyse (const Options& options)
{
    VistrelAudioProcessor processor;
    if (const auto problem = applyParams (processor, options.params); problem.isNotEmpty())
        return fail (problem);

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    const auto input = juce::File::getCurrentWorkingDirectory().getChildFile (options.inputPath);
    auto opened = openAudio (input, formats);
    if (opened.reader == nullptr)
        return fail (opened.error);

    auto& reader = *opened.reader;
    Output output;
    if (const auto problem = output.open (options.outputPath); problem.isNotEmpty())
        return fail (problem);

    const double seconds = (double) reader.lengthInSamples / reader.sampleRate;
    ProgressBar progress (isatty (STDERR_FILENO) != 0 && seconds > kProgressMinSeconds, seconds);
    RunSummary summary;
    const juce::String newline ("\n");

    const auto error = runFile (processor, reader, options, [&] (const TickOutput& t)
    {
        if (options.summary)
            summary.add (t.analysis);
        else
        {
            output.write (t.frame);
            output.write (newline);
        }

        progress.update ((double) t.tick / (double) t.tickCount);
    });

    if (error.isNotEmpty())
        return fail ("cannot decode '" + input.getFullPathName() + "': " + error);

    if (options.summary)
        output.write (summary.format ({ input.getFileName(), reader.getFormatName(), reader.sampleRate,
                                        (int) reader.numChannels, reader.lengthInSamples, options.tickMs }));

    if (const auto problem = output.finish(); problem.isNotEmpty())
        return fail (problem);

    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    // The processor's parameters and listeners expect a message manager on this thread.
    juce::ScopedJuceInitialiser_GUI juceInit;

    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    const auto parsed = parseArguments (args);
    if (! parsed.ok())
        return fail (parsed.error);

    if (parsed.options.help)
    {
        std::fputs (usageText().toRawUTF8(), stdout);
        return 0;
    }

    return analyse (parsed.options);
}
