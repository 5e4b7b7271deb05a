#pragma once

#include <optional>
#include <vector>

#include <juce_core/juce_core.h>

namespace vistrel::analyse
{

/** One `--param ID=VALUE`. The value stays text until the processor is at hand, because a
    choice may be named ("Host") as well as given by its index. */
struct ParamSetting
{
    juce::String id;
    juce::String value;
};

/** The transport the tool pretends a host reports. Present as soon as any --host-* option is
    given; otherwise the processor runs without a play head, as in the standalone app. */
struct SimulatedTransport
{
    double bpm = 120.0;
    bool playing = false;
    int sigNumerator = 4;
    int sigDenominator = 4;
};

struct Options
{
    juce::String inputPath;
    std::optional<juce::String> outputPath;
    double tickMs = 8.0;
    int blockSize = 512;
    std::vector<ParamSetting> params;
    std::optional<SimulatedTransport> host;
    bool summary = false;
    bool help = false;
};

struct ParseResult
{
    Options options;
    juce::String error; // empty when the command line is valid

    bool ok() const noexcept { return error.isEmpty(); }
};

/** Reads the command line (without the program name). Checks syntax, ranges and parameter IDs;
    it does not touch the file system. */
ParseResult parseArguments (const juce::StringArray& args);

/** A whole-string decimal number, or nothing: "1.5" yes, "1.5x", "", "nan" and "inf" no. */
std::optional<double> parseNumber (const juce::String& text);

/** The text printed by --help. */
juce::String usageText();

} // namespace vistrel::analyse
