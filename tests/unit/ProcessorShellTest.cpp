#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "TestHelpers.h"

namespace
{
using Set = juce::AudioChannelSet;

struct LayoutCase
{
    const char* name;
    Set in, out;
    bool accepted;
};

class BusLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P (BusLayouts, AcceptsOnlyMatchingMonoOrStereo)
{
    VistrelAudioProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (GetParam().in);
    layout.outputBuses.add (GetParam().out);
    EXPECT_EQ (processor.checkBusesLayoutSupported (layout), GetParam().accepted) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P (Table, BusLayouts,
    ::testing::Values (LayoutCase { "mono/mono", Set::mono(), Set::mono(), true },
                       LayoutCase { "stereo/stereo", Set::stereo(), Set::stereo(), true },
                       LayoutCase { "stereo/mono", Set::stereo(), Set::mono(), false },
                       LayoutCase { "mono/stereo", Set::mono(), Set::stereo(), false },
                       LayoutCase { "none/stereo", Set::disabled(), Set::stereo(), false },
                       LayoutCase { "5.1/5.1", Set::create5point1(), Set::create5point1(), false },
                       LayoutCase { "quad/quad", Set::quadraphonic(), Set::quadraphonic(), false },
                       // Same channel count, other channel types: compared as wholes.
                       LayoutCase { "discrete2/stereo", Set::discreteChannels (2), Set::stereo(), false },
                       LayoutCase { "stereo/discrete2", Set::stereo(), Set::discreteChannels (2), false },
                       LayoutCase { "disabled/disabled", Set::disabled(), Set::disabled(), false }));

TEST (ProcessorShell, IdentityAndFixedAnswers)
{
    VistrelAudioProcessor processor;
    EXPECT_EQ (processor.getName(), "Quorvane Vistrel");
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_FALSE (processor.isMidiEffect());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_EQ (processor.getLatencySamples(), 0);

    ASSERT_EQ (processor.getBusCount (true), 1);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (true, 0)->getCurrentLayout(), Set::stereo());
    EXPECT_EQ (processor.getBus (false, 0)->getCurrentLayout(), Set::stereo());
}

TEST (ProcessorShell, OneProgramThatNeverChanges)
{
    VistrelAudioProcessor processor;
    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getProgramName (0), "VISTREL");
    EXPECT_EQ (processor.getProgramName (5), "VISTREL");
    processor.setCurrentProgram (3);
    processor.changeProgramName (0, "Other");
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (processor.getProgramName (0), "VISTREL");
}

TEST (ProcessorShell, PrepareToPlayOnlyStoresTheRate)
{
    VistrelAudioProcessor processor;
    EXPECT_EQ (processor.currentSampleRate.load(), 48000.0);

    juce::MemoryBlock before;
    processor.getStateInformation (before);
    const auto tapWrite = processor.tap.writePos.load();

    processor.prepareToPlay (44100.0, 512);
    processor.prepareToPlay (96000.0, 64);

    EXPECT_EQ (processor.currentSampleRate.load(), 96000.0);
    EXPECT_EQ (processor.getLatencySamples(), 0);
    EXPECT_EQ (processor.tap.writePos.load(), tapWrite);
    EXPECT_EQ (processor.exportTap.capacity, ExportAudioTap::kCapacity);

    juce::MemoryBlock after;
    processor.getStateInformation (after);
    EXPECT_EQ (before, after);
}

TEST (ProcessorShell, ConstructorSizesTheRingsOnce)
{
    VistrelAudioProcessor processor;
    EXPECT_EQ (processor.tap.capacity, 32768);
    EXPECT_EQ (processor.tap.mask, 32767);
    for (auto& ring : processor.tap.ring)
        EXPECT_EQ (ring.size(), 32768u);

    EXPECT_EQ (processor.exportTap.capacity, 524288);
    EXPECT_EQ (processor.exportTap.left.size(), 524288u);
    EXPECT_EQ (processor.exportTap.right.size(), 524288u);
    EXPECT_EQ (processor.exportScratch.getNumChannels(), 2);
    EXPECT_EQ (processor.exportScratch.getNumSamples(), 16384);
    EXPECT_FALSE (processor.exportThread.isThreadRunning());
    EXPECT_EQ (processor.exportThread.getThreadName(), "VISTREL export");
}

TEST (ProcessorShell, PassesAudioThroughUnchanged)
{
    VistrelAudioProcessor processor;
    processor.prepareToPlay (48000.0, 256);
    juce::Random random (7);
    juce::AudioBuffer<float> buffer (2, 256);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 256; ++i)
            buffer.setSample (c, i, random.nextFloat() * 2.0f - 1.0f);

    juce::AudioBuffer<float> original (buffer);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 3);
    const auto midiBefore = midi.data;

    processor.processBlock (buffer, midi);

    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ (buffer.getSample (c, i), original.getSample (c, i));
    EXPECT_EQ (midi.data, midiBefore);
}

TEST (ProcessorShell, CreatesAnEditor)
{
    VistrelAudioProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (&editor->processor, &processor);
}

} // namespace
