#include <gtest/gtest.h>

#include "presets/UserPresets.h"

namespace
{
namespace presets = vistrel::presets;

struct PresetFolder : ::testing::Test
{
    juce::File root = juce::File::createTempFile ("presets");
    juce::File folder = root.getChildFile ("Presets");

    void SetUp() override { ASSERT_TRUE (folder.createDirectory()); }
    void TearDown() override { root.deleteRecursively(); }

    juce::StringArray filesInFolder() const
    {
        juce::StringArray names;
        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories))
            names.add (entry.getFile().getFileName());
        names.sort (false);
        return names;
    }
};

struct NameCase
{
    const char* name;
    const char* base;
};

class NameRule : public ::testing::TestWithParam<NameCase> {};

TEST_P (NameRule, MapsNamesToBaseFileNames)
{
    EXPECT_EQ (presets::baseNameFor (juce::String (juce::CharPointer_UTF8 (GetParam().name))),
               juce::String (juce::CharPointer_UTF8 (GetParam().base)));
}

INSTANTIATE_TEST_SUITE_P (Table, NameRule, ::testing::Values (
    NameCase { "Deep/Blue: 1", "DeepBlue 1" },
    NameCase { "Sunset.json", "Sunset" },
    NameCase { "Sunset", "Sunset" },
    NameCase { "Deep Blue.JSON", "Deep Blue" },
    NameCase { "a.json.json", "a" },
    NameCase { "x.jsonish", "x" },
    NameCase { "???", "" },
    NameCase { "\"#@,;:<>*^|?\\/", "" },
    NameCase { "..", ".." },
    NameCase { "../../etc/passwd", "....etcpasswd" },
    NameCase { "/etc/passwd", "etcpasswd" },
    NameCase { "C:\\Windows\\x", "CWindowsx" },
    NameCase { "tab\there\nnew\x1b[31m", "tabherenew[31m" },
    NameCase { "Caf\xc3\xa9 \xe2\x99\xab", "Caf\xc3\xa9 \xe2\x99\xab" },
    NameCase { "   ", "   " },
    NameCase { "", "" }));

TEST (NameRuleLength, LongNamesAreCutTo128KeepingAShortExtension)
{
    const auto longName = juce::String::repeatedString ("n", 200);
    EXPECT_EQ (presets::baseNameFor (longName), juce::String::repeatedString ("n", 128));

    // A dot within the last 11 characters survives the cut with its extension.
    const auto withExtension = juce::String::repeatedString ("n", 200) + ".v2";
    const auto cut = presets::baseNameFor (withExtension);
    EXPECT_EQ (cut.length(), 128);
    EXPECT_TRUE (cut.endsWith ("n.v2"));

    // ".json" within the kept extension is cut after shortening.
    const auto jsonName = juce::String::repeatedString ("k", 300) + ".json";
    EXPECT_EQ (presets::baseNameFor (jsonName), juce::String::repeatedString ("k", 123));
}

TEST_F (PresetFolder, SaveListLoadDeleteRoundTrip)
{
    ASSERT_TRUE (presets::save (folder, "Deep/Blue: 1", "{\"a\":1}"));
    ASSERT_TRUE (presets::save (folder, "Sunset.json", "one"));
    ASSERT_TRUE (presets::save (folder, "Sunset", "two")); // same file, replaced
    ASSERT_TRUE (presets::save (folder, "Neon", ""));

    EXPECT_EQ (filesInFolder(), (juce::StringArray { "DeepBlue 1.json", "Neon.json", "Sunset.json" }));

    auto listed = presets::list (folder);
    listed.sort (false);
    EXPECT_EQ (listed, (juce::StringArray { "DeepBlue 1", "Neon", "Sunset" }));

    EXPECT_EQ (presets::load (folder, "Deep/Blue: 1"), "{\"a\":1}");
    EXPECT_EQ (presets::load (folder, "Sunset.JSON"), "two");
    EXPECT_EQ (presets::load (folder, "Neon"), "");
    EXPECT_EQ (presets::load (folder, "Missing"), "");
}

