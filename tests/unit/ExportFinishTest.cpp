#include <cstdlib>

#include "ExportTestRig.h"
#include "export/ChildProcessRun.h"

namespace
{
using namespace vistrel::test;

// Records its arguments one per line next to itself and makes the output file.
const char* kRecordingFfmpeg = R"(for a in "$0" "$@"; do printf '%s\n' "$a"; done > "$(dirname "$0")/args.txt"
for last; do :; done
: > "$last")";

/** A recording with video bytes and some audio, ready to finish. */
void record (ExportRig& rig, int frames = 4800)
{
    call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
    call (vistrel::exportAudioStart, rig.p(), { "rec" });
    uint64_t frame = 0;
    feed (rig.p(), frame, frames);
    rig.p().exportPumpAudio();
}

juce::int64 ticksFor (double ms)
{
    return (juce::int64) std::llround (ms * (double) juce::Time::getHighResolutionTicksPerSecond() / 1000.0);
}

TEST (ExportFinish, VideoOnlyRecordingAfterAnEarlierOneReportsNoLeftovers)
{
    ExportRig rig;

    // An earlier recording leaves dropped frames and a first-block mark in the tap.
    record (rig);
    rig.p().exportTap.dropped.store (4800);
    rig.p().finishSession (false);
    ASSERT_NE (rig.p().exportTap.firstBlockTicks.load(), 0u);

    call (vistrel::exportAppend, rig.p(), { "next", "YWJj" });
    const auto video = rig.p().exportSession->videoFile.getFullPathName();
    const auto answer = call (vistrel::exportFinish, rig.p()).toString();
    const auto report = parse (answer);

    EXPECT_EQ (keysOf (report), juce::StringArray ({ "ok", "video", "bytes", "dropped", "droppedMs", "avMeasured",
                                                     "avDeltaMs", "avOffsetMs", "avChunk0Ms" }));
    EXPECT_TRUE (answer.startsWith (R"({"ok":true,"video":)" + vistrel::jsonQuote (video)
                                    + R"(,"bytes":3,"dropped":0,"droppedMs":0,"avMeasured":false,"avDeltaMs":0,"avOffsetMs":0,"avChunk0Ms":)"))
        << answer;
}

TEST (ExportFinish, ReportKeysAndDroppedTime)
{
    ExportRig rig;
    record (rig);
    rig.p().exportTap.dropped.store (4800);

    const auto report = parse (rig.p().finishSession (false));
    EXPECT_EQ (keysOf (report), juce::StringArray ({ "ok", "video", "bytes", "dropped", "droppedMs", "audio", "avMeasured",
                                                     "avDeltaMs", "avOffsetMs", "avArmMs", "avChunk0Ms" }));
    EXPECT_TRUE ((bool) report["ok"]);
    EXPECT_EQ ((int) report["dropped"], 4800);
    EXPECT_EQ ((double) report["droppedMs"], 100.0);
    EXPECT_TRUE ((bool) report["avMeasured"]);
    EXPECT_GE ((double) report["avArmMs"], 0.0);
    EXPECT_FALSE (report.hasProperty ("final"));
    EXPECT_FALSE (report.hasProperty ("muxErr"));
}

TEST (ExportFinish, OffsetAppliesOnlyBetweenHalfAMillisecondAndAQuarterSecond)
{
    struct Case { double deltaMs; double offsetMs; const char* itsoffset; };
    const Case cases[] = {
        { 12.5, 12.5, "0.012500" },
        { 0.4, 0.0, nullptr },
        { 300.0, 0.0, nullptr },
        { -5.0, 0.0, nullptr },
        { 249.9, 249.9, "0.249900" },
    };

    for (const auto& c : cases)
    {
        ExportRig rig;
        const auto tool = rig.script ("ffmpeg", kRecordingFfmpeg);
        rig.useFfmpeg (tool.getFullPathName());
        record (rig);

        auto& session = *rig.p().exportSession;
        rig.p().exportTap.firstBlockTicks.store ((uint64_t) (session.startTicks + ticksFor (c.deltaMs)));
        const auto video = session.videoFile.getFullPathName(), audio = session.audioFile.getFullPathName();
        const auto finalPath = session.videoFile.getSiblingFile (session.videoFile.getFileNameWithoutExtension() + "-final.mp4").getFullPathName();

        const auto report = parse (call (vistrel::exportFinish, rig.p()));
        EXPECT_NEAR ((double) report["avDeltaMs"], c.deltaMs, 1e-6) << c.deltaMs;
        EXPECT_NEAR ((double) report["avOffsetMs"], c.offsetMs, 1e-6) << c.deltaMs;
        EXPECT_EQ (report["final"].toString(), finalPath) << c.deltaMs;

        juce::StringArray expected { tool.getFullPathName(), "-y", "-hide_banner", "-loglevel", "error", "-i", video };
        if (c.itsoffset != nullptr)
            expected.addArray ({ "-itsoffset", c.itsoffset });
        expected.addArray ({ "-i", audio, "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy", "-c:a", "aac", "-b:a", "320k",
                             "-movflags", "+faststart", "-shortest", finalPath });

        juce::StringArray args;
        rig.root.getFile().getChildFile ("args.txt").readLines (args);
        args.removeEmptyStrings (false);
        EXPECT_EQ (args, expected) << c.deltaMs;
    }
}

