#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "TestHelpers.h"

namespace
{
using vistrel::test::FakePlayHead;

juce::AudioBuffer<float> countingBlock (int channels, int n, float start = 0.0f)
{
    juce::AudioBuffer<float> buffer (channels, n);
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < n; ++i)
            buffer.setSample (c, i, start + (float) i * (c == 0 ? 1.0f : -1.0f));
    return buffer;
}

void process (VistrelAudioProcessor& p, juce::AudioBuffer<float>& buffer)
{
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
}

void arm (ExportAudioTap& tap)
{
    tap.armed.store (true, std::memory_order_release);
}

TEST (Capture, LongStereoBlockKeepsTheNewestRingFull)
{
    VistrelAudioProcessor p;
    arm (p.exportTap);
    auto buffer = countingBlock (2, 40000);
    process (p, buffer);

    EXPECT_EQ (p.tap.writePos.load(), 32768u);
    for (int i = 0; i < 32768; ++i)
    {
        const float x = (float) (7232 + i);
        ASSERT_EQ (p.tap.ring[1][(size_t) i], x);
        ASSERT_EQ (p.tap.ring[2][(size_t) i], -x);
        ASSERT_EQ (p.tap.ring[0][(size_t) i], 0.0f);
    }

    EXPECT_EQ (p.exportTap.writePos.load(), 40000u);
    EXPECT_EQ (p.exportTap.left[0], 0.0f);
    EXPECT_EQ (p.exportTap.left[39999], 39999.0f);
    EXPECT_EQ (p.exportTap.right[39999], -39999.0f);
    EXPECT_EQ (p.exportTap.dropped.load(), 0u);
}

TEST (Capture, MonoBlockFillsAllThreeRings)
{
    VistrelAudioProcessor p;
    arm (p.exportTap);
    auto buffer = countingBlock (1, 100, 0.25f);
    process (p, buffer);

    for (size_t i = 0; i < 100; ++i)
    {
        const float x = 0.25f + (float) i;
        EXPECT_EQ (p.tap.ring[0][i], x);
        EXPECT_EQ (p.tap.ring[1][i], x);
        EXPECT_EQ (p.tap.ring[2][i], x);
        EXPECT_EQ (p.exportTap.left[i], x);
        EXPECT_EQ (p.exportTap.right[i], x);
    }
}

TEST (Capture, MidIsTheHalfSumAndRingsWrap)
{
    VistrelAudioProcessor p;
    juce::AudioBuffer<float> buffer (2, 1);
    buffer.setSample (0, 0, 1.0f);
    buffer.setSample (1, 0, -1.0f);
    process (p, buffer);
    EXPECT_EQ (p.tap.ring[0][0], 0.0f);
    EXPECT_EQ (p.tap.ring[1][0], 1.0f);
    EXPECT_EQ (p.tap.ring[2][0], -1.0f);

    // Continue past the end of the ring: slots are taken by masking.
    auto more = countingBlock (2, 32768, 1.0f);
    process (p, more);
    EXPECT_EQ (p.tap.writePos.load(), 32769u);
    EXPECT_EQ (p.tap.ring[1][0], 32768.0f); // sample 32768 lands in slot 0
    EXPECT_EQ (p.tap.ring[1][1], 1.0f);
}

TEST (Capture, ExtraChannelsAreIgnored)
{
    VistrelAudioProcessor p;
    juce::AudioBuffer<float> buffer (3, 4);
    buffer.clear();
    buffer.setSample (0, 0, 0.5f);
    buffer.setSample (1, 0, 0.25f);
    buffer.setSample (2, 0, 9.0f);
    process (p, buffer);
    EXPECT_EQ (p.tap.ring[1][0], 0.5f);
    EXPECT_EQ (p.tap.ring[2][0], 0.25f);
    EXPECT_EQ (p.tap.ring[0][0], 0.375f);
}

TEST (Capture, EmptyBlocksChangeNeitherRingButCaptureTransportAndMidi)
{
    VistrelAudioProcessor p;
    arm (p.exportTap);
    FakePlayHead head;
    juce::AudioPlayHead::PositionInfo info;
    info.setBpm (133.0);
    info.setIsPlaying (true);
    head.position = info;
    p.setPlayHead (&head);

    for (int channels : { 0, 2 })
    {
        juce::AudioBuffer<float> buffer (channels, 0);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, 61, (juce::uint8) 33), 0);
        p.processBlock (buffer, midi);
    }

    EXPECT_EQ (p.tap.writePos.load(), 0u);
    EXPECT_EQ (p.exportTap.writePos.load(), 0u);
    EXPECT_EQ (p.hostBpm.load(), 133.0);
    EXPECT_TRUE (p.hostPlaying.load());
    EXPECT_EQ (p.lastNote.load(), 61);
    EXPECT_EQ (p.noteCount.load(), 2);
}

