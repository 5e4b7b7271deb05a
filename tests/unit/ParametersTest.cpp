#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "TestHelpers.h"

namespace
{
using vistrel::test::valueOf;

TEST (Parameters, IdsInLayoutOrderMatchTheProcessorsParameters)
{
    const juce::StringArray expected { "scene", "hue", "hue2", "react", "colour", "autoPilot", "sensitivity",
                                       "attack", "release", "wBass", "wMid", "wHigh", "beatSource" };
    EXPECT_EQ (vistrel::paramIds(), expected);
    EXPECT_EQ (&vistrel::paramIds(), &vistrel::paramIds());

    VistrelAudioProcessor processor;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 13);
    for (int i = 0; i < params.size(); ++i)
    {
        auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (params[i]);
        ASSERT_NE (withId, nullptr);
        EXPECT_EQ (withId->getParameterID(), expected[i]);
        EXPECT_EQ (withId->getVersionHint(), 1);
        EXPECT_TRUE (withId->isAutomatable());
        EXPECT_FALSE (withId->isMetaParameter());
        EXPECT_EQ (withId->getLabel(), "");
    }
}

struct ParamCase
{
    const char* id;
    const char* name;
    float start, end, interval, skew, defaultValue;
};

class ParameterTable : public ::testing::TestWithParam<ParamCase> {};