TEST (ExportFinish, MuxFailuresAreReportedWithTheToolsOutput)
{
    const auto longText = juce::String::repeatedString ("x", 300);
    struct Case { const char* script; juce::String muxErr; };
    const Case cases[] = {
        { "printf '\\n   boom: %s\\n' \"$(printf 'x%.0s' $(seq 300))\" >&2; exit 1", ("boom: " + longText).substring (0, 200) },
        { "echo done", "done" },                             // exit 0 but no output file
        { "for last; do :; done; : > \"$last\"; exit 3", "" }, // output file but a failing exit code
    };

    for (const auto& c : cases)
    {
        ExportRig rig;
        rig.useFfmpeg (rig.script ("ffmpeg", c.script).getFullPathName());
        record (rig);
        const auto video = rig.p().exportSession->videoFile, audio = rig.p().exportSession->audioFile;

        const auto report = parse (call (vistrel::exportFinish, rig.p()));
        EXPECT_FALSE (report.hasProperty ("final")) << c.script;
        ASSERT_TRUE (report.hasProperty ("muxErr")) << c.script;
        EXPECT_EQ (report["muxErr"].toString(), c.muxErr) << c.script;
        EXPECT_TRUE ((bool) report["ok"]);
        EXPECT_TRUE (video.existsAsFile());
        EXPECT_TRUE (audio.existsAsFile());
    }
}

TEST (ExportFinish, ToolThatCannotStartGivesAnEmptyMuxErr)
{
    ExportRig rig;
    auto notExecutable = rig.root.getFile().getChildFile ("ffmpeg");
    notExecutable.replaceWithText ("not a program");
    rig.useFfmpeg (notExecutable.getFullPathName());
    record (rig);

    const auto answer = call (vistrel::exportFinish, rig.p()).toString();
    EXPECT_TRUE (answer.endsWith (R"(,"muxErr":""})")) << answer;
}

TEST (ExportFinish, HangingToolIsKilledAtTheLimit)
{
    ExportRig rig;
    // The sleep is a grandchild that keeps the output pipe open after its parent is killed.
    rig.useFfmpeg (rig.script ("ffmpeg", "echo started >&2; sleep 60; echo never").getFullPathName());
    rig.p().ffmpegWaitMs = 300;
    record (rig);

    const auto started = juce::Time::getMillisecondCounterHiRes();
    const auto report = parse (call (vistrel::exportFinish, rig.p()));
    const auto waited = juce::Time::getMillisecondCounterHiRes() - started;

    EXPECT_EQ (report["muxErr"].toString(), "started");
    EXPECT_FALSE (report.hasProperty ("final"));
    EXPECT_LT (waited, 30000.0) << "the finish must not wait for the hung tool";
}

TEST (ExportFinish, NoFfmpegMeansNoMuxAndNoMuxErr)
{
    ExportRig rig;
    record (rig);
    const auto report = parse (call (vistrel::exportFinish, rig.p()));
    EXPECT_TRUE ((bool) report["ok"]);
    EXPECT_TRUE (report.hasProperty ("audio"));
    EXPECT_FALSE (report.hasProperty ("final"));
    EXPECT_FALSE (report.hasProperty ("muxErr"));
    EXPECT_EQ (rig.files().size(), 2);
}

