// The built vistrel-analyse on small generated files: what it prints, what it refuses and how.
#include "ToolHarness.h"

namespace
{
using namespace vistrel::tooltest;

class ToolCli : public ScratchDir
{
protected:
    void SetUp() override
    {
        ScratchDir::SetUp();
        ASSERT_NO_FATAL_FAILURE (writeAudio (dir.getChildFile ("tone.wav"), sine (2, 1.0, 48000, 440, 0.3f), 48000));
    }
};

TEST_F (ToolCli, PrintsOneFrameOfAllKeysPerTick)
{
    const auto run = runTool (dir, { "tone.wav" });
    ASSERT_EQ (run.status, 0) << run.err;
    EXPECT_TRUE (run.err.isEmpty()) << run.err;

    const auto frames = parseFrames (run.lines());
    ASSERT_EQ (frames.size(), 125u); // 1 s in ticks of 8 ms
    for (const auto& f : frames)
        EXPECT_EQ (f.keys, 25);
    EXPECT_GT (frames.back().loud, 0.5);
    EXPECT_EQ (frames.back().playing, 0);
}

TEST_F (ToolCli, TickIntervalSetsTheFrameCount)
{
    struct Case { const char* tickMs; int frames; };
    for (const auto c : { Case { "16", 62 }, Case { "10", 100 }, Case { "250", 4 }, Case { "0.5", 2000 } })
    {
        const auto run = runTool (dir, { "tone.wav", "--tick-ms", c.tickMs });
        ASSERT_EQ (run.status, 0) << run.err;
        EXPECT_EQ (run.lines().size(), c.frames) << c.tickMs << " ms";
    }
}

TEST_F (ToolCli, OutputFileHoldsExactlyWhatStandardOutputWould)
{
    const auto toStdout = runTool (dir, { "tone.wav", "--block", "256" });
    const auto toFile = runTool (dir, { "tone.wav", "--block", "256", "-o", "frames.jsonl" });
    ASSERT_EQ (toFile.status, 0) << toFile.err;
    EXPECT_TRUE (toFile.out.isEmpty());
    EXPECT_EQ (dir.getChildFile ("frames.jsonl").loadFileAsString(), toStdout.out);
    EXPECT_EQ (dir.findChildFiles (juce::File::findFiles, false).size(), 2) << "a temporary file was left behind";
}

// Mono is both channels of one signal; of more channels only the first two count. So the same
// signal as mono, as identical stereo and with a loud third channel gives the same frames.
TEST_F (ToolCli, MonoStereoAndExtraChannelsReadTheSameSignalAlike)
{
    auto mono = sine (1, 0.5, 44100, 220, 0.2f);
    auto stereo = Signal { mono[0], mono[0] };
    auto three = Signal { mono[0], mono[0], sine (1, 0.5, 44100, 3000, 0.9f)[0] };
    writeAudio (dir.getChildFile ("mono.wav"), mono, 44100);
    writeAudio (dir.getChildFile ("stereo.wav"), stereo, 44100);
    writeAudio (dir.getChildFile ("three.wav"), three, 44100);

    const auto reference = runTool (dir, { "mono.wav" });
    ASSERT_EQ (reference.status, 0) << reference.err;
    ASSERT_EQ (reference.lines().size(), 62); // 22050 samples, 352.8 a tick

    for (const auto* name : { "stereo.wav", "three.wav" })
    {
        const auto run = runTool (dir, { name });
        ASSERT_EQ (run.status, 0) << run.err;
        EXPECT_EQ (run.out, reference.out) << name;
    }

    // And a real stereo difference shows: left against inverted right is as wide as it gets.
    writeAudio (dir.getChildFile ("wide.wav"), Signal { mono[0], sine (1, 0.5, 44100, 220, -0.2f)[0] }, 44100);
    const auto wide = runTool (dir, { "wide.wav" });
    EXPECT_NE (wide.out, reference.out);
}

// Lossless formats of the same 16-bit samples decode to the same floats; Ogg is lossy, so only
// its frame count and level are checked.
TEST_F (ToolCli, ReadsEveryFormatJuceDecodes)
{
    const auto signal = sine (2, 0.5, 48000, 330, 0.25f);
    for (const auto* name : { "a.wav", "a.aiff", "a.flac", "a.ogg" })
        writeAudio (dir.getChildFile (name), signal, 48000, 16);

    const auto wav = runTool (dir, { "a.wav" });
    ASSERT_EQ (wav.status, 0) << wav.err;

    for (const auto* name : { "a.aiff", "a.flac" })
    {
        const auto run = runTool (dir, { name });
        ASSERT_EQ (run.status, 0) << name << ": " << run.err;
        EXPECT_EQ (run.out, wav.out) << name;
    }

    const auto ogg = runTool (dir, { "a.ogg" });
    ASSERT_EQ (ogg.status, 0) << ogg.err;
    const auto frames = parseFrames (ogg.lines());
    ASSERT_EQ (frames.size(), 62u);
    EXPECT_NEAR (frames.back().loud, parseFrames (wav.lines()).back().loud, 0.01);
}

TEST_F (ToolCli, SummaryReplacesTheFrames)
{
    const auto run = runTool (dir, { "tone.wav", "--summary" });
    ASSERT_EQ (run.status, 0) << run.err;
    const auto text = run.out;
    EXPECT_FALSE (text.contains ("{")) << text;
    EXPECT_TRUE (text.contains ("1.00 s")) << text;
    EXPECT_TRUE (text.contains ("125 of 8 ms")) << text;
    EXPECT_TRUE (text.contains ("audible   ")) << text;

    writeAudio (dir.getChildFile ("quiet.wav"), silence (2, 1.0, 48000), 48000);
    const auto quiet = runTool (dir, { "quiet.wav", "--summary" });
    ASSERT_EQ (quiet.status, 0) << quiet.err;
    EXPECT_TRUE (quiet.out.contains ("0.0 % of ticks")) << quiet.out;
    EXPECT_TRUE (quiet.out.contains ("loud      0.000")) << quiet.out;
}

// Every refusal: status 2, exactly one line on standard error, nothing on standard output, and
// -o neither created nor touched.
TEST_F (ToolCli, RefusesWithOneLineAndExitStatusTwo)
{
    dir.getChildFile ("not-audio.wav").replaceWithText ("this is text, not RIFF data\n");
    dir.getChildFile ("empty.flac").create();
    dir.getChildFile ("folder.wav").createDirectory();

    struct Case { juce::StringArray args; const char* reason; };
    const Case cases[] = {
        { { "missing.wav" }, "no such file" },
        { { "not-audio.wav" }, "cannot decode" },
        { { "empty.flac" }, "cannot decode" },
        { { "folder.wav" }, "is a directory" },
        { { "tone.wav", "--bogus" }, "unknown option '--bogus'" },
        { { "tone.wav", "--param", "nonsense=1" }, "unknown parameter 'nonsense'" },
        { { "tone.wav", "--param", "sensitivity=loud" }, "--param sensitivity wants" },
        { { "tone.wav", "--param", "sensitivity=30" }, "--param sensitivity wants" },
        { { "tone.wav", "--param", "beatSource=Sometimes" }, "--param beatSource wants" },
        { { "tone.wav", "--tick-ms", "fast" }, "--tick-ms wants" },
        { { "tone.wav", "--block", "0" }, "--block wants" },
        { { "tone.wav", "--host-sig", "4-4" }, "--host-sig wants" },
        { { "tone.wav", "--host-bpm", "-1" }, "--host-bpm wants" },
        { {}, "no input file" },
    };

    for (const auto& c : cases)
    {
        for (const bool preexisting : { false, true })
        {
            SCOPED_TRACE (c.args.joinIntoString (" ") + (preexisting ? " (over an existing -o)" : ""));
            const auto target = dir.getChildFile ("out.jsonl");
            target.deleteFile();
            if (preexisting)
                target.replaceWithText ("keep me\n", false, false, "\n");

            auto args = c.args;
            args.addArray ({ "-o", "out.jsonl" });
            const auto run = runTool (dir, args);

            EXPECT_EQ (run.status, 2);
            EXPECT_TRUE (run.out.isEmpty()) << run.out;
            ASSERT_EQ (run.errLines().size(), 1) << run.err;
            EXPECT_TRUE (run.err.startsWith ("vistrel-analyse: ")) << run.err;
            EXPECT_TRUE (run.err.contains (c.reason)) << run.err;
            if (preexisting)
                EXPECT_EQ (target.loadFileAsString(), "keep me\n");
            else
                EXPECT_FALSE (target.exists());
        }
    }

    // The scratch folder holds only what the test made: no temporary output left over.
    EXPECT_EQ (dir.findChildFiles (juce::File::findFilesAndDirectories, false).size(), 5);
}

TEST_F (ToolCli, MissingFileWithoutOutputOptionAlsoExitsTwo)
{
    const auto run = runTool (dir, { "does-not-exist.wav" });
    EXPECT_EQ (run.status, 2);
    EXPECT_EQ (run.errLines().size(), 1);
    EXPECT_TRUE (run.out.isEmpty());
}

TEST_F (ToolCli, UnwritableOutputIsRefusedBeforeAnyWork)
{
    const auto run = runTool (dir, { "tone.wav", "-o", "no-such-folder/out.jsonl" });
    EXPECT_EQ (run.status, 2);
    EXPECT_EQ (run.errLines().size(), 1) << run.err;
    EXPECT_TRUE (run.err.contains ("folder does not exist")) << run.err;
}

TEST_F (ToolCli, HelpListsTheOptionsAndEveryParameter)
{
    const auto run = runTool (dir, { "--help" });
    EXPECT_EQ (run.status, 0);
    for (const auto* word : { "--tick-ms", "--block", "--param", "--host-bpm", "--host-playing", "--host-sig",
                              "--summary", "-o", "beatSource", "sensitivity" })
        EXPECT_TRUE (run.out.contains (word)) << word;
}

} // namespace