TEST_P (ParameterTable, NameRangeAndDefault)
{
    const auto& c = GetParam();
    VistrelAudioProcessor processor;
    auto* param = processor.apvts.getParameter (c.id);
    ASSERT_NE (param, nullptr);
    EXPECT_EQ (param->getName (100), c.name);

    const auto& range = param->getNormalisableRange();
    EXPECT_EQ (range.start, c.start);
    EXPECT_EQ (range.end, c.end);
    EXPECT_FLOAT_EQ (range.interval, c.interval);
    EXPECT_EQ (range.skew, c.skew);
    EXPECT_FALSE (range.symmetricSkew);
    // Skewed ranges round-trip their default through the normalised value.
    EXPECT_NEAR (valueOf (processor.apvts, c.id), c.defaultValue, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P (Table, ParameterTable,
    ::testing::Values (ParamCase { "scene", "Scene", 1, 34, 1, 1, 1 },
                       ParamCase { "hue", "Hue", 0, 360, 1, 1, 0 },
                       ParamCase { "hue2", "Hue 2", 0, 360, 1, 1, 0 },
                       ParamCase { "react", "React", 0, 100, 1, 1, 85 },
                       ParamCase { "colour", "Colour Mode", 0, 4, 1, 1, 0 },
                       ParamCase { "autoPilot", "Auto Pilot", 0, 1, 1, 1, 0 },
                       ParamCase { "sensitivity", "Sensitivity", -24, 24, 0.1f, 1, 0 },
                       ParamCase { "attack", "React Attack", 1, 200, 0, 0.25505447387695312f, 10 },
                       ParamCase { "release", "React Release", 50, 2000, 0, 0.34795001149177551f, 150 },
                       ParamCase { "wBass", "Bass Weight", 0, 2, 0.01f, 1, 1 },
                       ParamCase { "wMid", "Mid Weight", 0, 2, 0.01f, 1, 1 },
                       ParamCase { "wHigh", "High Weight", 0, 2, 0.01f, 1, 1 },
                       ParamCase { "beatSource", "Beat Source", 0, 2, 1, 1, 2 }),
    [] (const auto& caseInfo) { return std::string (caseInfo.param.id); });

TEST (Parameters, KindsAndChoices)
{
    VistrelAudioProcessor processor;
    auto& apvts = processor.apvts;
    EXPECT_NE (dynamic_cast<juce::AudioParameterInt*> (apvts.getParameter ("scene")), nullptr);
    EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (apvts.getParameter ("autoPilot")), nullptr);
    for (auto* id : { "hue", "hue2", "react", "sensitivity", "attack", "release", "wBass", "wMid", "wHigh" })
        EXPECT_NE (dynamic_cast<juce::AudioParameterFloat*> (apvts.getParameter (id)), nullptr) << id;

    auto* colour = dynamic_cast<juce::AudioParameterChoice*> (apvts.getParameter ("colour"));
    auto* beat = dynamic_cast<juce::AudioParameterChoice*> (apvts.getParameter ("beatSource"));
    ASSERT_NE (colour, nullptr);
    ASSERT_NE (beat, nullptr);
    EXPECT_EQ (colour->choices, (juce::StringArray { "Colour", "Light B&W", "Body B&W", "Black & White", "Spectrum" }));
    EXPECT_EQ (beat->choices, (juce::StringArray { "Host", "Auto", "Hybrid" }));
    EXPECT_EQ (beat->getCurrentChoiceName(), "Hybrid");

    processor.uiSetParam ("colour", 3);
    EXPECT_EQ (colour->getCurrentChoiceName(), "Black & White");
    EXPECT_EQ (colour->getCurrentValueAsText(), "Black & White");
}

TEST (Parameters, SkewFactorsPutTheCentreAtHalfway)
{
    EXPECT_EQ (vistrel::skewForCentre (1.0, 200.0, 14.14), 0.25505447387695312f);
    EXPECT_EQ (vistrel::skewForCentre (50.0, 2000.0, 316.0), 0.34795001149177551f);

    VistrelAudioProcessor processor;
    EXPECT_NEAR (processor.apvts.getParameter ("attack")->convertFrom0to1 (0.5f), 14.14f, 1e-3f);
    EXPECT_NEAR (processor.apvts.getParameter ("release")->convertFrom0to1 (0.5f), 316.0f, 1e-2f);
}

struct TextCase
{
    const char* id;
    float value;
    const char* text;
};

class ValueTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P (ValueTexts, MatchExactlyAndAreNeverShortened)
{
    VistrelAudioProcessor processor;
    auto* param = processor.apvts.getParameter (GetParam().id);
    const auto normalised = param->getNormalisableRange().convertTo0to1 (GetParam().value);
    const auto expected = juce::String (juce::CharPointer_UTF8 (GetParam().text));
    EXPECT_EQ (param->getText (normalised, 2), expected);
    EXPECT_EQ (param->getText (normalised, 1000), expected);
}

INSTANTIATE_TEST_SUITE_P (Table, ValueTexts,
    ::testing::Values (TextCase { "hue", 180.0f, "180 \xc2\xb0" },
                       TextCase { "hue", 359.6f, "360 \xc2\xb0" },
                       TextCase { "hue2", 0.0f, "0 \xc2\xb0" },
                       TextCase { "react", 85.0f, "85 %" },
                       TextCase { "react", 0.4f, "0 %" },
                       TextCase { "attack", 12.5f, "12 ms" },
                       TextCase { "react", 99.5f, "100 %" },
                       TextCase { "release", 316.0f, "316 ms" },
                       TextCase { "sensitivity", -3.5f, "-3.5 dB" },
                       TextCase { "sensitivity", 0.0f, "0.0 dB" },
                       TextCase { "wBass", 1.0f, "1.00" },
                       TextCase { "wHigh", 0.25f, "0.25" }));

TEST (Parameters, DefaultTextsOfIntegerChoiceAndSwitch)
{
    VistrelAudioProcessor processor;
    EXPECT_EQ (processor.apvts.getParameter ("scene")->getCurrentValueAsText(), "1");
    EXPECT_EQ (processor.apvts.getParameter ("colour")->getCurrentValueAsText(), "Colour");
    EXPECT_EQ (processor.apvts.getParameter ("beatSource")->getCurrentValueAsText(), "Hybrid");
    EXPECT_EQ (processor.apvts.getParameter ("autoPilot")->getCurrentValueAsText(), "Off");
}

struct SnapCase
{
    const char* id;
    float in, expected;
};

class Snapping : public ::testing::TestWithParam<SnapCase> {};

TEST_P (Snapping, StoredValueSnapsToTheInterval)
{
    VistrelAudioProcessor processor;
    processor.uiSetParam (GetParam().id, GetParam().in);
    EXPECT_NEAR (valueOf (processor.apvts, GetParam().id), GetParam().expected, 2e-3f);
}

INSTANTIATE_TEST_SUITE_P (Table, Snapping,
    ::testing::Values (SnapCase { "sensitivity", 3.14f, 3.1f },
                       SnapCase { "sensitivity", -7.06f, -7.1f },
                       SnapCase { "wMid", 0.337f, 0.34f },
                       SnapCase { "hue", 123.4f, 123.0f },
                       SnapCase { "react", 55.6f, 56.0f },
                       SnapCase { "attack", 12.345f, 12.345f },
                       SnapCase { "release", 777.77f, 777.77f },
                       SnapCase { "hue", 400.0f, 360.0f },
                       SnapCase { "hue", -5.0f, 0.0f },
                       SnapCase { "scene", 40.0f, 34.0f },
                       SnapCase { "scene", 17.0f, 17.0f },
                       SnapCase { "beatSource", 1.0f, 1.0f },
                       SnapCase { "autoPilot", 1.0f, 1.0f }));

} // namespace
