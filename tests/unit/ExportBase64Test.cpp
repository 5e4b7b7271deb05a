#include <gtest/gtest.h>

#include "export/StrictBase64.h"

namespace
{
// Compared as byte vectors: the framework's block comparison hands memcmp a null pointer when a
// block is empty, which the sanitizer build rightly reports.
std::vector<uint8_t> bytesOf (const juce::MemoryBlock& block)
{
    const auto* data = static_cast<const uint8_t*> (block.getData());
    return block.getSize() == 0 ? std::vector<uint8_t>() : std::vector<uint8_t> (data, data + block.getSize());
}

struct Valid { const char* text; const char* bytes; size_t size; };

TEST (StrictBase64, DecodesWhatTheStandardAlphabetAllows)
{
    const Valid cases[] = {
        { "", "", 0 },
        { "YWJj", "abc", 3 },
        { "YWI=", "ab", 2 },
        { "YQ==", "a", 1 },
        { "YWJjZGVm", "abcdef", 6 },
        { "YWJjZA==", "abcd", 4 },
        { "AAAA", "\0\0\0", 3 },
        { "+/+/", "\xfb\xff\xbf", 3 },
        { "////", "\xff\xff\xff", 3 },
    };

    for (const auto& c : cases)
    {
        juce::MemoryBlock out;
        ASSERT_TRUE (vistrel::decodeBase64Strict (juce::String (c.text), out)) << c.text;
        const auto* expected = reinterpret_cast<const uint8_t*> (c.bytes);
        EXPECT_EQ (bytesOf (out), std::vector<uint8_t> (expected, expected + c.size)) << c.text;
    }
}

TEST (StrictBase64, RefusesEverythingElse)
{
    const char* cases[] = {
        "YWJ",                        // ends inside a group
        "Y",
        "YWJjY",
        "YWJj\n",                     // line break
        "YW Jj",                      // space
        " YWJj",
        "YWJj\r\n",
        "data:image/png;base64,YWJj", // data-URL prefix
        "=WJj",                       // '=' first
        "Y=Jj",                       // '=' second
        "YW=j",                       // '=' third with a letter after it
        "====",
        "YW-j",                       // URL-safe alphabet
        "YW_j",
        "YWJ\xc3\xa9",                // not ASCII
        "YWJ.",
    };

    for (const auto* c : cases)
    {
        juce::MemoryBlock out;
        EXPECT_FALSE (vistrel::decodeBase64Strict (c, std::strlen (c), out)) << c;
    }
}

TEST (StrictBase64, NulInsideTheTextIsNotSkipped)
{
    const char text[] = { 'Y', 'W', '\0', 'j' };
    juce::MemoryBlock out;
    EXPECT_FALSE (vistrel::decodeBase64Strict (text, sizeof (text), out));
}

TEST (StrictBase64, RoundTripsEveryByteValueAndLength)
{
    juce::Random random (7);
    for (int size = 0; size < 300; ++size)
    {
        juce::MemoryBlock bytes ((size_t) size);
        for (int i = 0; i < size; ++i)
            static_cast<uint8_t*> (bytes.getData())[i] = (uint8_t) random.nextInt (256);

        juce::MemoryBlock out;
        ASSERT_TRUE (vistrel::decodeBase64Strict (juce::Base64::toBase64 (bytes.getData(), bytes.getSize()), out)) << size;
        ASSERT_EQ (bytesOf (out), bytesOf (bytes)) << size;
    }
}
} // namespace
