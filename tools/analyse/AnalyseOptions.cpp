#include "AnalyseOptions.h"

#include <charconv>
#include <cmath>

#include "Parameters.h"

namespace vistrel::analyse
{

namespace
{
constexpr double kMinTickMs = 0.1, kMaxTickMs = 250.0; // the analysis clamps longer ticks anyway
constexpr int kMaxBlock = 32768;                       // the analysis ring keeps no more per block
constexpr double kMaxHostBpm = 999.0;
constexpr int kMaxSigPart = 64;

juce::String quoted (const juce::String& s) { return "'" + s + "'"; }

std::optional<int> parseWholeNumber (const juce::String& text)
{
    const auto value = parseNumber (text);
    if (! value || *value != std::floor (*value) || std::abs (*value) > 1.0e9)
        return std::nullopt;
    return (int) *value;
}

class Parser
{
public:
    explicit Parser (const juce::StringArray& a) : args (a) {}

    ParseResult run()
    {
        bool optionsEnded = false;

        for (index = 0; index < args.size() && result.ok(); ++index)
        {
            const auto arg = args[index];

            if (optionsEnded || ! arg.startsWith ("-") || arg == "-")
            {
                positional (arg);
                continue;
            }

            if (arg == "--")
            {
                optionsEnded = true;
                continue;
            }

            // "--name=value" is accepted beside "--name value".
            auto name = arg;
            std::optional<juce::String> inlineValue;
            if (arg.startsWith ("--") && arg.containsChar ('='))
            {
                name = arg.upToFirstOccurrenceOf ("=", false, false);
                inlineValue = arg.fromFirstOccurrenceOf ("=", false, false);
            }

            option (name, inlineValue);
        }

        if (result.ok() && ! result.options.help && result.options.inputPath.isEmpty())
            fail ("no input file given (usage: vistrel-analyse FILE [options], see --help)");

        return result;
    }

private:
    void fail (const juce::String& message)
    {
        if (result.ok())
            result.error = message;
    }

    void positional (const juce::String& arg)
    {
        if (result.options.inputPath.isNotEmpty())
            fail ("unexpected extra argument " + quoted (arg) + " (only one input file is analysed)");
        else if (arg.isEmpty())
            fail ("the input file name is empty");
        else
            result.options.inputPath = arg;
    }

    std::optional<juce::String> valueFor (const juce::String& name, const std::optional<juce::String>& inlineValue)
    {
        if (inlineValue)
            return inlineValue;

        if (index + 1 >= args.size())
        {
            fail ("option " + name + " needs a value");
            return std::nullopt;
        }

        return args[++index];
    }

    void option (const juce::String& name, const std::optional<juce::String>& inlineValue)
    {
        auto& o = result.options;
        const auto flag = [&] (bool& target)
        {
            if (inlineValue)
                fail ("option " + name + " takes no value");
            target = true;
        };

        if (name == "-h" || name == "--help")
            flag (o.help);
        else if (name == "--summary")
            flag (o.summary);
        else if (name == "--host-playing")
            flag (host().playing);
        else if (name == "-o" || name == "--output")
        {
            if (const auto v = valueFor (name, inlineValue))
            {
                if (v->isEmpty())
                    fail ("option " + name + " needs a file name");
                else
                    o.outputPath = *v;
            }
        }
        else if (name == "--tick-ms")
        {
            if (const auto v = valueFor (name, inlineValue))
            {
                const auto ms = parseNumber (*v);
                if (! ms || *ms < kMinTickMs || *ms > kMaxTickMs)
                    fail ("--tick-ms wants milliseconds from " + juce::String (kMinTickMs) + " to "
                          + juce::String (kMaxTickMs) + ", not " + quoted (*v));
                else
                    o.tickMs = *ms;
            }
        }
        else if (name == "--block")
        {
            if (const auto v = valueFor (name, inlineValue))
            {
                const auto n = parseWholeNumber (*v);
                if (! n || *n < 1 || *n > kMaxBlock)
                    fail ("--block wants a whole number of samples from 1 to " + juce::String (kMaxBlock)
                          + ", not " + quoted (*v));
                else
                    o.blockSize = *n;
            }
        }
        else if (name == "--param")
        {
            if (const auto v = valueFor (name, inlineValue))
                param (*v);
        }
        else if (name == "--host-bpm")
        {
            if (const auto v = valueFor (name, inlineValue))
            {
                const auto bpm = parseNumber (*v);
                if (! bpm || *bpm <= 0.0 || *bpm > kMaxHostBpm)
                    fail ("--host-bpm wants a tempo above 0 and up to " + juce::String (kMaxHostBpm)
                          + ", not " + quoted (*v));
                else
                    host().bpm = *bpm;
            }
        }
        else if (name == "--host-sig")
        {
            if (const auto v = valueFor (name, inlineValue))
            {
                const auto num = parseWholeNumber (v->upToFirstOccurrenceOf ("/", false, false));
                const auto den = parseWholeNumber (v->fromFirstOccurrenceOf ("/", false, false));
                if (! v->containsChar ('/') || ! num || ! den || *num < 1 || *den < 1 || *num > kMaxSigPart
                    || *den > kMaxSigPart)
                    fail ("--host-sig wants a time signature N/D with whole numbers from 1 to "
                          + juce::String (kMaxSigPart) + ", not " + quoted (*v));
                else
                {
                    host().sigNumerator = *num;
                    host().sigDenominator = *den;
                }
            }
        }
        else
            fail ("unknown option " + quoted (name) + " (see --help)");
    }

