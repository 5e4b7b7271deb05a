#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include <juce_core/juce_core.h>

#include "AnalysisTestRig.h"
#include "analysis/Base64.h"
#include "analysis/FixedDecimal.h"

namespace vistrel::test
{
namespace
{

juce::String fixedText (double value, int decimals)
{
    char buffer[kMaxNumberChars + 8];
    const auto* end = writeFixed (buffer, value, decimals);
    return juce::String (juce::CharPointer_UTF8 (buffer), juce::CharPointer_UTF8 (end));
}

TEST (FrameText, FirstFrameAfterConstructionOnSilence)
{
    AnalysisRig rig;
    rig.tick (1.0 / 60.0);
    const auto frame = rig.a().formatFrame ({ false, -1, 0, 0 });

    uint8_t rows[1024];
    std::memset (rows, 0, 256);
    std::memset (rows + 256, 128, 768);
    const auto b = juce::Base64::toBase64 (rows, sizeof (rows));
    ASSERT_EQ (b.length(), 1368);

    const juce::String expected = "{\"v\":3,\"rows\":4,\"b\":\"" + b + "\","
        "\"rms\":0.00000,\"peak\":0.00000,\"onset\":0.00000,\"bands\":[0.00000,0.00000,0.00000],"
        "\"stereo\":0.00000,\"idle\":0.95000,\"beatPhase\":0.033333,\"barPhase\":0.008333,\"bpm\":120.000,"
        "\"playing\":0,\"punch\":0.00000,\"kick\":0.00000,\"note\":-1,\"vel\":0.0000,\"noteCount\":0,"
        "\"loud\":0.00000,\"hits\":[0.00000,0.00000,0.00000],\"timbre\":[0.00000,0.00000,0.00000],"
        "\"ts\":[0.00000,0.00000],\"beatConf\":0.00000,\"tsNum\":4,\"tsDen\":4}";

    EXPECT_EQ (frame, expected);
}

TEST (FrameText, LiveValuesAreWrittenAsGiven)
{
    struct Case { FrameLiveValues live; const char* expected; };

    AnalysisRig rig;
    rig.tick();

    for (const auto& c : { Case { { true, 60, 127, 7 }, "\"playing\":1,\"punch\":0.00000,\"kick\":0.00000,\"note\":60,\"vel\":1.0000,\"noteCount\":7," },
                           Case { { false, 127, 64, 123456 }, "\"note\":127,\"vel\":0.5039,\"noteCount\":123456," },
                           Case { { false, 0, 1, 0 }, "\"note\":0,\"vel\":0.0079,\"noteCount\":0," } })
        EXPECT_TRUE (rig.a().formatFrame (c.live).contains (c.expected)) << c.expected;
}

TEST (FrameText, ParsesAsJsonWithTheTwentyFiveKeysInOrder)
{
    AnalysisRig rig;
    NoiseSource noise (0.4f);

    for (int i = 0; i < 30; ++i)
    {
        rig.write (noise.next (kTickSamples), noise.next (kTickSamples));
        rig.tick();
    }

    const auto frame = rig.a().formatFrame ({ true, 64, 100, 3 });
    EXPECT_FALSE (frame.containsAnyOf (" \n\t"));

    juce::var parsed;
    ASSERT_TRUE (juce::JSON::parse (frame, parsed).wasOk());
    auto* object = parsed.getDynamicObject();
    ASSERT_NE (object, nullptr);

    const char* keys[] = { "v", "rows", "b", "rms", "peak", "onset", "bands", "stereo", "idle", "beatPhase",
                           "barPhase", "bpm", "playing", "punch", "kick", "note", "vel", "noteCount", "loud",
                           "hits", "timbre", "ts", "beatConf", "tsNum", "tsDen" };
    const auto& properties = object->getProperties();
    ASSERT_EQ (properties.size(), 25);

    for (int i = 0; i < 25; ++i)
        EXPECT_EQ (properties.getName (i).toString(), juce::String (keys[i])) << i;

    EXPECT_EQ ((int) parsed["v"], 3);
    EXPECT_EQ ((int) parsed["rows"], 4);
    EXPECT_EQ (parsed["bands"].size(), 3);
    EXPECT_EQ (parsed["ts"].size(), 2);
    EXPECT_NEAR ((double) parsed["rms"], rig.a().rms, 1.0e-5);
    EXPECT_GT ((double) parsed["rms"], 0.0);

    juce::MemoryOutputStream decoded;
    ASSERT_TRUE (juce::Base64::convertFromBase64 (decoded, parsed["b"].toString()));
    ASSERT_EQ (decoded.getDataSize(), 1024u);
    EXPECT_EQ (std::memcmp (decoded.getData(), &rig.a().rows[0][0], 1024), 0);
}

TEST (FixedDecimal, MatchesJuceStringFormattingOverManyValues)
{
    std::mt19937_64 rng (12345);
    std::uniform_real_distribution<double> unit (0.0, 1.0);
    std::uniform_int_distribution<int> decimalsDist (1, 9);
    std::vector<double> values { 0.0, -0.0, 0.5, 1.0, -1.0, 120.0, 0.015625, 0.0078125, -0.0000001, 1.0e-300,
                                 4.9e-324, 999999999.9999999, -999999999.99, 1.0e9, 1.0e15, 1.0e300,
                                 std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN(), 0.000005, 0.0000049999999, 2.5, 3.5 };

    // Exact binary ties at every precision: k / 2^m for small m.
    for (int k = 0; k < 4096; ++k)
        values.push_back ((double) k / 4096.0);

    // Float frame values widened to double, across magnitudes, and random doubles.
    for (int i = 0; i < 100000; ++i)
    {
        const double magnitude = std::pow (10.0, -8.0 + 12.0 * unit (rng));
        const double sign = unit (rng) < 0.2 ? -1.0 : 1.0;
        values.push_back ((double) (float) (sign * magnitude * unit (rng)));
        values.push_back (sign * magnitude * unit (rng));
    }

    int checked = 0;

    for (const double v : values)
    {
        for (const int decimals : { 3, 4, 5, 6, decimalsDist (rng) })
        {
            ASSERT_EQ (fixedText (v, decimals), juce::String (v, decimals)) << v << " with " << decimals;
            ++checked;
        }
    }

    EXPECT_GT (checked, 500000);
}

TEST (FixedDecimal, IntegersAreWrittenPlainly)
{
    struct Case { int64_t value; const char* text; };

    for (const auto c : { Case { 0, "0" }, Case { -1, "-1" }, Case { 4, "4" }, Case { 127, "127" },
                          Case { 2147483647, "2147483647" }, Case { INT64_MIN, "-9223372036854775808" } })
    {
        char buffer[kMaxNumberChars];
        const char* end = writeInteger (buffer, c.value);
        EXPECT_EQ (std::string (buffer, (size_t) (end - buffer)), c.text);
    }
}

TEST (Base64, MatchesJuceForEveryPaddingCase)
{
    std::mt19937 rng (5);
    std::vector<uint8_t> data (1030);

    for (auto& d : data)
        d = (uint8_t) rng();

    for (const size_t n : { (size_t) 0, (size_t) 1, (size_t) 2, (size_t) 3, (size_t) 4, (size_t) 5, (size_t) 1024, (size_t) 1030 })
    {
        std::vector<char> out (base64EncodedLength (n) + 1);
        const auto* end = base64Encode (data.data(), n, out.data());
        ASSERT_EQ ((size_t) (end - out.data()), base64EncodedLength (n));
        EXPECT_EQ (juce::String (juce::CharPointer_UTF8 (out.data()), juce::CharPointer_UTF8 (end)),
                   juce::Base64::toBase64 (data.data(), n)) << n;
    }

    EXPECT_EQ (base64EncodedLength (1024), 1368u);
}

} // namespace
} // namespace vistrel::test