TEST_F (PresetFolder, LineEndsBecomeCrLfWithoutDoubling)
{
    ASSERT_TRUE (presets::save (folder, "Lines", "a\nb\r\nc\n\nd\r"));
    EXPECT_EQ (presets::load (folder, "Lines"), "a\r\nb\r\nc\r\n\r\nd\r");

    juce::MemoryBlock raw;
    ASSERT_TRUE (folder.getChildFile ("Lines.json").loadFileAsData (raw));
    EXPECT_EQ (raw.toString(), "a\r\nb\r\nc\r\n\r\nd\r");
    EXPECT_NE (static_cast<const uint8_t*> (raw.getData())[0], 0xef); // no byte-order mark
}

TEST_F (PresetFolder, UnicodeTextIsStoredAsUtf8)
{
    const juce::String text (juce::CharPointer_UTF8 ("{\"name\":\"Caf\xc3\xa9 \xe2\x99\xab\"}"));
    ASSERT_TRUE (presets::save (folder, "U", text));
    EXPECT_EQ (presets::load (folder, "U"), text);
}

TEST_F (PresetFolder, NamesThatMapToNothingDoNothing)
{
    EXPECT_FALSE (presets::save (folder, "???", "x"));
    EXPECT_FALSE (presets::remove (folder, "???"));
    EXPECT_TRUE (filesInFolder().isEmpty());

    // An empty name is not refused for loading: it reads the file named ".json".
    folder.getChildFile (".json").replaceWithText ("hidden");
    EXPECT_EQ (presets::load (folder, ""), "hidden");
}

TEST_F (PresetFolder, NoNameEverEscapesTheFolder)
{
    const auto outside = root.getChildFile ("outside.json");
    juce::Random random (99);
    juce::StringArray names { "..", "../outside", "../../outside", "/tmp/x", "..\\outside", ".", "....",
                              " ", "\t", "a/../../b", "~/x", "$HOME/x", juce::String::repeatedString ("../", 60) };

    for (int i = 0; i < 300; ++i)
    {
        juce::String name;
        const int length = random.nextInt (40);
        for (int j = 0; j < length; ++j)
        {
            static const juce::juce_wchar pool[] = { '.', '/', '\\', 'a', ' ', ':', 0x1f, 0xe9, 0x266b, '~', '\n' };
            name += juce::String::charToString (pool[random.nextInt ((int) std::size (pool))]);
        }
        names.add (name);
    }

    for (const auto& name : names)
    {
        const auto file = presets::fileFor (folder, name);
        if (file != juce::File())
            EXPECT_EQ (file.getParentDirectory(), folder) << name;
        presets::save (folder, name, "x");
        presets::load (folder, name);
    }

    EXPECT_FALSE (outside.exists());
    for (const auto& entry : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFiles))
        EXPECT_EQ (entry.getFile().getParentDirectory(), folder) << entry.getFile().getFullPathName();
}

TEST_F (PresetFolder, DeleteMovesToTheTrashThenAnswersFalse)
{
    const auto trash = juce::File ("~/.local/share/Trash/files");
    const bool hadTrash = trash.isDirectory();
    ASSERT_TRUE (trash.createDirectory());

    ASSERT_TRUE (presets::save (folder, "Gone", "bye"));
    const auto trashedBefore = trash.getNumberOfChildFiles (juce::File::findFiles, "Gone*.json");
    EXPECT_TRUE (presets::remove (folder, "Gone"));
    EXPECT_FALSE (folder.getChildFile ("Gone.json").exists());
    EXPECT_EQ (trash.getNumberOfChildFiles (juce::File::findFiles, "Gone*.json"), trashedBefore + 1);
    EXPECT_FALSE (presets::remove (folder, "Gone"));

    // A folder of that name is not a preset.
    folder.getChildFile ("Dir.json").createDirectory();
    EXPECT_FALSE (presets::remove (folder, "Dir"));
    EXPECT_EQ (presets::load (folder, "Dir"), "");

    if (! hadTrash)
        trash.getParentDirectory().deleteRecursively();
}

TEST (PresetFolderLocation, LivesInTheUsersApplicationDataAndIsCreated)
{
    const auto folder = presets::defaultFolder();
    EXPECT_TRUE (folder.isDirectory());
    EXPECT_EQ (folder.getFileName(), "Presets");
    EXPECT_EQ (folder.getParentDirectory().getFileName(), "VISTREL");
    EXPECT_EQ (folder.getParentDirectory().getParentDirectory().getFileName(), "Quorvane");
    EXPECT_EQ (folder.getParentDirectory().getParentDirectory().getParentDirectory(),
               juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory));
}

} // namespace
