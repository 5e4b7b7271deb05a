// Which folder the page comes from, and how each requested path is answered from it.

#include <gtest/gtest.h>

#include "editor/UiFolderSearch.h"
#include "editor/UiResourceProvider.h"

using namespace vistrel;

namespace
{
/** A temporary folder tree that goes away with the test. */
struct TempTree
{
    TempTree()
    {
        root = juce::File::createTempFile ("vistrel-ui-tree");
        root.createDirectory();
    }

    ~TempTree() { root.deleteRecursively(); }

    juce::File write (const juce::String& relative, const juce::String& text) const
    {
        auto file = root.getChildFile (relative);
        file.getParentDirectory().createDirectory();
        file.replaceWithText (text);
        return file;
    }

    juce::File folder (const juce::String& relative) const
    {
        auto dir = root.getChildFile (relative);
        dir.createDirectory();
        return dir;
    }

    juce::File root;
};

std::string textOf (const bridge::Resource& resource)
{
    return { reinterpret_cast<const char*> (resource.data.data()), resource.data.size() };
}
} // namespace

TEST (UiResourceProvider, AnswersEveryPathCaseFromTheFolder)
{
    TempTree tree;
    const auto ui = tree.folder ("ui");
    tree.write ("ui/index.html", "INDEX");
    tree.write ("ui/js/app.js", "APP");
    tree.write ("ui/Styles/Main.CSS", "CSS");
    tree.write ("ui/page.htm", "HTM");
    tree.write ("ui/LICENSE", "LICENSE");
    tree.write ("ui/data.json", "{}");
    tree.write ("ui/img/a.SVG", "SVG");
    tree.write ("ui/empty.txt", "");
    tree.write ("ui/a#b.js", "HASH");
    tree.folder ("ui/assets");
    tree.write ("secret", "SECRET");
    tree.write ("ui/b", "B");

    struct Case
    {
        const char* path;
        const char* content;   // nullptr: no resource
        const char* mime;
    };

    const Case cases[] = {
        { "/", "INDEX", "text/html" },
        { "/?t=1", "INDEX", "text/html" },
        { "", "INDEX", "text/html" },
        { "/index.html", "INDEX", "text/html" },
        { "index.html", "INDEX", "text/html" },
        { "/js/app.js?v=3", "APP", "text/javascript" },
        { "/js/app.js?v=3?w=4", "APP", "text/javascript" },
        { "/Styles/Main.CSS", "CSS", "text/css" },
        { "/data.json", "{}", "application/json" },
        { "/img/a.SVG", "SVG", "image/svg+xml" },
        { "/page.htm", "HTM", "application/octet-stream" },
        { "/LICENSE", "LICENSE", "application/octet-stream" },
        { "/empty.txt", "", "application/octet-stream" },
        { "/a#b.js", "HASH", "text/javascript" },       // "#" is nothing special
        { "/../secret", nullptr, nullptr },
        { "/a/../b", nullptr, nullptr },
        { "/..hidden", nullptr, nullptr },
        { "/js/..", nullptr, nullptr },
        { "//etc/hosts", nullptr, nullptr },              // absolute after the one "/" goes
        { "/assets/", nullptr, nullptr },
        { "/assets", nullptr, nullptr },
        { "/js", nullptr, nullptr },
        { "/missing.js", nullptr, nullptr },
        { "/INDEX.HTML", nullptr, nullptr },
    };

    for (const auto& c : cases)
    {
        const auto answer = provideUiResource (ui, c.path);

        if (c.content == nullptr)
        {
            EXPECT_FALSE (answer.has_value()) << c.path;
            continue;
        }

        ASSERT_TRUE (answer.has_value()) << c.path;
        EXPECT_EQ (textOf (*answer), c.content) << c.path;
        EXPECT_EQ (answer->mimeType, juce::String (c.mime)) << c.path;
    }
}

TEST (UiResourceProvider, ReadsTheFileAgainForEveryRequest)
{
    TempTree tree;
    const auto file = tree.write ("ui/index.html", "one");
    EXPECT_EQ (textOf (*provideUiResource (tree.root.getChildFile ("ui"), "/")), "one");
    file.replaceWithText ("two");
    EXPECT_EQ (textOf (*provideUiResource (tree.root.getChildFile ("ui"), "/")), "two");
}

TEST (UiResourceProvider, WithoutAFolderOnlyTheIndexAnswersWithTheFallbackPage)
{
    const std::string fallback =
        "<html><body style='background:#060809;color:#c8d0d4;font:13px ui-monospace,monospace;padding:24px'>"
        "<b>VISTREL</b><br><br>the ui/ resource tree was not found.<br>expected it at &lt;bundle&gt;/Contents/Resources/ui, "
        "or set $VISTREL_UI_DIR.</body></html>";

    for (const auto* path : { "/", "/index.html", "", "/?x=1" })
    {
        const auto answer = provideUiResource ({}, path);
        ASSERT_TRUE (answer.has_value()) << path;
        EXPECT_EQ (textOf (*answer), fallback);
        EXPECT_EQ (answer->mimeType, "text/html");
    }

    for (const auto* path : { "/INDEX.HTML", "/app.js", "/../index.html" })
        EXPECT_FALSE (provideUiResource ({}, path).has_value()) << path;
}

