// vistrel-frame-diff: how far apart two runs of frames are, key by key. Used to show that builds
// with different FFT engines give the same frames.
#include <cmath>
#include <cstdio>
#include <map>

#include <juce_core/juce_core.h>

#include "AnalyseOptions.h"

namespace
{
struct Worst
{
    double diff = 0.0;
    int frame = -1;
};

juce::MemoryBlock decodeRows (const juce::String& base64)
{
    juce::MemoryOutputStream out;
    juce::Base64::convertFromBase64 (out, base64);
    return out.getMemoryBlock();
}

void compareValue (const juce::String& key, const juce::var& a, const juce::var& b, int frame,
                   std::map<juce::String, Worst>& worst, bool& shapeDiffers)
{
    auto note = [&] (const juce::String& k, double d)
    {
        auto& w = worst[k];
        if (d > w.diff || w.frame < 0)
        {
            w.diff = std::max (w.diff, d);
            w.frame = frame;
        }
    };

    if (key == "b")
    {
        const auto rowsA = decodeRows (a.toString());
        const auto rowsB = decodeRows (b.toString());
        if (rowsA.getSize() != rowsB.getSize())
        {
            shapeDiffers = true;
            return;
        }
        const auto* pa = static_cast<const uint8_t*> (rowsA.getData());
        const auto* pb = static_cast<const uint8_t*> (rowsB.getData());
        int largest = 0;
        for (size_t i = 0; i < rowsA.getSize(); ++i)
            largest = std::max (largest, std::abs ((int) pa[i] - (int) pb[i]));
        note ("b (row bytes)", largest);
    }
    else if (a.isArray() && b.isArray())
    {
        if (a.size() != b.size())
        {
            shapeDiffers = true;
            return;
        }
        for (int i = 0; i < a.size(); ++i)
            note (key + "[" + juce::String (i) + "]", std::abs ((double) a[i] - (double) b[i]));
    }
    else
        note (key, std::abs ((double) a - (double) b));
}
} // namespace

int main (int argc, char** argv)
{
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (argv[i]);

    double tolerance = 1.0e-4;
    double rowTolerance = 1.0;
    juce::StringArray files;

    for (int i = 0; i < args.size(); ++i)
    {
        if ((args[i] == "--tolerance" || args[i] == "--row-tolerance") && i + 1 < args.size())
        {
            const auto value = vistrel::analyse::parseNumber (args[i + 1]);
            if (! value || *value < 0)
            {
                std::fprintf (stderr, "vistrel-frame-diff: %s wants a number >= 0\n", args[i].toRawUTF8());
                return 2;
            }
            (args[i] == "--tolerance" ? tolerance : rowTolerance) = *value;
            ++i;
        }
        else
            files.add (args[i]);
    }

    if (files.size() != 2)
    {
        std::fprintf (stderr, "usage: vistrel-frame-diff A.jsonl B.jsonl [--tolerance X] [--row-tolerance N]\n");
        return 2;
    }

    juce::StringArray linesA, linesB;
    for (int f = 0; f < 2; ++f)
    {
        const juce::File file = juce::File::getCurrentWorkingDirectory().getChildFile (files[f]);
        if (! file.existsAsFile())
        {
            std::fprintf (stderr, "vistrel-frame-diff: no such file '%s'\n", files[f].toRawUTF8());
            return 2;
        }
        (f == 0 ? linesA : linesB).addLines (file.loadFileAsString().trimEnd());
    }

    if (linesA.size() != linesB.size())
    {
        std::printf ("frame counts differ: %d and %d\n", linesA.size(), linesB.size());
        return 1;
    }

    std::map<juce::String, Worst> worst;
    bool shapeDiffers = false;

    for (int i = 0; i < linesA.size(); ++i)
    {
        const auto a = juce::JSON::parse (linesA[i]);
        const auto b = juce::JSON::parse (linesB[i]);
        auto* oa = a.getDynamicObject();
        auto* ob = b.getDynamicObject();
        if (oa == nullptr || ob == nullptr || oa->getProperties().size() != ob->getProperties().size())
        {
            std::printf ("frame %d: not comparable\n", i);
            return 1;
        }
        for (const auto& property : oa->getProperties())
            compareValue (property.name.toString(), property.value, ob->getProperty (property.name), i, worst, shapeDiffers);
    }

    bool within = ! shapeDiffers;
    std::printf ("%d frames; largest difference per key (frame):\n", linesA.size());
    for (const auto& [key, w] : worst)
    {
        const double limit = key.startsWith ("b ") ? rowTolerance : tolerance;
        const bool ok = w.diff <= limit;
        within = within && ok;
        std::printf ("  %-16s %-12g (%d)%s\n", key.toRawUTF8(), w.diff, w.frame, ok ? "" : "  over tolerance");
    }
    std::printf ("%s (values %g, row bytes %g)\n", within ? "same within tolerance" : "DIFFERENT", tolerance, rowTolerance);
    return within ? 0 : 1;
}
