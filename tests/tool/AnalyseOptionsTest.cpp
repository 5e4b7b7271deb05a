// The tool's pieces in-process: command line, parameter values, tick grid, play head, summary.
#include <gtest/gtest.h>

#include "AnalyseOptions.h"
#include "OfflineRun.h"
#include "RunSummary.h"

namespace
{
using namespace vistrel::analyse;

juce::StringArray split (const char* commandLine)
{
    return juce::StringArray::fromTokens (commandLine, " ", "");
}

TEST (AnalyseOptions, DefaultsWithOnlyAFile)
{
    const auto r = parseArguments (split ("track.wav"));
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_EQ (r.options.inputPath, "track.wav");
    EXPECT_FALSE (r.options.outputPath.has_value());
    EXPECT_EQ (r.options.tickMs, 8.0);
    EXPECT_EQ (r.options.blockSize, 512);
    EXPECT_TRUE (r.options.params.empty());
    EXPECT_FALSE (r.options.host.has_value());
    EXPECT_FALSE (r.options.summary);
}

TEST (AnalyseOptions, EveryOptionInBothSpellings)
{
    for (const auto* line : { "-o out.jsonl --tick-ms 16.5 --block 384 --param sensitivity=-3.5 --param beatSource=Host "
                               "--host-bpm 97 --host-playing --host-sig 6/8 --summary track.flac",
                               "track.flac --output=out.jsonl --tick-ms=16.5 --block=384 --param=sensitivity=-3.5 "
                               "--param=beatSource=Host --host-bpm=97 --host-playing --host-sig=6/8 --summary" })
    {
        SCOPED_TRACE (line);
        const auto r = parseArguments (split (line));
        ASSERT_TRUE (r.ok()) << r.error;
        const auto& o = r.options;
        EXPECT_EQ (o.inputPath, "track.flac");
        EXPECT_EQ (o.outputPath.value_or ("-"), "out.jsonl");
        EXPECT_EQ (o.tickMs, 16.5);
        EXPECT_EQ (o.blockSize, 384);
        ASSERT_EQ (o.params.size(), 2u);
        EXPECT_EQ (o.params[0].id, "sensitivity");
        EXPECT_EQ (o.params[0].value, "-3.5");
        EXPECT_EQ (o.params[1].id, "beatSource");
        EXPECT_EQ (o.params[1].value, "Host");
        ASSERT_TRUE (o.host.has_value());
        EXPECT_EQ (o.host->bpm, 97.0);
        EXPECT_TRUE (o.host->playing);
        EXPECT_EQ (o.host->sigNumerator, 6);
        EXPECT_EQ (o.host->sigDenominator, 8);
        EXPECT_TRUE (o.summary);
    }
}

TEST (AnalyseOptions, AnyHostOptionBringsAHostAt120Bpm)
{
    const auto r = parseArguments (split ("a.wav --host-sig 3/4"));
    ASSERT_TRUE (r.ok()) << r.error;
    ASSERT_TRUE (r.options.host.has_value());
    EXPECT_EQ (r.options.host->bpm, 120.0);
    EXPECT_FALSE (r.options.host->playing);
    EXPECT_EQ (r.options.host->sigNumerator, 3);
}

TEST (AnalyseOptions, FileNamesAfterDoubleDashMayStartWithADash)
{
    const auto r = parseArguments (split ("--block 64 -- -odd.wav"));
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_EQ (r.options.inputPath, "-odd.wav");
    EXPECT_EQ (r.options.blockSize, 64);
}

TEST (AnalyseOptions, HelpNeedsNoFile)
{
    const auto r = parseArguments (split ("--help"));
    ASSERT_TRUE (r.ok()) << r.error;
    EXPECT_TRUE (r.options.help);
}

TEST (AnalyseOptions, RefusesBadCommandLinesWithTheReason)
{
    struct Case { const char* line; const char* reason; };
    const Case cases[] = {
        { "", "no input file" },
        { "--summary", "no input file" },
        { "a.wav b.wav", "unexpected extra argument 'b.wav'" },
        { "a.wav --frobnicate", "unknown option '--frobnicate'" },
        { "a.wav -x", "unknown option '-x'" },
        { "a.wav --summary=yes", "--summary takes no value" },
        { "a.wav --tick-ms", "--tick-ms needs a value" },
        { "a.wav --tick-ms 0", "--tick-ms wants" },
        { "a.wav --tick-ms -8", "--tick-ms wants" },
        { "a.wav --tick-ms 8ms", "--tick-ms wants" },
        { "a.wav --tick-ms 251", "--tick-ms wants" },
        { "a.wav --tick-ms nan", "--tick-ms wants" },
        { "a.wav --block 0", "--block wants" },
        { "a.wav --block 12.5", "--block wants" },
        { "a.wav --block 40000", "--block wants" },
        { "a.wav --block lots", "--block wants" },
        { "a.wav --host-bpm 0", "--host-bpm wants" },
        { "a.wav --host-bpm fast", "--host-bpm wants" },
        { "a.wav --host-sig 7", "--host-sig wants" },
        { "a.wav --host-sig 0/4", "--host-sig wants" },
        { "a.wav --host-sig 3/x", "--host-sig wants" },
        { "a.wav --param sensitivity", "--param wants ID=VALUE" },
        { "a.wav --param loudness=3", "unknown parameter 'loudness'" },
        { "a.wav --param Sensitivity=3", "unknown parameter 'Sensitivity'" },
        { "a.wav --param sensitivity=", "--param sensitivity has no value" },
        { "a.wav -o", "-o needs a value" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.line);
        const auto r = parseArguments (split (c.line));
        ASSERT_FALSE (r.ok());
        EXPECT_TRUE (r.error.contains (c.reason)) << r.error;
        EXPECT_FALSE (r.error.containsChar ('\n'));
    }
}

TEST (AnalyseOptions, NumbersMustBeWholeDecimalTexts)
{
    struct Case { const char* text; std::optional<double> value; };
    const Case cases[] = {
        { "8", 8.0 }, { "-3.5", -3.5 }, { "0.001", 0.001 }, { "1e2", 100.0 },
        { "", std::nullopt }, { " 8", std::nullopt }, { "8 ", std::nullopt }, { "8x", std::nullopt },
        { "+8", std::nullopt }, { "inf", std::nullopt }, { "nan", std::nullopt }, { "1,5", std::nullopt },
    };

    for (const auto& c : cases)
        EXPECT_EQ (parseNumber (c.text), c.value) << "'" << c.text << "'";
}

//==============================================================================
TEST (AnalyseParams, ValuesLandInTheParameterUnits)
{
    VistrelAudioProcessor processor;
    const auto problem = applyParams (processor, { { "sensitivity", "-6.5" }, { "attack", "25" }, { "wBass", "0" },
                                                   { "beatSource", "auto" }, { "colour", "4" }, { "autoPilot", "on" },
                                                   { "scene", "34" } });
    ASSERT_TRUE (problem.isEmpty()) << problem;

    const auto valueOf = [&] (const char* id)
    {
        auto* p = processor.apvts.getParameter (id);
        return p->convertFrom0to1 (p->getValue());
    };
    EXPECT_NEAR (valueOf ("sensitivity"), -6.5f, 1e-4f);
    EXPECT_NEAR (valueOf ("attack"), 25.0f, 1e-3f);
    EXPECT_EQ (valueOf ("wBass"), 0.0f);
    EXPECT_EQ (valueOf ("beatSource"), 1.0f);
    EXPECT_EQ (valueOf ("colour"), 4.0f);
    EXPECT_EQ (valueOf ("autoPilot"), 1.0f);
    EXPECT_EQ (valueOf ("scene"), 34.0f);
}

TEST (AnalyseParams, RefusesValuesOutsideWhatTheParameterHolds)
{
    struct Case { const char* id; const char* value; const char* reason; };
    const Case cases[] = {
        { "sensitivity", "25", "from -24 to 24" },
        { "sensitivity", "loud", "from -24 to 24" },
        { "release", "20", "from 50 to 2000" },
        { "scene", "0", "whole number from 1 to 34" },
        { "scene", "2.5", "whole number from 1 to 34" },
        { "beatSource", "3", "index from 0 to 2" },
        { "beatSource", "1.5", "index from 0 to 2" },
        { "beatSource", "Manual", "\"Host\", \"Auto\", \"Hybrid\"" },
        { "autoPilot", "2", "0, 1, on or off" },
        { "autoPilot", "maybe", "0, 1, on or off" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.id) + "=" + c.value);
        VistrelAudioProcessor processor;
        auto* param = processor.apvts.getParameter (c.id);
        const float before = param->getValue();

        const auto problem = applyParams (processor, { { c.id, c.value } });
        EXPECT_TRUE (problem.contains (c.reason)) << problem;
        EXPECT_EQ (param->getValue(), before);
    }
}