TEST (Capture, NoteOnsWithZeroVelocityAreIgnored)
{
    VistrelAudioProcessor p;
    auto buffer = countingBlock (2, 64);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);
    midi.addEvent (juce::MidiMessage::noteOn (2, 64, (juce::uint8) 0), 1);
    midi.addEvent (juce::MidiMessage::noteOff (1, 60), 2);
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 7, 99), 3);
    midi.addEvent (juce::MidiMessage::noteOn (16, 67, (juce::uint8) 90), 4);
    p.processBlock (buffer, midi);

    EXPECT_EQ (p.lastNote.load(), 67);
    EXPECT_EQ (p.lastVelocity.load(), 90);
    EXPECT_EQ (p.noteCount.load(), 2);
}

struct TransportCase
{
    const char* name;
    std::function<void (juce::AudioPlayHead::PositionInfo&)> setUp;
    double bpm, ppq, barStart;
    int num, den;
    bool hasBpm, hasPpq, hasBarStart, playing;
};

class Transport : public ::testing::TestWithParam<TransportCase> {};

TEST_P (Transport, StoresWhatTheHostReports)
{
    const auto& c = GetParam();
    VistrelAudioProcessor p;
    FakePlayHead head;
    juce::AudioPlayHead::PositionInfo info;
    c.setUp (info);
    head.position = info;
    p.setPlayHead (&head);

    auto buffer = countingBlock (2, 16);
    process (p, buffer);

    EXPECT_EQ (p.hostBpm.load(), c.bpm);
    EXPECT_EQ (p.hostPpq.load(), c.ppq);
    EXPECT_EQ (p.hostBarStartPpq.load(), c.barStart);
    EXPECT_EQ (p.hostTsNum.load(), c.num);
    EXPECT_EQ (p.hostTsDen.load(), c.den);
    EXPECT_EQ (p.hostHasBpm.load(), c.hasBpm);
    EXPECT_EQ (p.hostHasPpq.load(), c.hasPpq);
    EXPECT_EQ (p.hostHasBarStart.load(), c.hasBarStart);
    EXPECT_EQ (p.hostPlaying.load(), c.playing);
}

using Info = juce::AudioPlayHead::PositionInfo;
using Sig = juce::AudioPlayHead::TimeSignature;

INSTANTIATE_TEST_SUITE_P (Table, Transport, ::testing::Values (
    TransportCase { "everything", [] (Info& i) { i.setBpm (97.5); i.setPpqPosition (12.25); i.setPpqPositionOfLastBarStart (12.0);
                                                  i.setTimeSignature (Sig { 7, 8 }); i.setIsPlaying (true); },
                    97.5, 12.25, 12.0, 7, 8, true, true, true, true },
    TransportCase { "nothing", [] (Info&) {}, 120.0, 0.0, 0.0, 4, 4, false, false, false, false },
    TransportCase { "tempo zero", [] (Info& i) { i.setBpm (0.0); }, 0.0, 0.0, 0.0, 4, 4, false, false, false, false },
    TransportCase { "negative tempo", [] (Info& i) { i.setBpm (-5.0); }, -5.0, 0.0, 0.0, 4, 4, false, false, false, false },
    TransportCase { "sig 0/4", [] (Info& i) { i.setTimeSignature (Sig { 0, 4 }); }, 120.0, 0.0, 0.0, 4, 4, false, false, false, false },
    TransportCase { "sig 3/0", [] (Info& i) { i.setTimeSignature (Sig { 3, 0 }); }, 120.0, 0.0, 0.0, 4, 4, false, false, false, false },
    TransportCase { "stopped with position", [] (Info& i) { i.setBpm (90.0); i.setPpqPosition (3.0); },
                    90.0, 3.0, 0.0, 4, 4, true, true, false, false }),
    [] (const auto& caseInfo) { return juce::String (caseInfo.param.name).replaceCharacters (" /", "__").toStdString(); });