TEST (ExportFinish, NothingToMuxSkipsTheTool)
{
    // No audio, no video bytes, a failed session: the tool is never run.
    struct Case { const char* name; std::function<void (ExportRig&)> setUp; };
    const Case cases[] = {
        { "no audio", [] (ExportRig& rig) { call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" }); } },
        { "no video", [] (ExportRig& rig) { call (vistrel::exportAudioStart, rig.p(), { "rec" }); uint64_t f = 0; feed (rig.p(), f, 100); } },
        { "failed", [] (ExportRig& rig) { record (rig); call (vistrel::exportAppend, rig.p(), { "rec", "!" }); } },
    };

    for (const auto& c : cases)
    {
        ExportRig rig;
        rig.useFfmpeg (rig.script ("ffmpeg", kRecordingFfmpeg).getFullPathName());
        c.setUp (rig);
        const auto report = parse (call (vistrel::exportFinish, rig.p()));
        EXPECT_FALSE (report.hasProperty ("final")) << c.name;
        EXPECT_FALSE (report.hasProperty ("muxErr")) << c.name;
        EXPECT_FALSE (rig.root.getFile().getChildFile ("args.txt").exists()) << c.name;
    }
}

struct ScopedPath
{
    explicit ScopedPath (const juce::String& path) : old (std::getenv ("PATH")) { setenv ("PATH", path.toRawUTF8(), 1); }
    ~ScopedPath() { setenv ("PATH", old.toRawUTF8(), 1); }
    juce::String old;
};

TEST (FfmpegSearch, FixedLocationsFirstThenTheShell)
{
    juce::TemporaryFile dir;
    const auto d = dir.getFile();
    d.getChildFile ("a/ffmpeg").createDirectory(); // a folder is no executable
    d.getChildFile ("b/ffmpeg").create();
    d.getChildFile ("bin").createDirectory();
    auto onPath = d.getChildFile ("bin/ffmpeg");
    onPath.replaceWithText ("#!/bin/sh\n");
    onPath.setExecutePermission (true);

    const auto fixed = [&] (const char* rel) { return d.getChildFile (rel).getFullPathName(); };

    {
        ScopedPath path (d.getChildFile ("bin").getFullPathName());
        EXPECT_EQ (vistrel::searchFfmpeg ({ fixed ("a/ffmpeg"), fixed ("b/ffmpeg") }), fixed ("b/ffmpeg"));
        EXPECT_EQ (vistrel::searchFfmpeg ({ fixed ("a/ffmpeg"), fixed ("missing") }), onPath.getFullPathName());
    }
    {
        ScopedPath path (d.getChildFile ("a").getFullPathName() + ":" + d.getChildFile ("nowhere").getFullPathName());
        EXPECT_EQ (vistrel::searchFfmpeg ({ fixed ("a/ffmpeg") }), juce::String());
    }
    d.deleteRecursively();
}

TEST (FfmpegSearch, RunsOncePerProcessor)
{
    VistrelAudioProcessor p;
    juce::TemporaryFile dir;
    dir.getFile().createDirectory();
    ScopedPath path (dir.getFile().getFullPathName());

    const auto first = p.exportFindFfmpeg();
    EXPECT_TRUE (p.ffmpegSearched);
    EXPECT_EQ (first, juce::File ("/usr/bin/ffmpeg").existsAsFile() ? "/usr/bin/ffmpeg" : p.ffmpegPath);

    p.ffmpegPath = "/somewhere/else";
    EXPECT_EQ (p.exportFindFfmpeg(), "/somewhere/else") << "the cached answer stands";
    dir.getFile().deleteRecursively();
}

TEST (ChildProcessRun, CollectsBothStreamsAndTheExitCode)
{
    const auto run = vistrel::runChildProcess ({ "/bin/sh", "-c", "echo out; echo err >&2; exit 5" }, 10000);
    EXPECT_TRUE (run.started);
    EXPECT_TRUE (run.finished);
    EXPECT_EQ (run.exitCode, 5);
    EXPECT_TRUE (run.output.contains ("out") && run.output.contains ("err")) << run.output;

    // More output than a pipe holds must not stall the child.
    const auto chatty = vistrel::runChildProcess ({ "/bin/sh", "-c", "head -c 1000000 /dev/zero | tr '\\0' x" }, 10000);
    EXPECT_TRUE (chatty.finished);
    EXPECT_EQ (chatty.exitCode, 0);

    EXPECT_FALSE (vistrel::runChildProcess ({ "/nonexistent/tool" }, 1000).started);
}

TEST (ExportLifetime, DestroyingTheProcessorMidRecordingLeavesClosedFiles)
{
    ExportRig rig;
    rig.useFfmpeg (rig.script ("ffmpeg", kRecordingFfmpeg).getFullPathName());
    record (rig, 2000);
    uint64_t frame = 2000;
    feed (rig.p(), frame, 3000); // not yet pumped: the finish must drain it
    const auto video = rig.p().exportSession->videoFile, audio = rig.p().exportSession->audioFile;

    rig.processor.reset();

    EXPECT_EQ (video.loadFileAsString(), "abc");
    EXPECT_TRUE (holdsFrames (readWav (audio), 0, 5000));
    EXPECT_EQ (rig.files().size(), 2) << "no muxed file";
    EXPECT_FALSE (rig.root.getFile().getChildFile ("args.txt").exists());
}

TEST (ExportLifetime, ClosingTheEditorFinishesUnmuxedAndANewRecordingStillWorks)
{
    ExportRig rig;
    record (rig, 1000);
    const auto audio = rig.p().exportSession->audioFile;

    vistrel::exportEditorClosing (rig.p());
    EXPECT_EQ (rig.p().exportSession, nullptr);
    EXPECT_FALSE (rig.p().exportThread.isThreadRunning());
    EXPECT_TRUE (holdsFrames (readWav (audio), 0, 1000));

    // A later editor records again on a restarted thread.
    call (vistrel::exportAudioStart, rig.p(), { "again" });
    uint64_t frame = 0;
    feed (rig.p(), frame, 700);
    const auto second = rig.p().exportSession->audioFile;
    rig.p().finishSession (false);
    EXPECT_TRUE (holdsFrames (readWav (second), 0, 700));
}
} // namespace
