#include <thread>

#include "ExportTestRig.h"

namespace
{
using namespace vistrel::test;

TEST (ExportAudio, FirstCallCreatesTheSessionBothFilesAndArms)
{
    ExportRig rig;
    const auto answer = call (vistrel::exportAudioStart, rig.p(), { "rec" });
    auto& session = *rig.p().exportSession;

    EXPECT_EQ (answer.toString(), R"({"video":)" + vistrel::jsonQuote (session.videoFile.getFullPathName())
                                      + R"(,"ok":true,"audio":)" + vistrel::jsonQuote (session.audioFile.getFullPathName()) + "}");
    EXPECT_TRUE (session.videoFile.existsAsFile());
    EXPECT_EQ (session.videoFile.getSize(), 0);
    EXPECT_TRUE (session.audioFile.existsAsFile());
    EXPECT_EQ (session.audioFile.getFileNameWithoutExtension(), session.videoFile.getFileNameWithoutExtension());
    EXPECT_TRUE (rig.p().exportTap.armed.load());
    EXPECT_TRUE (rig.p().exportThread.isThreadRunning());
    EXPECT_GE (session.armTicks, session.startTicks);
}

TEST (ExportAudio, SecondStartForTheSameNameKeepsTheTap)
{
    ExportRig rig;
    const auto first = call (vistrel::exportAudioStart, rig.p(), { "rec" }).toString();
    uint64_t frame = 0;
    feed (rig.p(), frame, 512);
    rig.p().exportTap.dropped.store (7);
    const auto firstBlock = rig.p().exportTap.firstBlockTicks.load();
    ASSERT_NE (firstBlock, 0u);

    EXPECT_EQ (call (vistrel::exportAudioStart, rig.p(), { "rec" }).toString(), first);
    EXPECT_EQ (rig.p().exportTap.dropped.load(), 7u);
    EXPECT_EQ (rig.p().exportTap.writePos.load(), 512u);
    EXPECT_EQ (rig.p().exportTap.firstBlockTicks.load(), firstBlock);
}

TEST (ExportAudio, UnopenableWavIsReportedAndNothingArmed)
{
    ExportRig rig;
    call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
    auto& session = *rig.p().exportSession;
    session.audioFile.createDirectory(); // something that cannot be opened as a file

    EXPECT_EQ (call (vistrel::exportAudioStart, rig.p(), { "rec" }).toString(),
               R"({"video":)" + vistrel::jsonQuote (session.videoFile.getFullPathName()) + R"(,"ok":false,"err":)"
                   + vistrel::jsonQuote ("could not open " + session.audioFile.getFullPathName()) + "}");
    EXPECT_FALSE (rig.p().exportTap.armed.load());
    EXPECT_EQ (session.audioWriter, nullptr);
}

TEST (ExportAudio, WavCarriesTheSessionRateAt24Bits)
{
    struct Case { double prepared; double expected; };
    for (const auto c : { Case { 0.0, 48000.0 }, Case { 44100.0, 44100.0 }, Case { 96000.0, 96000.0 } })
    {
        ExportRig rig;
        if (c.prepared > 0.0)
            rig.p().prepareToPlay (c.prepared, 512);

        call (vistrel::exportAudioStart, rig.p(), { "rec" });
        uint64_t frame = 0;
        feed (rig.p(), frame, 300);

        // A rate change mid-recording does not change the file.
        rig.p().prepareToPlay (22050.0, 512);
        const auto wavFile = rig.p().exportSession->audioFile;
        rig.p().finishSession (false);

        double rate = 0.0;
        int bits = 0;
        const auto wav = readWav (wavFile, &rate, &bits);
        EXPECT_EQ (rate, c.expected);
        EXPECT_EQ (bits, 24);
        EXPECT_TRUE (holdsFrames (wav, 0, 300));
    }
}

TEST (ExportAudio, MonoInputBecomesTwoEqualChannels)
{
    ExportRig rig;
    call (vistrel::exportAudioStart, rig.p(), { "rec" });
    uint64_t frame = 0;
    feed (rig.p(), frame, 1000, 1);
    const auto wavFile = rig.p().exportSession->audioFile;
    rig.p().finishSession (false);

    const auto wav = readWav (wavFile);
    ASSERT_EQ (wav.getNumSamples(), 1000);
    for (int i = 0; i < 1000; ++i)
    {
        ASSERT_EQ (wav.getSample (0, i), gridSample ((uint64_t) i, 0));
        ASSERT_EQ (wav.getSample (1, i), gridSample ((uint64_t) i, 0));
    }
}

TEST (ExportAudio, OneDrainTakesEverythingWaitingInChunks)
{
    ExportRig rig;
    call (vistrel::exportAudioStart, rig.p(), { "rec" });
    uint64_t frame = 0;
    feed (rig.p(), frame, 40000);

    rig.p().exportPumpAudio();
    EXPECT_EQ (rig.p().exportSession->audioFrames, 40000);
    EXPECT_EQ (rig.p().exportTap.readPos, 40000u);
    EXPECT_EQ (rig.p().exportTap.consumerPos.load(), 40000u);

    rig.p().exportPumpAudio(); // nothing new
    EXPECT_EQ (rig.p().exportSession->audioFrames, 40000);
}

TEST (ExportAudio, PumpWithoutAudioDoesNothing)
{
    ExportRig rig;
    rig.p().exportPumpAudio();
    call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
    rig.p().exportTap.writePos.store (100); // no writer: nothing may be consumed
    rig.p().exportPumpAudio();
    EXPECT_EQ (rig.p().exportTap.readPos, 0u);
    EXPECT_EQ (rig.p().exportSession->audioFrames, 0);
}

TEST (ExportAudio, ChunksTheWriterCannotTakeStayInTheRingUntilItCan)
{
    ExportRig rig;
    call (vistrel::exportAudioStart, rig.p(), { "rec" });
    const auto wavFile = rig.p().exportSession->audioFile;

    // With its thread stopped the writer's queue fills after 65536 frames; the rest must wait
    // in the ring instead of being counted as written and thrown away.
    rig.p().exportThread.stopThread (2000);
    uint64_t frame = 0;
    for (int i = 0; i < 100; ++i)
        feed (rig.p(), frame, 1000);

    rig.p().exportPumpAudio();
    const auto taken = rig.p().exportSession->audioFrames;
    EXPECT_GT (taken, 0);
    EXPECT_LE (taken, vistrel::kExportWriterQueueFrames);
    EXPECT_EQ (rig.p().exportTap.readPos, (uint64_t) taken) << "only what the writer took leaves the ring";

    rig.p().exportPumpAudio(); // still no room: nothing lost, nothing counted
    EXPECT_EQ (rig.p().exportSession->audioFrames, taken);
    EXPECT_EQ (rig.p().exportTap.readPos, (uint64_t) taken);

    rig.p().exportThread.startThread();
    for (int i = 0; i < 500 && rig.p().exportSession->audioFrames < 100000; ++i)
    {
        std::this_thread::sleep_for (std::chrono::milliseconds (8));
        rig.p().exportPumpAudio();
    }
    EXPECT_EQ (rig.p().exportSession->audioFrames, 100000);

    const auto report = parse (rig.p().finishSession (false));
    EXPECT_EQ ((int) report["dropped"], 0);
    EXPECT_TRUE (holdsFrames (readWav (wavFile), 0, 100000));
}

TEST (ExportAudio, FinishWaitsForTheWriterRatherThanLosingTheTail)
{
    ExportRig rig;
    call (vistrel::exportAudioStart, rig.p(), { "rec" });
    const auto wavFile = rig.p().exportSession->audioFile;
    rig.p().exportThread.stopThread (2000);

    uint64_t frame = 0;
    for (int i = 0; i < 200; ++i)
        feed (rig.p(), frame, 1000);
    rig.p().exportPumpAudio();

    // The finish's own drain meets a full queue; it must wait for the writer, not give up.
    std::thread restart ([&] { std::this_thread::sleep_for (std::chrono::milliseconds (50)); rig.p().exportThread.startThread(); });
    const auto report = parse (rig.p().finishSession (false));
    restart.join();

    EXPECT_EQ ((int) report["dropped"], 0);
    EXPECT_TRUE (holdsFrames (readWav (wavFile), 0, 200000));
}

TEST (ExportAudio, RingOverflowIsCountedAsDropped)
{
    ExportRig rig;
    call (vistrel::exportAudioStart, rig.p(), { "rec" });
    uint64_t frame = 0;
    const int blocks = ExportAudioTap::kCapacity / 4096;
    for (int i = 0; i < blocks + 3; ++i)
        feed (rig.p(), frame, 4096);

    const auto report = parse (rig.p().finishSession (false));
    EXPECT_EQ ((int) report["dropped"], 3 * 4096);
    EXPECT_DOUBLE_EQ ((double) report["droppedMs"], 3 * 4096 * 1000.0 / 48000.0);
}

TEST (ExportAudio, DisarmWaitsOutABlockInFlight)
{
    // One thread feeds blocks without pause while the other disarms, resets and re-arms the
    // ring as a new recording would. After disarm() returns the audio thread must not move
    // writePos again; a late block would otherwise land in the next recording.
    VistrelAudioProcessor p;
    std::atomic<bool> stop { false };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (2, 64);
        buffer.clear();
        juce::MidiBuffer midi;
        while (! stop.load())
            p.processBlock (buffer, midi);
    });

    int late = 0;
    for (int round = 0; round < 20000; ++round)
    {
        p.exportTap.armed.store (true, std::memory_order_release);
        std::this_thread::yield();
        p.exportTap.disarm();
        p.exportTap.writePos.store (0);
        p.exportTap.consumerPos.store (0);
        for (int spin = 0; spin < 50; ++spin)
            late += p.exportTap.writePos.load() != 0 ? 1 : 0;
    }

    stop = true;
    audio.join();
    EXPECT_EQ (late, 0);
}
} // namespace
