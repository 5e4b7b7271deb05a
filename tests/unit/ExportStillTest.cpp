#include "ExportTestRig.h"

namespace
{
using namespace vistrel::test;

TEST (ExportStill, WritesTheBytesUnderAFreshStampEachTime)
{
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        ExportRig rig;
        const auto minute = juce::Time::getCurrentTime().getMinutes();
        const auto first = parse (call (vistrel::exportStill, rig.p(), { "YWJj" }));
        const auto second = parse (call (vistrel::exportStill, rig.p(), { "ZGVmZw==" }));
        if (juce::Time::getCurrentTime().getMinutes() != minute)
            continue;

        const juce::File a (first["path"].toString()), b (second["path"].toString());
        EXPECT_TRUE ((bool) first["ok"]);
        EXPECT_EQ ((int) first["bytes"], 3);
        EXPECT_EQ (a.getParentDirectory(), rig.folder);
        EXPECT_TRUE (a.getFileName().matchesWildcard ("VISTREL-????-??-??-????.png", false)) << a.getFileName();
        EXPECT_EQ (b.getFileName(), a.getFileNameWithoutExtension() + "-2.png");
        EXPECT_EQ (a.loadFileAsString(), "abc");
        EXPECT_EQ (b.loadFileAsString(), "defg") << "bytes are written as given, PNG or not";
        EXPECT_EQ (rig.files().size(), 2) << "no temporary file stays behind";
        return;
    }
    FAIL() << "the clock kept crossing a minute";
}

TEST (ExportStill, AMinuteWithAMuxedRecordingGivesTheStillASuffix)
{
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        ExportRig rig;
        rig.folder.createDirectory();
        const auto base = VistrelAudioProcessor::vistrelStamp (rig.folder, { ".png" });
        rig.folder.getChildFile (base + "-final.mp4").create();

        const auto answer = parse (call (vistrel::exportStill, rig.p(), { "YWJj" }));
        if (VistrelAudioProcessor::vistrelStamp (rig.root.getFile(), { ".png" }) != base)
            continue; // the minute turned in between

        EXPECT_EQ (juce::File (answer["path"].toString()).getFileName(), base + "-2.png");
        return;
    }
    FAIL() << "the clock kept crossing a minute";
}

TEST (ExportStill, RefusesBadDataAndCreatesNothing)
{
    for (const auto* bad : { "", "data:image/png;base64,YWJj", "YWJ", "YW\nJj", "YW Jj" })
    {
        ExportRig rig;
        EXPECT_EQ (call (vistrel::exportStill, rig.p(), { bad }).toString(), R"({"ok":false,"err":"corrupt image data"})") << bad;
        EXPECT_FALSE (rig.folder.exists()) << bad;
    }
}

TEST (ExportStill, UnwritableFolderIsReportedWithThePath)
{
    ExportRig rig;
    const auto blocker = rig.root.getFile().getChildFile ("plain-file");
    blocker.replaceWithText ("x");
    rig.p().exportFolderOverride = blocker.getChildFile ("VISTREL");

    const auto answer = parse (call (vistrel::exportStill, rig.p(), { "YWJj" }));
    EXPECT_FALSE ((bool) answer["ok"]);
    EXPECT_TRUE (answer["err"].toString().startsWith ("could not write " + rig.p().exportFolderOverride.getFullPathName() + "/VISTREL-"));
    EXPECT_TRUE (answer["err"].toString().endsWith (".png"));
}

TEST (ExportStill, LeavesARecordingAlone)
{
    ExportRig rig;
    call (vistrel::exportAppend, rig.p(), { "rec", "YWJj" });
    auto* session = rig.p().exportSession.get();

    EXPECT_TRUE ((bool) parse (call (vistrel::exportStill, rig.p(), { "YWJj" }))["ok"]);
    EXPECT_EQ (rig.p().exportSession.get(), session);
    EXPECT_EQ (session->videoBytes, 3);
    EXPECT_TRUE ((bool) parse (call (vistrel::exportProbe, rig.p()))["recording"]);
}
} // namespace