//==============================================================================
TEST (AnalyseTicks, OneFramePerTickWhoseAudioIsWhollyInTheFile)
{
    struct Case { juce::int64 samples; double rate; double tickMs; juce::int64 ticks; };
    const Case cases[] = {
        { 0, 48000, 8, 0 },
        { 383, 48000, 8, 0 },
        { 384, 48000, 8, 1 },
        { 48000, 48000, 8, 125 },
        { 48000 * 180, 48000, 8, 22500 },
        { 44100, 44100, 8, 125 },        // 352.8 samples a tick
        { 44099, 44100, 8, 124 },
        { 48000, 48000, 1000.0 / 60.0, 60 },
        { 96000, 96000, 0.1, 10000 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (tickCountFor (c.samples, c.rate, c.tickMs), c.ticks)
            << c.samples << " samples at " << c.rate << " Hz, " << c.tickMs << " ms";
}

TEST (AnalysePlayHead, PositionFollowsTheSamplesWhilePlaying)
{
    SimulatedTransport transport;
    transport.bpm = 90.0;
    transport.playing = true;
    transport.sigNumerator = 6;
    transport.sigDenominator = 8;
    SimulatedPlayHead head (transport, 48000.0);

    // 90 BPM is 1.5 quarter notes a second; a 6/8 bar is 3 quarter notes.
    struct Case { juce::int64 sample; double ppq; double barStart; };
    for (const auto c : { Case { 0, 0.0, 0.0 }, Case { 48000, 1.5, 0.0 }, Case { 96000, 3.0, 3.0 },
                          Case { 48000 * 5, 7.5, 6.0 } })
    {
        head.moveTo (c.sample);
        const auto p = head.getPosition();
        ASSERT_TRUE (p.hasValue());
        EXPECT_NEAR (*p->getPpqPosition(), c.ppq, 1e-9) << c.sample;
        EXPECT_NEAR (*p->getPpqPositionOfLastBarStart(), c.barStart, 1e-9) << c.sample;
        EXPECT_EQ (*p->getBpm(), 90.0);
        EXPECT_TRUE (p->getIsPlaying());
        EXPECT_EQ (p->getTimeSignature()->numerator, 6);
        EXPECT_EQ (p->getTimeSignature()->denominator, 8);
    }
}

TEST (AnalysePlayHead, AStoppedHostStaysAtTheStart)
{
    SimulatedTransport transport;
    transport.bpm = 140.0;
    SimulatedPlayHead head (transport, 44100.0);
    head.moveTo (441000);
    const auto p = head.getPosition();
    EXPECT_EQ (*p->getPpqPosition(), 0.0);
    EXPECT_FALSE (p->getIsPlaying());
    EXPECT_EQ (*p->getBpm(), 140.0);
}

//==============================================================================
TEST (AnalyseSummary, MedianOverTheLastHalfMeanLoudAudibleShareAndMaxConfidence)
{
    vistrel::Analysis analysis;
    RunSummary summary;

    // The first half (a wandering tracker) must not count towards the median.
    const float bpms[] = { 60, 200, 200, 200, 119, 121, 120, 180 };
    const float louds[] = { 0, 0, 0.5f, 0.5f, 1, 1, 0, 1 };
    const float confs[] = { 0, 0.9f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f };

    for (int i = 0; i < 8; ++i)
    {
        analysis.bpm = bpms[i];
        analysis.loud = louds[i];
        analysis.beatConf = confs[i];
        summary.add (analysis);
    }

    EXPECT_EQ (summary.ticks(), 8);
    EXPECT_DOUBLE_EQ (summary.medianBpmOfLastHalf(), 120.5); // of 119, 121, 120, 180
    EXPECT_DOUBLE_EQ (summary.meanLoud(), 4.0 / 8.0);
    EXPECT_DOUBLE_EQ (summary.audibleShare(), 5.0 / 8.0);
    EXPECT_NEAR (summary.maxBeatConf(), 0.9, 1e-6);

    analysis.bpm = 500;
    summary.add (analysis); // the last half is now 119, 121, 120, 180, 500
    EXPECT_DOUBLE_EQ (summary.medianBpmOfLastHalf(), 121.0);
}

TEST (AnalyseSummary, EmptyRunReportsZeros)
{
    RunSummary summary;
    EXPECT_EQ (summary.medianBpmOfLastHalf(), 0.0);
    EXPECT_EQ (summary.meanLoud(), 0.0);
    EXPECT_EQ (summary.audibleShare(), 0.0);
    const auto text = summary.format ({ "x.wav", "WAV file", 48000, 2, 0, 8 });
    EXPECT_TRUE (text.contains ("0.00 s")) << text;
}

} // namespace
