// End-to-end: generated tracks through the built vistrel-analyse, read back from its frames.
#include "ToolHarness.h"

namespace
{
using namespace vistrel::tooltest;

constexpr double kRate = 48000.0;
constexpr double kTick = 0.008;

double frac (double x) { return x - std::floor (x); }

// Seconds into the file at which frame i (0-based) was taken.
double timeOf (size_t i) { return (double) (i + 1) * kTick; }

juce::String trajectory (const std::vector<Frame>& frames)
{
    juce::String s;
    for (size_t i = 124; i < frames.size(); i += 125)
        s << juce::String (timeOf (i), 0) << "s: bpm " << juce::String (frames[i].bpm, 2) << " conf "
          << juce::String (frames[i].beatConf, 3) << "\n";
    return s;
}

class ToolScenario : public ScratchDir
{
protected:
    std::vector<Frame> analyse (const juce::String& name, const juce::StringArray& extra = {})
    {
        juce::StringArray args { name };
        args.addArray (extra);
        const auto run = runTool (dir, args);
        EXPECT_EQ (run.status, 0) << run.err;
        return parseFrames (run.lines());
    }
};

//==============================================================================
struct TempoCase
{
    double played;  // tempo of the click track
    double tracked; // tempo the tracker is expected to settle on
};

class ClickTrackTempo : public ToolScenario, public ::testing::WithParamInterface<TempoCase> {};

// A click track settles within 10 s to the played tempo, and the tracker grows confident.
TEST_P (ClickTrackTempo, SettlesWithinTenSecondsAndGainsConfidence)
{
    const auto c = GetParam();
    writeAudio (dir.getChildFile ("clicks.wav"), clickTrack (c.played, 16.0, kRate), kRate);
    const auto frames = analyse ("clicks.wav");
    ASSERT_EQ (frames.size(), 2000u);
    SCOPED_TRACE (trajectory (frames).toStdString());

    for (size_t i = 0; i < frames.size(); ++i)
    {
        if (timeOf (i) >= 10.0)
        {
            ASSERT_NEAR (frames[i].bpm, c.tracked, 1.0) << "at " << timeOf (i) << " s";
        }
    }

    const auto confAt = [&] (double seconds) { return frames[(size_t) std::lround (seconds / kTick) - 1].beatConf; };
    EXPECT_LT (confAt (1.0), 0.1);
    EXPECT_GT (confAt (10.0), confAt (3.0));
    EXPECT_GT (confAt (16.0), 0.5);

    const auto summary = runTool (dir, { "clicks.wav", "--summary" });
    const auto bpmLine = summary.out.fromFirstOccurrenceOf ("\nbpm ", false, false);
    ASSERT_TRUE (bpmLine.isNotEmpty()) << summary.out;
    EXPECT_NEAR (bpmLine.trimStart().getDoubleValue(), c.tracked, 1.0) << summary.out;
}

INSTANTIATE_TEST_SUITE_P (Tempos, ClickTrackTempo,
                          ::testing::Values (TempoCase { 120, 120 }, TempoCase { 93, 93 }, TempoCase { 140, 140 }),
                          [] (const auto& test) { return "Bpm" + std::to_string ((int) test.param.played); });

//==============================================================================
TEST_F (ToolScenario, SilenceIsIdleAndSilent)
{
    writeAudio (dir.getChildFile ("silence.wav"), silence (2, 5.0, kRate), kRate);
    const auto frames = analyse ("silence.wav");
    ASSERT_EQ (frames.size(), 625u);

    for (const auto& f : frames)
    {
        ASSERT_EQ (f.loud, 0.0);
        ASSERT_EQ (f.rms, 0.0);
    }

    // Idle starts at 1, sags while the first 1.2 s of silence count as a pause, then rises to 1.
    const double atPause = frames[(size_t) (1.2 / kTick)].idle;
    EXPECT_LT (atPause, 0.5);
    EXPECT_GT (frames[(size_t) (2.4 / kTick)].idle, atPause);
    EXPECT_GT (frames.back().idle, 0.99);
}

// The sensitivity gain multiplies the level; the display gain, which adapts to the signal, does
// not depend on it, so the settled rms scales by exactly the gain while nothing saturates.
TEST_F (ToolScenario, SensitivityScalesTheLevel)
{
    writeAudio (dir.getChildFile ("quiet.wav"), sine (2, 3.0, kRate, 440, 0.01f), kRate);
    const double reference = analyse ("quiet.wav").back().rms;
    ASSERT_GT (reference, 0.005);
    ASSERT_LT (reference, 0.2);

    for (const double db : { -12.0, -6.0, 6.0, 12.0 })
    {
        const auto frames = analyse ("quiet.wav", { "--param", "sensitivity=" + juce::String (db) });
        ASSERT_FALSE (frames.empty());
        EXPECT_NEAR (frames.back().rms / reference, std::pow (10.0, db / 20.0), 0.02 * std::pow (10.0, db / 20.0))
            << db << " dB";
    }
}

//==============================================================================
// Which tempo the frames carry for each beat source, with a simulated host at 97 BPM playing or
// stopped, over a 120 BPM click track: the host's tempo, or the tracker's.
TEST_F (ToolScenario, BeatSourceChoosesBetweenHostAndTracker)
{
    writeAudio (dir.getChildFile ("clicks.wav"), clickTrack (120, 12.0, kRate), kRate);

    struct Case { const char* source; bool playing; double bpm; int playingFlag; };
    const Case cases[] = {
        { "Host", false, 97.0, 0 },
        { "Host", true, 97.0, 1 },
        { "Hybrid", true, 97.0, 1 },
        { "Hybrid", false, 120.0, 0 }, // a stopped host leaves Hybrid to the tracker
        { "Auto", true, 120.0, 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.source) + (c.playing ? ", playing" : ", stopped"));
        juce::StringArray extra { "--host-bpm", "97", "--param", juce::String ("beatSource=") + c.source };
        if (c.playing)
            extra.add ("--host-playing");

        const auto frames = analyse ("clicks.wav", extra);
        ASSERT_EQ (frames.size(), 1500u);
        EXPECT_EQ (frames.back().playing, c.playingFlag);
        EXPECT_NEAR (frames.back().bpm, c.bpm, c.bpm == 97.0 ? 1e-9 : 1.0);
        if (c.bpm == 97.0)
        {
            for (const auto& f : frames)
                ASSERT_EQ (f.bpm, 97.0);
        }
    }
}

