#include "ExportTestRig.h"

namespace
{
using namespace vistrel::test;

const juce::Time kAt (2025, 2, 7, 14, 5, 31, 0, true); // 14:05:31 on 7 March 2025
const juce::String kBase = "VISTREL-2025-03-07-1405";

/** Repeats `body` until it ran inside one clock minute, so that tests comparing names made a
    moment apart do not fail at a minute boundary. */
template <typename Body>
void withinOneMinute (Body&& body)
{
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        const auto before = juce::Time::getCurrentTime();
        body();
        const auto after = juce::Time::getCurrentTime();
        if (before.getMinutes() == after.getMinutes() && before.getHours() == after.getHours())
            return;
    }
    FAIL() << "the clock kept crossing a minute";
}

TEST (ExportStamp, TakesTheFirstNameFreeForEveryExtensionAndTheMuxedFile)
{
    struct Case { std::vector<const char*> present; juce::StringArray extensions; const char* expected; };
    const Case cases[] = {
        { {}, { ".mp4", ".wav" }, "" },
        { { ".mp4" }, { ".mp4", ".wav" }, "-2" },
        { { ".wav" }, { ".mp4", ".wav" }, "-2" },
        { { ".mp4", "-2.wav" }, { ".mp4", ".wav" }, "-3" },
        { { "-final.mp4" }, { ".png" }, "-2" },   // a still never shares a muxed recording's stamp
        { { ".mp4", ".wav" }, { ".png" }, "" },
        { { ".png", "-2.png" }, { ".png" }, "-3" },
        { { "-final.mp4" }, { ".mp4", ".wav" }, "-2" },
    };

    for (const auto& c : cases)
    {
        juce::TemporaryFile dir;
        dir.getFile().createDirectory();
        for (const auto* suffix : c.present)
            dir.getFile().getChildFile (kBase + suffix).create();

        EXPECT_EQ (VistrelAudioProcessor::vistrelStamp (dir.getFile(), c.extensions, kAt), kBase + c.expected)
            << c.extensions.joinIntoString (" ") << " with " << c.present.size() << " present";
        dir.getFile().deleteRecursively();
    }
}

TEST (ExportStamp, AFolderCountsAsTakenAndNumbersHaveNoLeadingZeros)
{
    juce::TemporaryFile dir;
    dir.getFile().createDirectory();
    dir.getFile().getChildFile (kBase + ".mp4").createDirectory();
    for (int n = 2; n <= 9; ++n)
        dir.getFile().getChildFile (kBase + "-" + juce::String (n) + ".wav").create();

    EXPECT_EQ (VistrelAudioProcessor::vistrelStamp (dir.getFile(), { ".mp4", ".wav" }, kAt), kBase + "-10");
    dir.getFile().deleteRecursively();
}

TEST (ExportFolder, UsesTheMoviesFolderOrElseHomeMovies)
{
    juce::TemporaryFile dir;
    const auto movies = dir.getFile().getChildFile ("movies");
    const auto home = dir.getFile().getChildFile ("home");
    movies.createDirectory();

    EXPECT_EQ (vistrel::exportFolderUnder (movies, home), movies.getChildFile ("VISTREL"));
    EXPECT_TRUE (movies.getChildFile ("VISTREL").isDirectory());

    const auto fallback = home.getChildFile ("Movies").getChildFile ("VISTREL");
    EXPECT_EQ (vistrel::exportFolderUnder (dir.getFile().getChildFile ("missing"), home), fallback);
    EXPECT_TRUE (fallback.isDirectory());
    EXPECT_EQ (vistrel::exportFolderUnder (juce::File(), home), fallback);

    // A file where the movies folder should be is no movies folder.
    const auto notAFolder = dir.getFile().getChildFile ("file");
    notAFolder.create();
    EXPECT_EQ (vistrel::exportFolderUnder (notAFolder, home), fallback);
    dir.getFile().deleteRecursively();
}

