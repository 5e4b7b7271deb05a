#pragma once

#include <cmath>
#include <cstdlib>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>
#include <juce_audio_formats/juce_audio_formats.h>

namespace vistrel::tooltest
{

/** Channels of float samples, all the same length. */
using Signal = std::vector<std::vector<float>>;

inline Signal silence (int channels, double seconds, double rate)
{
    return Signal ((size_t) channels, std::vector<float> ((size_t) std::lround (seconds * rate), 0.0f));
}

inline Signal sine (int channels, double seconds, double rate, double hz, float amplitude)
{
    auto s = silence (channels, seconds, rate);
    for (auto& channel : s)
        for (size_t i = 0; i < channel.size(); ++i)
            channel[i] = amplitude * (float) std::sin (2.0 * juce::MathConstants<double>::pi * hz * (double) i / rate);
    return s;
}

/** A stereo click every beat over a quiet noise bed. The bed matters: the tempo tracker trusts
    only onset envelopes that are non-zero in most of their bins, and pure clicks on digital
    silence leave most bins empty. Each click is a 30 ms burst of noise and a falling tone, like a
    short percussive hit. */
inline Signal clickTrack (double bpm, double seconds, double rate, float bedLevel = 0.01f)
{
    auto s = silence (2, seconds, rate);
    juce::Random random (1234);
    const size_t n = s[0].size();

    for (size_t i = 0; i < n; ++i)
    {
        const float bed = bedLevel * (2.0f * random.nextFloat() - 1.0f);
        s[0][i] = bed;
        s[1][i] = bed;
    }

    const double period = 60.0 / bpm * rate;
    const int clickLength = (int) (0.03 * rate);

    for (double start = 0.0; start < (double) n; start += period)
    {
        const auto first = (size_t) std::llround (start);
        for (int j = 0; j < clickLength && first + (size_t) j < n; ++j)
        {
            const double t = j / rate;
            const float env = (float) std::exp (-t / 0.006);
            const float tone = (float) std::sin (2.0 * juce::MathConstants<double>::pi * (1800.0 - 20000.0 * t) * t);
            const float hit = env * (0.5f * (2.0f * random.nextFloat() - 1.0f) + 0.4f * tone);
            s[0][first + (size_t) j] += hit;
            s[1][first + (size_t) j] += hit;
        }
    }

    return s;
}

/** Writes the signal with one of JUCE's writers, chosen by the file's extension. */
inline void writeAudio (const juce::File& file, const Signal& signal, double rate, int bits = 24)
{
    std::unique_ptr<juce::AudioFormat> format;
    const auto ext = file.getFileExtension().toLowerCase();
    if (ext == ".wav")
        format = std::make_unique<juce::WavAudioFormat>();
    else if (ext == ".aiff" || ext == ".aif")
        format = std::make_unique<juce::AiffAudioFormat>();
    else if (ext == ".flac")
        format = std::make_unique<juce::FlacAudioFormat>();
    else if (ext == ".ogg")
        format = std::make_unique<juce::OggVorbisAudioFormat>();
    ASSERT_NE (format, nullptr) << "no writer for " << file.getFullPathName();

    file.deleteFile();
    auto stream = file.createOutputStream();
    ASSERT_NE (stream, nullptr);

    const int quality = ext == ".ogg" ? format->getQualityOptions().size() - 1 : 0;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        format->createWriterFor (stream.get(), rate, (unsigned int) signal.size(), bits, {}, quality));
    ASSERT_NE (writer, nullptr) << "cannot write " << file.getFullPathName();
    stream.release(); // the writer owns it now

    std::vector<const float*> channels;
    for (const auto& c : signal)
        channels.push_back (c.data());
    ASSERT_TRUE (writer->writeFromFloatArrays (channels.data(), (int) channels.size(), (int) signal[0].size()));
}

struct ToolRun
{
    int status = -1;
    juce::String out, err;

    juce::StringArray lines() const { return juce::StringArray::fromLines (out.trimEnd()); }
    juce::StringArray errLines() const { return juce::StringArray::fromLines (err.trimEnd()); }
};

inline juce::String shellQuoted (const juce::String& s)
{
    return "'" + s.replace ("'", "'\\''") + "'";
}

/** Runs the built tool in `dir` with standard output and standard error kept apart. */
inline ToolRun runTool (const juce::File& dir, const juce::StringArray& args)
{
    const auto out = dir.getChildFile ("tool-stdout.txt");
    const auto err = dir.getChildFile ("tool-stderr.txt");

    juce::String command = "cd " + shellQuoted (dir.getFullPathName()) + " && " + shellQuoted (VISTREL_ANALYSE_EXE);
    for (const auto& a : args)
        command << " " << shellQuoted (a);
    command << " >" << shellQuoted (out.getFullPathName()) << " 2>" << shellQuoted (err.getFullPathName())
            << " </dev/null";

    ToolRun run;
    const int raw = std::system (command.toRawUTF8());
    run.status = WIFEXITED (raw) ? WEXITSTATUS (raw) : -1;
    run.out = out.loadFileAsString();
    run.err = err.loadFileAsString();
    out.deleteFile();
    err.deleteFile();
    return run;
}

/** The values of one frame line that the tests look at. */
struct Frame
{
    int keys = 0;
    double rms = 0, idle = 0, beatPhase = 0, barPhase = 0, bpm = 0, loud = 0, beatConf = 0;
    std::vector<double> bands;
    int playing = -1, tsNum = 0, tsDen = 0;
};

inline std::vector<Frame> parseFrames (const juce::StringArray& lines)
{
    std::vector<Frame> frames;
    for (const auto& line : lines)
    {
        const auto v = juce::JSON::parse (line);
        auto* object = v.getDynamicObject();
        EXPECT_NE (object, nullptr) << "not a JSON object: " << line.substring (0, 80);
        if (object == nullptr)
            break;

        Frame f;
        f.keys = object->getProperties().size();
        f.rms = v["rms"];
        f.idle = v["idle"];
        f.beatPhase = v["beatPhase"];
        f.barPhase = v["barPhase"];
        f.bpm = v["bpm"];
        f.loud = v["loud"];
        f.beatConf = v["beatConf"];
        f.playing = v["playing"];
        f.tsNum = v["tsNum"];
        f.tsDen = v["tsDen"];
        if (auto* bands = v["bands"].getArray())
            for (const auto& b : *bands)
                f.bands.push_back (b);
        frames.push_back (f);
    }
    return frames;
}

/** A scratch folder for one test, removed afterwards. */
class ScratchDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = juce::File::getSpecialLocation (juce::File::tempDirectory)
                  .getNonexistentChildFile ("vistrel-tool-test", "", false);
        ASSERT_TRUE (dir.createDirectory());
    }

    void TearDown() override { dir.deleteRecursively(); }

    juce::File dir;
};

} // namespace vistrel::tooltest
