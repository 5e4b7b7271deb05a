#include <thread>

#include "ExportSession.h"

namespace vistrel
{

bool startExportAudio (VistrelAudioProcessor& p, VistrelAudioProcessor::ExportSession& session)
{
    const double rate = session.sampleRate > 0.0 ? session.sampleRate : 48000.0;

    auto& tap = p.exportTap;
    tap.writePos.store (0);
    tap.consumerPos.store (0);
    tap.readPos = 0;
    tap.dropped.store (0);
    tap.firstBlockTicks.store (0);

    auto stream = std::make_unique<juce::FileOutputStream> (session.audioFile, kExportStreamBufferBytes);

    if (! stream->openedOk())
        return false;

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), rate, juce::AudioChannelSet::stereo(), 24, {}, 0));

    if (writer == nullptr)
        return false; // the stream is still ours and closes here

    stream.release(); // now owned by the writer

    if (! p.exportThread.isThreadRunning())
        p.exportThread.startThread();

    session.audioWriter = std::make_unique<juce::AudioFormatWriter::ThreadedWriter> (writer.release(), p.exportThread,
                                                                                    kExportWriterQueueFrames);
    session.armTicks = juce::Time::getHighResolutionTicks();
    tap.armed.store (true, std::memory_order_release);
    return true;
}

juce::int64 drainExportTap (VistrelAudioProcessor& p, bool waitForRoom, int stallMs)
{
    auto* session = p.exportSession.get();
    auto& tap = p.exportTap;

    const auto pending = [&tap]
    {
        return (juce::int64) (tap.writePos.load (std::memory_order_acquire) - tap.readPos);
    };

    if (session == nullptr || session->audioWriter == nullptr)
        return tap.capacity == 0 ? 0 : pending();

    const int chunk = p.exportScratch.getNumSamples();

    if (chunk <= 0 || tap.capacity == 0 || p.exportScratch.getNumChannels() < 2)
        return pending();

    const auto wrap = (uint64_t) (tap.capacity - 1);
    double lastProgress = juce::Time::getMillisecondCounterHiRes();

    for (;;)
    {
        const uint64_t w = tap.writePos.load (std::memory_order_acquire);

        if (w <= tap.readPos)
            return 0;

        const int n = (int) std::min<uint64_t> (w - tap.readPos, (uint64_t) chunk);
        float* l = p.exportScratch.getWritePointer (0);
        float* r = p.exportScratch.getWritePointer (1);

        for (int i = 0; i < n; ++i)
        {
            const auto slot = (size_t) ((tap.readPos + (uint64_t) i) & wrap);
            l[i] = tap.left[slot];
            r[i] = tap.right[slot];
        }

        // The frames leave the ring only once the writer has taken them: a full queue must not
        // cost audio while the ring can still hold it.
        if (! session->audioWriter->write (p.exportScratch.getArrayOfReadPointers(), n))
        {
            if (! waitForRoom || juce::Time::getMillisecondCounterHiRes() - lastProgress > stallMs)
                return pending();

            std::this_thread::sleep_for (std::chrono::milliseconds (1));
            continue;
        }

        lastProgress = juce::Time::getMillisecondCounterHiRes();
        tap.readPos += (uint64_t) n;
        tap.consumerPos.store (tap.readPos, std::memory_order_release);
        session->audioFrames += n;

        if (n < chunk)
            return pending();
    }
}

} // namespace vistrel

void VistrelAudioProcessor::exportPumpAudio()
{
    vistrel::drainExportTap (*this, false);
}
