// The timer's work between two ticks: dt, and frame, parameter and state events in order.

#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "editor/FramePump.h"
#include "editor/ParameterSnapshot.h"

using namespace vistrel;

namespace
{
struct Sent
{
    juce::String id;
    juce::var payload;
};

std::vector<Sent> tick (VistrelAudioProcessor& processor)
{
    std::vector<Sent> sent;
    pumpFrameAndEvents (processor, 0.008, [&] (const juce::Identifier& id, const juce::var& payload)
    {
        sent.push_back ({ id.toString(), payload });
    });
    return sent;
}

std::vector<juce::String> idsOf (const std::vector<Sent>& sent)
{
    std::vector<juce::String> ids;
    for (const auto& s : sent)
        ids.push_back (s.id);
    return ids;
}

void setParameter (VistrelAudioProcessor& processor, const juce::String& id, float normalised)
{
    processor.apvts.getParameter (id)->setValueNotifyingHost (normalised);
}
} // namespace

TEST (FramePump, TheIntervalIsTheTimeSinceTheLastTickUnlessItIsImplausible)
{
    const struct { double now, last, expected; } cases[] = {
        { 1008.0, 1000.0, 0.008 },
        { 1250.0, 1000.0, 0.25 },
        { 1250.5, 1000.0, 1.0 / 60.0 },   // a stalled message thread
        { 1000.0, 1000.0, 1.0 / 60.0 },
        { 990.0, 1000.0, 1.0 / 60.0 },
        { 5000.0, 0.0, 1.0 / 60.0 },      // the first tick long after construction
    };

    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ (tickIntervalSeconds (c.now, c.last), c.expected) << c.now << " - " << c.last;
}

TEST (FramePump, SendsTheFrameThenTheParametersThenTheStateAndConsumesTheFlags)
{
    VistrelAudioProcessor processor;
    processor.uiBlob = "{\"look\":1}";
    processor.uiReady = true;
    processor.paramsDirty = true;
    processor.stateDirty = true;

    const auto first = tick (processor);
    ASSERT_EQ (idsOf (first), (std::vector<juce::String> { "vistrel-frame", "vistrel-params", "vistrel-state" }));
    EXPECT_TRUE (juce::JSON::parse (first[0].payload.toString()).isObject());
    EXPECT_EQ (first[1].payload.toString(), parameterSnapshotJSON (processor));
    EXPECT_EQ (first[2].payload.toString(), "{\"look\":1}");
    EXPECT_FALSE (processor.paramsDirty.load());
    EXPECT_FALSE (processor.stateDirty.load());

    EXPECT_EQ (idsOf (tick (processor)), std::vector<juce::String> { "vistrel-frame" });
}

TEST (FramePump, ARestoredStateWaitsForThePageButParametersDoNot)
{
    VistrelAudioProcessor processor;
    processor.uiBlob = "";
    processor.paramsDirty = true;
    processor.stateDirty = true;

    EXPECT_EQ (idsOf (tick (processor)), (std::vector<juce::String> { "vistrel-frame", "vistrel-params" }));
    EXPECT_EQ (idsOf (tick (processor)), std::vector<juce::String> { "vistrel-frame" });
    EXPECT_TRUE (processor.stateDirty.load());

    processor.uiReady = true;
    const auto ready = tick (processor);
    ASSERT_EQ (idsOf (ready), (std::vector<juce::String> { "vistrel-frame", "vistrel-state" }));
    EXPECT_EQ (ready[1].payload.toString(), "");   // an empty state is still sent
}

TEST (FramePump, ManyChangesBetweenTicksMakeOneSnapshotOfAllThirteenValues)
{
    VistrelAudioProcessor processor;
    tick (processor);

    for (int i = 0; i < 50; ++i)
        setParameter (processor, "hue", (float) i / 50.0f);

    setParameter (processor, "wBass", 1.0f);

    const auto sent = tick (processor);
    ASSERT_EQ (idsOf (sent), (std::vector<juce::String> { "vistrel-frame", "vistrel-params" }));

    const auto snapshot = juce::JSON::parse (sent[1].payload.toString());
    auto* members = snapshot.getDynamicObject();
    ASSERT_NE (members, nullptr);
    ASSERT_EQ (members->getProperties().size(), paramIds().size());

    for (int i = 0; i < paramIds().size(); ++i)
    {
        const auto& id = paramIds()[i];
        EXPECT_EQ (members->getProperties().getName (i).toString(), id);
        auto* param = processor.apvts.getParameter (id);
        EXPECT_NEAR ((double) members->getProperty (id), param->convertFrom0to1 (param->getValue()), 1.0e-6) << id;
    }

    EXPECT_EQ (idsOf (tick (processor)), std::vector<juce::String> { "vistrel-frame" });
}

TEST (FramePump, TheInitAnswerCarriesTheSnapshotAndTheStateAsText)
{
    VistrelAudioProcessor processor;
    EXPECT_EQ (initAnswerJSON (processor), "{\"params\": " + parameterSnapshotJSON (processor) + ", \"state\": null}");

    processor.uiBlob = "{\"a\":[1,2]}";
    const auto init = juce::JSON::parse (initAnswerJSON (processor));
    EXPECT_TRUE (init["state"].isString());
    EXPECT_EQ (init["state"].toString(), "{\"a\":[1,2]}");
    EXPECT_FALSE (processor.paramsDirty.load());
}