// A stopped host's beat runs freely at its tempo from the start of the file.
TEST_F (ToolScenario, StoppedHostBeatRunsAtItsTempo)
{
    writeAudio (dir.getChildFile ("tone.wav"), sine (2, 2.0, kRate, 440, 0.1f), kRate);
    const auto frames = analyse ("tone.wav", { "--host-bpm", "90", "--param", "beatSource=Host" });
    ASSERT_EQ (frames.size(), 250u);

    for (size_t i = 0; i < frames.size(); ++i)
    {
        const double beats = timeOf (i) * 90.0 / 60.0;
        ASSERT_NEAR (frames[i].beatPhase, frac (beats), 2e-6) << i;
        ASSERT_NEAR (frames[i].barPhase, frac (beats / 4.0), 2e-6) << i;
    }
}

// A playing host's position follows the audio: each frame shows the position at the start of the
// last block fed before it, and the bar of the host's signature.
TEST_F (ToolScenario, PlayingHostPositionFollowsTheAudio)
{
    writeAudio (dir.getChildFile ("tone.wav"), sine (2, 2.0, kRate, 440, 0.1f), kRate);

    struct Case { const char* sig; int num, den; double barQuarters; };
    for (const auto c : { Case { "3/4", 3, 4, 3.0 }, Case { "6/8", 6, 8, 3.0 }, Case { "7/8", 7, 8, 3.5 } })
    {
        SCOPED_TRACE (c.sig);
        // 384-sample blocks are exactly one 8 ms tick at 48 kHz.
        const auto frames = analyse ("tone.wav", { "--host-bpm", "128", "--host-playing", "--host-sig", c.sig,
                                                   "--block", "384" });
        ASSERT_EQ (frames.size(), 250u);

        for (size_t i = 0; i < frames.size(); ++i)
        {
            const double ppq = (double) (i * 384) / kRate * 128.0 / 60.0;
            ASSERT_EQ (frames[i].tsNum, c.num);
            ASSERT_EQ (frames[i].tsDen, c.den);
            ASSERT_EQ (frames[i].bpm, 128.0);
            ASSERT_EQ (frames[i].playing, 1);
            ASSERT_NEAR (frames[i].beatPhase, frac (ppq), 2e-6) << i;
            const double intoBar = ppq - std::floor (ppq / c.barQuarters) * c.barQuarters;
            ASSERT_NEAR (frames[i].barPhase, frac (intoBar / c.barQuarters), 2e-6) << i;
        }
    }
}

} // namespace
