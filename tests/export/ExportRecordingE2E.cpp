// A whole recording as the page makes it: an H.264 stream sent in Base64 chunks over the real
// bridge while audio runs through processBlock and the editor's timer drains it, then muxed by
// the system's ffmpeg.
#include <cstdlib>
#include <thread>

#include "BridgeTestClient.h"
#include "ExportTestRig.h"
#include "PluginEditor.h"
#include "bridge/LoopbackServer.h"
#include "export/ChildProcessRun.h"

using namespace vistrel::test;

namespace
{
juce::String runTool (const juce::StringArray& args)
{
    const auto run = vistrel::runChildProcess (args, 60000);
    EXPECT_TRUE (run.finished && run.exitCode == 0) << args.joinIntoString (" ") << "\n" << run.output;
    return run.output;
}

/** Sends one call and waits for its answer, however long the message thread is busy. */
std::string callOverBridge (PageSocket& page, int id, const std::string& name, const juce::var& args)
{
    const auto header = "r " + std::to_string (id) + " ";
    page.send ("c " + std::to_string (id) + " " + name + "\n" + juce::JSON::toString (args, true).toStdString());

    for (;;)
    {
        const auto message = page.receive (std::chrono::seconds (120));
        if (! message)
            return "no answer";
        if (message->rfind (header, 0) == 0)
            return message->substr (header.size());
    }
}

juce::String answerText (const std::string& reply)
{
    EXPECT_EQ (reply.rfind ("s\n", 0), 0u) << reply;
    return juce::String (reply.substr (2));
}

TEST (ExportRecording, PageVideoAndProcessedAudioBecomeOneMp4)
{
    ::setenv ("VISTREL_NO_WEBVIEW", "1", 1);
    ExportRig rig;
    rig.p().ffmpegSearched = false; // the real search, as in the product
    ASSERT_TRUE (rig.p().exportFindFfmpeg().isNotEmpty()) << "ffmpeg is a build dependency";
    rig.p().prepareToPlay (48000.0, 480);

    // The page's encoder writes a fragmented MP4 so that it can stream it while recording.
    const auto source = rig.root.getFile().getChildFile ("page.mp4");
    runTool ({ rig.p().ffmpegPath, "-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30", "-t", "3",
               "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "30",
               "-movflags", "frag_keyframe+empty_moov+default_base_moof", source.getFullPathName() });
    juce::MemoryBlock video;
    ASSERT_TRUE (source.loadFileAsData (video));

    auto editor = std::make_unique<VistrelAudioProcessorEditor> (rig.p());
    auto& server = editor->getWebView()->getServer();
    PageSocket page (server.getPort(), "/" + server.getToken() + "/ws", "http://127.0.0.1:" + std::to_string (server.getPort()));
    ASSERT_EQ (page.status, 101);

    std::atomic<bool> audioRunning { false };
    std::atomic<uint64_t> framesFed { 0 };
    std::thread audio;

    const auto answers = whilePumping ([&]
    {
        std::vector<juce::String> out;
        int id = 0;
        out.push_back (answerText (callOverBridge (page, ++id, "exportProbe", juce::Array<juce::var>())));
        out.push_back (answerText (callOverBridge (page, ++id, "exportAudioStart", juce::Array<juce::var> { "take-1" })));

        // The audio device: 480-frame blocks at their real pace while the page streams.
        audioRunning = true;
        audio = std::thread ([&]
        {
            uint64_t frame = 0;
            auto next = std::chrono::steady_clock::now();
            while (audioRunning.load())
            {
                feed (rig.p(), frame, 480);
                framesFed.store (frame);
                next += std::chrono::microseconds (10000);
                std::this_thread::sleep_until (next);
            }
        });

        const size_t chunk = 48 * 1024;
        for (size_t pos = 0; pos < video.getSize(); pos += chunk)
        {
            const auto n = std::min (chunk, video.getSize() - pos);
            const auto text = juce::Base64::toBase64 (static_cast<const char*> (video.getData()) + pos, n);
            out.push_back (answerText (callOverBridge (page, ++id, "exportAppend", juce::Array<juce::var> { juce::var ("take-1"), juce::var (text) })));
            std::this_thread::sleep_for (std::chrono::milliseconds (100));
        }

        // Longer audio than video, so that "-shortest" keeps every video packet.
        while (framesFed.load() < 4 * 48000)
            std::this_thread::sleep_for (std::chrono::milliseconds (20));
        audioRunning = false;
        audio.join();

        out.push_back (answerText (callOverBridge (page, ++id, "exportFinish", juce::Array<juce::var>())));
        return out;
    });

    ASSERT_GE (answers.size(), 4u);
    EXPECT_TRUE ((bool) juce::JSON::parse (answers[0])["ffmpeg"]);
    EXPECT_TRUE ((bool) juce::JSON::parse (answers[1])["ok"]) << answers[1];
    EXPECT_EQ ((juce::int64) juce::JSON::parse (answers[answers.size() - 2])["bytes"], (juce::int64) video.getSize());

    const auto report = juce::JSON::parse (answers.back());
    ASSERT_TRUE ((bool) report["ok"]) << answers.back();
    EXPECT_EQ ((int) report["dropped"], 0);
    ASSERT_TRUE (report.hasProperty ("final")) << answers.back();
    EXPECT_FALSE (report.hasProperty ("muxErr"));

    const juce::File recorded (report["video"].toString()), wav (report["audio"].toString()), muxed (report["final"].toString());
    EXPECT_EQ (muxed.getFileName(), recorded.getFileNameWithoutExtension() + "-final.mp4");
    juce::Array<juce::File> expectedFiles { recorded, wav, muxed };
    expectedFiles.sort();
    EXPECT_EQ (rig.files(), expectedFiles) << "nothing deleted, nothing left over";

    // The page's bytes unchanged, and its video stream copied into the result packet for packet.
    juce::MemoryBlock written;
    recorded.loadFileAsData (written);
    EXPECT_EQ (written, video);

    const auto streams = runTool ({ "/usr/bin/ffprobe", "-v", "error", "-show_entries", "stream=codec_type,codec_name",
                                    "-of", "csv=p=0", muxed.getFullPathName() });
    EXPECT_EQ (juce::StringArray::fromLines (streams.trim()), juce::StringArray ({ "h264,video", "aac,audio" })) << streams;

    const auto packets = [&] (const juce::File& f)
    {
        return runTool ({ rig.p().ffmpegPath, "-v", "error", "-i", f.getFullPathName(), "-map", "0:v:0", "-c", "copy", "-f", "md5", "-" }).trim();
    };
    EXPECT_EQ (packets (muxed), packets (source));

    // Every frame that went through processBlock while armed, left and right in place.
    EXPECT_TRUE (holdsFrames (readWav (wav), 0, framesFed.load()));

    editor.reset();
}

TEST (ExportRecording, ClosingTheEditorMidRecordingLeavesPlayableFiles)
{
    ::setenv ("VISTREL_NO_WEBVIEW", "1", 1);
    ExportRig rig;
    auto editor = std::make_unique<VistrelAudioProcessorEditor> (rig.p());

    call (vistrel::exportAppend, rig.p(), { "take", "AAAAAAAA" });
    call (vistrel::exportAudioStart, rig.p(), { "take" });
    uint64_t frame = 0;
    feed (rig.p(), frame, 9600);
    const auto wav = rig.p().exportSession->audioFile;

    editor.reset();
    EXPECT_EQ (rig.p().exportSession, nullptr);
    EXPECT_FALSE (rig.p().exportThread.isThreadRunning());
    EXPECT_TRUE (holdsFrames (readWav (wav), 0, 9600));

    // ffprobe reads the closed WAV's header as a complete file.
    const auto info = runTool ({ "/usr/bin/ffprobe", "-v", "error", "-show_entries", "stream=codec_name,channels,sample_rate,duration_ts",
                                 "-of", "csv=p=0", wav.getFullPathName() });
    EXPECT_EQ (info.trim(), "pcm_s24le,48000,2,9600");
}
} // namespace
