// A minimal plug-in host on JUCE's own VST3 and LV2 hosting: loads a built bundle, reports its
// identity and buses, runs a 32-bit float WAV through it block by block and checks that the
// output equals the input sample for sample.
#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <iostream>

namespace
{
struct Options
{
    juce::String format, plugin, lv2Path, input, output;
    int block = 512;
};

int fail (const juce::String& message)
{
    std::cerr << "test host: " << message << std::endl;
    return 1;
}

std::unique_ptr<juce::AudioPluginFormat> makeFormat (const juce::String& name)
{
    if (name == "vst3")
        return std::make_unique<juce::VST3PluginFormat>();
    if (name == "lv2")
        return std::make_unique<juce::LV2PluginFormat>();
    return nullptr;
}

std::unique_ptr<juce::AudioBuffer<float>> readWav (const juce::File& file, double& sampleRate)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr)
        return nullptr;
    sampleRate = reader->sampleRate;
    auto buffer = std::make_unique<juce::AudioBuffer<float>> ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (buffer.get(), 0, (int) reader->lengthInSamples, 0, true, true);
    return buffer;
}

bool writeWav (const juce::File& file, const juce::AudioBuffer<float>& buffer, double sampleRate)
{
    file.deleteFile();
    auto stream = file.createOutputStream();
    if (stream == nullptr)
        return false;
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), sampleRate, (unsigned) buffer.getNumChannels(), 32, {}, 0));
    if (writer == nullptr)
        return false;
    stream.release();
    return writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples());
}

int run (const Options& options)
{
    auto format = makeFormat (options.format);
    if (format == nullptr)
        return fail ("--format must be vst3 or lv2");

    double sampleRate = 0;
    const auto input = readWav (juce::File (options.input), sampleRate);
    if (input == nullptr || input->getNumChannels() != 2)
        return fail ("cannot read a stereo WAV from " + options.input);

    // JUCE's LV2 host searches only the paths it is given, whatever LV2_PATH says.
    if (options.format == "lv2")
        format->searchPathsForPlugins (juce::FileSearchPath (options.lv2Path), true);

    juce::OwnedArray<juce::PluginDescription> found;
    format->findAllTypesForFile (found, options.plugin);
    if (found.isEmpty())
        return fail ("no plug-in found at " + options.plugin);

    juce::String error;
    auto instance = format->createInstanceFromDescription (*found[0], sampleRate, options.block, error);
    if (instance == nullptr)
        return fail ("cannot instantiate: " + error);

    std::cout << "name: " << instance->getName() << "\n"
              << "inputs: " << instance->getTotalNumInputChannels() << "\n"
              << "outputs: " << instance->getTotalNumOutputChannels() << "\n"
              << "parameters: " << instance->getParameters().size() << "\n";

    instance->setPlayConfigDetails (2, 2, sampleRate, options.block);
    instance->prepareToPlay (sampleRate, options.block);

    const int total = input->getNumSamples();
    juce::AudioBuffer<float> output (2, total);
    juce::AudioBuffer<float> block (2, options.block);
    juce::MidiBuffer midi;

    for (int start = 0; start < total; start += options.block)
    {
        const int n = std::min (options.block, total - start);
        block.setSize (2, n, false, false, true);
        for (int c = 0; c < 2; ++c)
            block.copyFrom (c, 0, *input, c, start, n);
        midi.clear();
        instance->processBlock (block, midi);
        for (int c = 0; c < 2; ++c)
            output.copyFrom (c, start, block, c, 0, n);
    }
    instance->releaseResources();

    int differences = 0;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < total; ++i)
            differences += input->getSample (c, i) != output.getSample (c, i) ? 1 : 0;

    std::cout << "frames: " << total << "\n"
              << "differences: " << differences << std::endl;

    if (options.output.isNotEmpty() && ! writeWav (juce::File (options.output), output, sampleRate))
        return fail ("cannot write " + options.output);

    return differences == 0 ? 0 : 1;
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    Options options;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        const juce::String key (argv[i]), value (juce::CharPointer_UTF8 (argv[i + 1]));
        if (key == "--format") options.format = value;
        else if (key == "--plugin") options.plugin = value;
        else if (key == "--lv2-path") options.lv2Path = value;
        else if (key == "--in") options.input = value;
        else if (key == "--out") options.output = value;
        else if (key == "--block") options.block = value.getIntValue();
        else return fail ("unknown option " + key);
    }

    if (options.format.isEmpty() || options.plugin.isEmpty() || options.input.isEmpty() || options.block <= 0)
        return fail ("usage: --format vst3|lv2 --plugin BUNDLE|URI [--lv2-path DIR] --in IN.wav [--out OUT.wav] [--block N]");

    return run (options);
}