TEST (UiResourceProvider, MimeTypesFollowTheLowerCasedExtension)
{
    const std::pair<const char*, const char*> table[] = {
        { "a.html", "text/html" }, { "a.js", "text/javascript" }, { "a.mjs", "text/javascript" },
        { "a.css", "text/css" }, { "a.json", "application/json" }, { "a.svg", "image/svg+xml" },
        { "a.png", "image/png" }, { "a.jpg", "image/jpeg" }, { "a.JPEG", "image/jpeg" },
        { "a.gif", "image/gif" }, { "a.webp", "image/webp" }, { "a.woff2", "font/woff2" },
        { "a.WOFF", "font/woff" }, { "a.htm", "application/octet-stream" }, { "a", "application/octet-stream" },
        { "a.tar.gz", "application/octet-stream" },
    };

    for (const auto& [name, mime] : table)
        EXPECT_EQ (mimeTypeForFile (juce::File ("/x").getChildFile (name)), juce::String (mime)) << name;
}

TEST (UiFolderSearch, TheEnvironmentVariableWinsWhenItNamesAFolder)
{
    TempTree tree;
    const auto fromEnv = tree.folder ("env ui");
    const auto dev = tree.folder ("dev/ui");
    const auto file = tree.write ("not-a-folder", "x");
    const auto binary = tree.root.getChildFile ("bin/app");

    EXPECT_EQ (findUiFolder (fromEnv.getFullPathName(), binary, dev), fromEnv);
    EXPECT_EQ (findUiFolder ("\"" + fromEnv.getFullPathName() + "\"", binary, dev), fromEnv);
    EXPECT_EQ (findUiFolder ("'" + fromEnv.getFullPathName() + "'", binary, dev), fromEnv);
    // Only one pair of quotes goes; a folder whose name keeps the other pair does not exist.
    EXPECT_EQ (findUiFolder ("\"\"" + fromEnv.getFullPathName() + "\"\"", binary, dev), dev);
    EXPECT_EQ (findUiFolder (file.getFullPathName(), binary, dev), dev);          // a file is ignored
    EXPECT_EQ (findUiFolder (tree.root.getChildFile ("nope").getFullPathName(), binary, dev), dev);
    EXPECT_EQ (findUiFolder ({}, binary, dev), dev);
}

TEST (UiFolderSearch, FindsResourcesUiBesideTheBinaryWithoutClimbingAboveContents)
{
    TempTree tree;
    const auto dev = tree.folder ("dev/ui");

    // The standalone: Resources/ui beside the executable.
    const auto standalone = tree.folder ("Standalone/Resources/ui");
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("Standalone/Quorvane Vistrel"), dev), standalone);

    // A VST3 bundle: the shared object sits in Contents/x86_64-linux.
    const auto vst3 = tree.folder ("VST3/X.vst3/Contents/Resources/ui");
    tree.folder ("VST3/X.vst3/Contents/x86_64-linux");
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("VST3/X.vst3/Contents/x86_64-linux/X.so"), dev), vst3);

    // An LV2 bundle: the shared object sits at the bundle's top.
    const auto lv2 = tree.folder ("LV2/X.lv2/Resources/ui");
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("LV2/X.lv2/libX.so"), dev), lv2);

    // A bundle without the page: the search stops at Contents even though an ancestor has one.
    tree.folder ("Outer/Resources/ui");
    tree.folder ("Outer/Empty.vst3/Contents/x86_64-linux");
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("Outer/Empty.vst3/Contents/x86_64-linux/X.so"), dev), dev);

    // At most four folders are examined: F and three ancestors.
    const auto four = tree.folder ("deep/Resources/ui");
    tree.folder ("deep/a/b/c");
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("deep/a/b/c/app"), dev), four);
    tree.folder ("deeper/Resources/ui");
    tree.folder ("deeper/a/b/c/d");
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("deeper/a/b/c/d/app"), dev), dev);

    // A binary in a folder that does not exist goes straight to the development folder.
    EXPECT_EQ (findUiFolder ({}, tree.root.getChildFile ("gone/app"), dev), dev);
}

TEST (UiFolderSearch, EndsWithNothingWhenNoRuleFindsAFolder)
{
    TempTree tree;
    const auto binary = tree.root.getChildFile ("bin/app");
    tree.folder ("bin");
    EXPECT_EQ (findUiFolder ({}, binary, tree.root.getChildFile ("no-dev")), juce::File());
    EXPECT_EQ (findUiFolder ({}, binary, {}), juce::File());
}
