#pragma once

#include <optional>
#include <vector>

#include <juce_audio_processors/juce_audio_processors.h>

namespace vistrel::test
{

/** A play head that reports whatever position the test puts in it, or none. */
struct FakePlayHead : juce::AudioPlayHead
{
    std::optional<PositionInfo> position;

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (position)
            return *position;
        return {};
    }
};

/** Records what a host sees of a parameter: gesture begins and ends and value changes. */
struct HostParameterRecorder : juce::AudioProcessorParameter::Listener
{
    enum class Kind { begin, end, value };
    struct Event { int index; Kind kind; float value; };

    explicit HostParameterRecorder (juce::AudioProcessor& p) : processor (p)
    {
        for (auto* param : processor.getParameters())
            param->addListener (this);
    }

    ~HostParameterRecorder() override
    {
        for (auto* param : processor.getParameters())
            param->removeListener (this);
    }

    void parameterValueChanged (int index, float value) override { events.push_back ({ index, Kind::value, value }); }
    void parameterGestureChanged (int index, bool starting) override
    {
        events.push_back ({ index, starting ? Kind::begin : Kind::end, 0.0f });
    }

    int count (Kind kind) const
    {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == kind ? 1 : 0;
        return n;
    }

    std::vector<Kind> kinds() const
    {
        std::vector<Kind> result;
        for (const auto& e : events)
            result.push_back (e.kind);
        return result;
    }

    juce::AudioProcessor& processor;
    std::vector<Event> events;
};

/** The parameter's value in its own units. */
inline float valueOf (juce::AudioProcessorValueTreeState& apvts, const juce::String& id)
{
    auto* param = apvts.getParameter (id);
    return param->convertFrom0to1 (param->getValue());
}

} // namespace vistrel::test