TEST (Capture, NoPlayHeadClearsFlagsAndKeepsNumbers)
{
    VistrelAudioProcessor p;
    FakePlayHead head;
    Info info;
    info.setBpm (140.0);
    info.setPpqPosition (8.0);
    info.setPpqPositionOfLastBarStart (8.0);
    info.setTimeSignature (Sig { 3, 4 });
    info.setIsPlaying (true);
    head.position = info;
    p.setPlayHead (&head);
    auto buffer = countingBlock (2, 16);
    process (p, buffer);
    ASSERT_TRUE (p.hostPlaying.load());

    // A play head that reports no position, then no play head at all.
    head.position.reset();
    process (p, buffer);
    EXPECT_FALSE (p.hostPlaying.load());
    EXPECT_FALSE (p.hostHasBpm.load());

    p.setPlayHead (nullptr);
    process (p, buffer);
    EXPECT_FALSE (p.hostHasBpm.load());
    EXPECT_FALSE (p.hostHasPpq.load());
    EXPECT_FALSE (p.hostHasBarStart.load());
    EXPECT_FALSE (p.hostPlaying.load());
    EXPECT_EQ (p.hostBpm.load(), 140.0);
    EXPECT_EQ (p.hostPpq.load(), 8.0);
    EXPECT_EQ (p.hostTsNum.load(), 3);
    EXPECT_EQ (p.hostTsDen.load(), 4);
}

TEST (Capture, FreshProcessorWithoutPlayHeadKeepsDefaults)
{
    VistrelAudioProcessor p;
    auto buffer = countingBlock (2, 16);
    process (p, buffer);
    EXPECT_EQ (p.hostBpm.load(), 120.0);
    EXPECT_EQ (p.hostTsNum.load(), 4);
    EXPECT_EQ (p.hostTsDen.load(), 4);
    EXPECT_EQ (p.lastNote.load(), -1);
}

TEST (ExportRing, DisarmedRingIsNotTouched)
{
    VistrelAudioProcessor p;
    auto buffer = countingBlock (2, 512, 1.0f);
    process (p, buffer);
    EXPECT_EQ (p.exportTap.writePos.load(), 0u);
    EXPECT_EQ (p.exportTap.firstBlockTicks.load(), 0u);
    EXPECT_EQ (p.exportTap.left[0], 0.0f);
}

TEST (ExportRing, BlockThatDoesNotFitIsDroppedWholeAndCounted)
{
    VistrelAudioProcessor p;
    arm (p.exportTap);
    auto& ring = p.exportTap;

    // Leave 511 free frames: a 512-frame block must not go in, not even in part.
    ring.writePos.store ((uint64_t) ring.capacity - 511);
    const auto before = ring.writePos.load();
    auto buffer = countingBlock (2, 512, 5.0f);
    process (p, buffer);
    EXPECT_EQ (ring.dropped.load(), 512u);
    EXPECT_EQ (ring.writePos.load(), before);
    EXPECT_EQ (ring.left[(size_t) before], 0.0f);

    // Drain everything: the next block fits.
    ring.readPos = ring.writePos.load();
    ring.consumerPos.store (ring.readPos, std::memory_order_release);
    process (p, buffer);
    EXPECT_EQ (ring.writePos.load(), before + 512);
    EXPECT_EQ (ring.dropped.load(), 512u);
    EXPECT_EQ (ring.left[(size_t) (before & (uint64_t) (ring.capacity - 1))], 5.0f);
}

TEST (ExportRing, FirstArmedBlockIsStampedEvenWhenDropped)
{
    VistrelAudioProcessor p;
    auto& ring = p.exportTap;
    ring.writePos.store ((uint64_t) ring.capacity); // full
    arm (ring);

    const auto before = (uint64_t) juce::Time::getHighResolutionTicks();
    auto buffer = countingBlock (2, 64);
    process (p, buffer);
    const auto stamp = ring.firstBlockTicks.load();
    EXPECT_GE (stamp, before);
    EXPECT_EQ (ring.dropped.load(), 64u);

    // Later blocks keep the first stamp.
    ring.consumerPos.store (ring.writePos.load());
    process (p, buffer);
    EXPECT_EQ (ring.firstBlockTicks.load(), stamp);
}

TEST (ExportRing, UnpreparedRingIsStampedButStoresNothing)
{
    ExportAudioTap ring;
    ring.armed.store (true);
    const float samples[4] = { 1, 2, 3, 4 };
    ring.write (samples, samples, 4);
    EXPECT_NE (ring.firstBlockTicks.load(), 0u);
    EXPECT_EQ (ring.writePos.load(), 0u);
    EXPECT_EQ (ring.dropped.load(), 0u);
}

} // namespace