TEST (ExportProbe, CreatesTheFolderAndFollowsTheSession)
{
    ExportRig rig;
    ASSERT_FALSE (rig.folder.exists());

    const auto before = call (vistrel::exportProbe, rig.p());
    EXPECT_EQ (before.toString(),
               R"({"dir":)" + vistrel::jsonQuote (rig.folder.getFullPathName()) + R"(,"ffmpeg":false,"ffmpegPath":"","recording":false})");
    EXPECT_TRUE (rig.folder.isDirectory());

    call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
    EXPECT_TRUE ((bool) parse (call (vistrel::exportProbe, rig.p()))["recording"]);

    call (vistrel::exportFinish, rig.p());
    EXPECT_FALSE ((bool) parse (call (vistrel::exportProbe, rig.p()))["recording"]);
}

TEST (ExportAppend, WritesChunksInOrderAndCountsBytes)
{
    ExportRig rig;
    withinOneMinute ([&]
    {
        rig.folder.deleteRecursively();
        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" }).toString(), R"({"ok":true,"bytes":3})");
        auto& session = *rig.p().exportSession;
        EXPECT_NE (session.firstChunkTicks, 0);
        const auto firstMark = session.firstChunkTicks;

        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "" }).toString(), R"({"ok":true,"bytes":3})");
        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "ZGVmZw==" }).toString(), R"({"ok":true,"bytes":7})");
        EXPECT_EQ (session.firstChunkTicks, firstMark);

        // Only the video file exists until audio starts.
        const auto files = rig.files();
        ASSERT_EQ (files.size(), 1);
        EXPECT_EQ (files[0].getFileName(), VistrelAudioProcessor::vistrelStamp (rig.folder, { ".wav" }) + ".mp4");

        const auto video = session.videoFile;
        call (vistrel::exportFinish, rig.p());
        EXPECT_EQ (video.loadFileAsString(), "abcdefg");
    });
}

TEST (ExportAppend, EmptyFirstChunkLeavesNoChunkMark)
{
    ExportRig rig;
    EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "" }).toString(), R"({"ok":true,"bytes":0})");
    EXPECT_EQ (rig.p().exportSession->firstChunkTicks, 0);

    const auto report = parse (call (vistrel::exportFinish, rig.p()));
    EXPECT_FALSE ((bool) report["ok"]);
    EXPECT_FALSE (report.hasProperty ("err"));
    EXPECT_FALSE (report.hasProperty ("avChunk0Ms"));
}

TEST (ExportAppend, CorruptChunkFailsTheSessionForGood)
{
    for (const auto* bad : { "YWJ", "YWJj\n", "YW Jj", "data:video/mp4;base64,YWJj", "=WJj", "YW-j" })
    {
        ExportRig rig;
        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" }).toString(), R"({"ok":true,"bytes":3})");
        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", bad }).toString(), R"({"ok":false,"err":"corrupt chunk"})") << bad;
        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" }).toString(), R"({"ok":false,"err":"corrupt chunk"})");

        const auto video = rig.p().exportSession->videoFile;
        const auto report = parse (call (vistrel::exportFinish, rig.p()));
        EXPECT_FALSE ((bool) report["ok"]);
        EXPECT_EQ (report["err"].toString(), "corrupt chunk");
        EXPECT_EQ (video.loadFileAsString(), "abc") << "bytes before the fault stay";
    }
}

TEST (ExportAppend, UnwritableFolderFailsEveryAppendAndTheFinish)
{
    ExportRig rig;
    const auto blocker = rig.root.getFile().getChildFile ("plain-file");
    blocker.replaceWithText ("x");
    rig.p().exportFolderOverride = blocker.getChildFile ("VISTREL");

    const auto first = parse (call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" }));
    EXPECT_FALSE ((bool) first["ok"]);
    const auto err = first["err"].toString();
    EXPECT_EQ (err, "cannot open " + rig.p().exportSession->videoFile.getFullPathName());
    EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" }).toString(), vistrel::ExportJson::error (err));

    const auto report = parse (call (vistrel::exportFinish, rig.p()));
    EXPECT_FALSE ((bool) report["ok"]);
    EXPECT_EQ (report["err"].toString(), err);
    EXPECT_EQ ((int) report["bytes"], 0);
}

TEST (ExportAppend, FailedDiskWritesAreReportedNotSwallowed)
{
    // /dev/full takes buffered bytes and fails only when they are written out; a chunk bigger
    // than the buffer fails at once. Either way the recording must end as failed.
    struct Case { int size; const char* answer; };
    const Case cases[] = {
        { 3, R"({"ok":true,"bytes":6})" },
        { 40000, R"x({"ok":false,"bytes":3,"err":"disk write failed (full?)"})x" },
    };

    for (const auto& c : cases)
    {
        ExportRig rig;
        call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
        rig.p().exportSession->videoStream = std::make_unique<juce::FileOutputStream> (juce::File ("/dev/full"));
        ASSERT_TRUE (rig.p().exportSession->videoStream->openedOk());

        juce::MemoryBlock data ((size_t) c.size, true);
        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec", juce::Base64::toBase64 (data.getData(), data.getSize()) }).toString(),
                   c.answer);

        const auto report = parse (call (vistrel::exportFinish, rig.p()));
        EXPECT_FALSE ((bool) report["ok"]) << c.size;
        EXPECT_EQ (report["err"].toString(), "disk write failed (full?)") << c.size;
    }
}

