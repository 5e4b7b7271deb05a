// A one-minute recording at 48 kHz in real time: the audio thread feeds 512-frame blocks at
// their real pace, the message thread drains every 8 ms as the editor's timer does and streams
// the page's video, then the finish muxes with the system's ffmpeg. Reports the frames
// dropped, the mux time and the WAV writer thread's share of one core.
// Runs for over a minute: pick it with --benchmark_filter=ExportRecording.
#include <benchmark/benchmark.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "PluginProcessor.h"
#include "export/ChildProcessRun.h"
#include "export/ExportHandlers.h"
#include "export/ExportSession.h"

namespace
{
/** CPU seconds used so far by this process's thread called `name`, or -1. */
double threadCpuSeconds (const juce::String& name)
{
    for (const auto& task : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
    {
        if (task.getChildFile ("comm").loadFileAsString().trim() != name)
            continue;

        // Fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
        const auto stat = task.getChildFile ("stat").loadFileAsString().fromLastOccurrenceOf (")", false, false);
        const auto fields = juce::StringArray::fromTokens (stat.trim(), " ", "");
        return (fields[11].getDoubleValue() + fields[12].getDoubleValue()) / (double) sysconf (_SC_CLK_TCK);
    }
    return -1.0;
}

void BM_ExportRecording60s (benchmark::State& state)
{
    constexpr double kSeconds = 60.0, kRate = 48000.0;
    constexpr int kBlock = 512;

    juce::TemporaryFile root;
    root.getFile().createDirectory();

    VistrelAudioProcessor p;
    p.exportFolderOverride = root.getFile().getChildFile ("VISTREL");
    p.prepareToPlay (kRate, kBlock);
    const auto ffmpeg = p.exportFindFfmpeg();

    const auto source = root.getFile().getChildFile ("page.mp4");
    vistrel::runChildProcess ({ ffmpeg, "-v", "error", "-f", "lavfi", "-i", "testsrc=size=1280x720:rate=30", "-t", "60",
                                "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                                "-movflags", "frag_keyframe+empty_moov+default_base_moof", source.getFullPathName() },
                              300000);
    juce::MemoryBlock video;
    source.loadFileAsData (video);

    for (auto _ : state)
    {
        vistrel::exportAudioStart (p, { "bench" });
        const double cpuBefore = threadCpuSeconds ("VISTREL export");
        const auto started = juce::Time::getMillisecondCounterHiRes();

        std::atomic<bool> done { false };
        std::thread audio ([&]
        {
            juce::AudioBuffer<float> buffer (2, kBlock);
            juce::MidiBuffer midi;
            juce::Random random (3);
            const auto period = std::chrono::nanoseconds ((long long) (1e9 * kBlock / kRate));
            auto next = std::chrono::steady_clock::now();
            for (int64_t frames = 0; frames < (int64_t) (kSeconds * kRate); frames += kBlock)
            {
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < kBlock; ++i)
                        buffer.setSample (c, i, random.nextFloat() * 0.5f - 0.25f);
                p.processBlock (buffer, midi);
                next += period;
                std::this_thread::sleep_until (next);
            }
            done = true;
        });

        // The message thread: a drain every 8 ms and the page's next piece of video every 100 ms.
        size_t sent = 0;
        double maxPumpMs = 0.0;
        int ticks = 0;
        while (! done.load())
        {
            const auto t0 = juce::Time::getMillisecondCounterHiRes();
            p.exportPumpAudio();
            maxPumpMs = std::max (maxPumpMs, juce::Time::getMillisecondCounterHiRes() - t0);

            const auto due = (size_t) ((t0 - started) / (kSeconds * 1000.0) * (double) video.getSize());
            if (++ticks % 12 == 0 && due > sent)
            {
                const auto n = std::min (due, video.getSize()) - sent;
                vistrel::exportAppend (p, { juce::var ("bench"), juce::var (juce::Base64::toBase64 (static_cast<const char*> (video.getData()) + sent, n)) });
                sent += n;
            }
            std::this_thread::sleep_for (std::chrono::milliseconds (8));
        }
        audio.join();
        if (sent < video.getSize())
            vistrel::exportAppend (p, { juce::var ("bench"), juce::var (juce::Base64::toBase64 (static_cast<const char*> (video.getData()) + sent, video.getSize() - sent)) });

        const double recordWall = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
        const double writerCpu = threadCpuSeconds ("VISTREL export") - cpuBefore;

        const auto finishStart = juce::Time::getMillisecondCounterHiRes();
        const auto report = juce::JSON::parse (vistrel::exportFinish (p, {}).toString());
        const double finishMs = juce::Time::getMillisecondCounterHiRes() - finishStart;

        state.counters["dropped"] = (double) report["dropped"];
        state.counters["muxed"] = report.hasProperty ("final") ? 1.0 : 0.0;
        state.counters["finish_ms"] = finishMs;
        state.counters["writer_cpu_pct"] = 100.0 * writerCpu / recordWall;
        state.counters["max_pump_ms"] = maxPumpMs;
        state.counters["video_MB"] = (double) video.getSize() / 1e6;
        if (! report.hasProperty ("final"))
            state.SkipWithError (("no mux: " + juce::JSON::toString (report, true)).toRawUTF8());
    }

    root.getFile().deleteRecursively();
}
BENCHMARK (BM_ExportRecording60s)->Iterations (1)->Unit (benchmark::kSecond)->UseRealTime();
} // namespace