    void param (const juce::String& text)
    {
        if (! text.containsChar ('='))
        {
            fail ("--param wants ID=VALUE, not " + quoted (text));
            return;
        }

        const auto id = text.upToFirstOccurrenceOf ("=", false, false);
        const auto value = text.fromFirstOccurrenceOf ("=", false, false);

        if (! vistrel::paramIds().contains (id))
            fail ("unknown parameter " + quoted (id) + " (known: " + vistrel::paramIds().joinIntoString (", ") + ")");
        else if (value.trim().isEmpty())
            fail ("--param " + id + " has no value");
        else
            result.options.params.push_back ({ id, value });
    }

    SimulatedTransport& host()
    {
        if (! result.options.host)
            result.options.host.emplace();
        return *result.options.host;
    }

    const juce::StringArray& args;
    int index = 0;
    ParseResult result;
};
} // namespace

ParseResult parseArguments (const juce::StringArray& args)
{
    return Parser (args).run();
}

std::optional<double> parseNumber (const juce::String& text)
{
    const auto utf8 = text.toStdString();
    const char* begin = utf8.data();
    const char* end = begin + utf8.size();

    double value = 0.0;
    const auto [ptr, ec] = std::from_chars (begin, end, value);

    if (ec != std::errc() || ptr != end || ! std::isfinite (value))
        return std::nullopt;

    return value;
}

juce::String usageText()
{
    juce::String ids = vistrel::paramIds().joinIntoString (", ");

    return "usage: vistrel-analyse FILE [options]\n"
           "\n"
           "Runs an audio file (WAV, AIFF, FLAC or Ogg Vorbis; mono or stereo, any rate; of more\n"
           "channels the first two) through the Vistrel processor and writes one JSON frame per\n"
           "simulated user-interface tick, one per line.\n"
           "\n"
           "options:\n"
           "  -o, --output FILE   write the frames (or the summary) to FILE instead of standard output\n"
           "  --tick-ms X         simulated tick interval in milliseconds (default 8)\n"
           "  --block N           samples per processBlock call (default 512)\n"
           "  --param ID=VALUE    set a parameter, value in its own units (dB, ms, index...);\n"
           "                      choices also by name, e.g. beatSource=Host. Repeatable.\n"
           "                      IDs: " + ids + "\n"
           "  --host-bpm X        simulate a host reporting tempo X (default 120 once any --host-*\n"
           "                      option is given)\n"
           "  --host-playing      the simulated host is playing: its position advances with the audio\n"
           "  --host-sig N/D      the simulated host's time signature (default 4/4)\n"
           "  --summary           print a short report instead of the frames\n"
           "  -h, --help          show this text\n"
           "\n"
           "Errors print one line on standard error and exit with status 2; -o is then left alone.\n";
}

} // namespace vistrel::analyse