TEST (ExportHandlers, TooFewArgumentsTouchNothing)
{
    ExportRig rig;
    const juce::String badArgs = R"({"ok":false,"err":"bad args"})";
    EXPECT_EQ (call (vistrel::exportAppend, rig.p()).toString(), badArgs);
    EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "rec" }).toString(), badArgs);
    EXPECT_EQ (call (vistrel::exportAudioStart, rig.p()).toString(), badArgs);
    EXPECT_EQ (call (vistrel::exportStill, rig.p()).toString(), badArgs);
    EXPECT_EQ (rig.p().exportSession, nullptr);
    EXPECT_TRUE (rig.files().isEmpty());

    EXPECT_EQ (call (vistrel::exportFinish, rig.p()).toString(), R"({"ok":false,"err":"no recording"})");
    EXPECT_EQ (call (vistrel::exportFinish, rig.p(), { "ignored", 3 }).toString(), R"({"ok":false,"err":"no recording"})");
}

TEST (ExportSession, SameNameReusesAndAnotherNameFinishesTheFirstUnmuxed)
{
    ExportRig rig;
    rig.useFfmpeg (rig.script ("ffmpeg", "echo called > \"$(dirname \"$0\")/called\"; exit 1").getFullPathName());

    withinOneMinute ([&]
    {
        rig.folder.deleteRecursively();
        call (vistrel::exportAppend, rig.p(), { "one", "YWJj" });
        call (vistrel::exportAudioStart, rig.p(), { "one" });
        auto* first = rig.p().exportSession.get();
        const auto firstVideo = first->videoFile, firstAudio = first->audioFile;
        call (vistrel::exportAppend, rig.p(), { "one", "ZGVm" });
        EXPECT_EQ (rig.p().exportSession.get(), first);
        EXPECT_EQ (first->videoBytes, 6);

        uint64_t frame = 0;
        feed (rig.p(), frame, 1000);
        rig.p().exportPumpAudio();

        EXPECT_EQ (call (vistrel::exportAppend, rig.p(), { "two", "Z2hp" }).toString(), R"({"ok":true,"bytes":3})");
        EXPECT_FALSE (rig.p().exportTap.armed.load()) << "the old recording's capture stops with it";

        const auto second = rig.p().exportSession->videoFile;
        EXPECT_EQ (second.getFileNameWithoutExtension(), firstVideo.getFileNameWithoutExtension() + "-2");
        EXPECT_EQ (firstVideo.loadFileAsString(), "abcdef");
        EXPECT_TRUE (holdsFrames (readWav (firstAudio), 0, 1000));
        EXPECT_FALSE (rig.root.getFile().getChildFile ("called").exists()) << "no mux on a change of name";
        EXPECT_FALSE (firstVideo.getSiblingFile (firstVideo.getFileNameWithoutExtension() + "-final.mp4").exists());
        call (vistrel::exportFinish, rig.p());
    });
}

TEST (ExportSession, AfterAFinishTheSameNameStartsANewRecording)
{
    ExportRig rig;
    call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
    const auto first = rig.p().exportSession->videoFile;
    call (vistrel::exportFinish, rig.p());

    call (vistrel::exportAppend, rig.p(), { "rec", "ZGVm" });
    const auto second = rig.p().exportSession->videoFile;
    EXPECT_NE (first, second);
    EXPECT_EQ (rig.p().exportSession->videoBytes, 3);
    EXPECT_EQ (first.loadFileAsString(), "abc");
}
} // namespace
