#include "PluginProcessor.h"

#include <cmath>

#include "PluginEditor.h"
#include "StateBlock.h"
#include "presets/UserPresets.h"
#include "export/ExportSession.h"

namespace
{
const juce::Identifier kUiBlobKey { "uiblob" };
const juce::Identifier kUiWidthKey { "uiw" };
const juce::Identifier kUiHeightKey { "uih" };
constexpr const char* kStateRootTag = "VISTREL";
} // namespace

VistrelAudioProcessor::VistrelAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      apvts (*this, nullptr, kStateRootTag, vistrel::makeParameterLayout())
{
    for (const auto& id : vistrel::paramIds())
        apvts.addParameterListener (id, this);

    exportTap.prepare (ExportAudioTap::kCapacity);
    exportScratch.setSize (2, kExportScratchFrames);
}

VistrelAudioProcessor::~VistrelAudioProcessor()
{
    if (exportSession != nullptr)
        finishSession (false);

    if (exportThread.isThreadRunning())
        exportThread.stopThread (2000);

    for (const auto& id : vistrel::paramIds())
        apvts.removeParameterListener (id, this);
}

const juce::String VistrelAudioProcessor::getName() const { return "Quorvane Vistrel"; }

void VistrelAudioProcessor::prepareToPlay (double sampleRate, int)
{
    currentSampleRate.store (sampleRate);
    setLatencySamples (0);
}

void VistrelAudioProcessor::releaseResources() {}

double VistrelAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool VistrelAudioProcessor::acceptsMidi() const { return true; }
bool VistrelAudioProcessor::producesMidi() const { return false; }
bool VistrelAudioProcessor::isMidiEffect() const { return false; }

void VistrelAudioProcessor::reset()
{
    analysisResetPending.store (true);
}

juce::AudioProcessorEditor* VistrelAudioProcessor::createEditor()
{
    return new VistrelAudioProcessorEditor (*this);
}

bool VistrelAudioProcessor::hasEditor() const { return true; }
int VistrelAudioProcessor::getNumPrograms() { return 1; }
int VistrelAudioProcessor::getCurrentProgram() { return 0; }
void VistrelAudioProcessor::setCurrentProgram (int) {}
const juce::String VistrelAudioProcessor::getProgramName (int) { return "VISTREL"; }
void VistrelAudioProcessor::changeProgramName (int, const juce::String&) {}

bool VistrelAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();

    if (out != juce::AudioChannelSet::mono() && out != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == out;
}

//==============================================================================
void VistrelAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;

    captureTransport();
    captureMidi (midi);

    const int channels = buffer.getNumChannels();
    const int n = buffer.getNumSamples();

    if (channels == 0 || n == 0)
        return;

    const float* left = buffer.getReadPointer (0);
    const float* right = channels > 1 ? buffer.getReadPointer (1) : left;

    tap.write (left, right, n);
    exportTap.write (left, right, n);
}

void VistrelAudioProcessor::captureTransport()
{
    bool hasBpm = false, hasPpq = false, hasBarStart = false, playing = false;

    if (auto* playHead = getPlayHead())
    {
        if (const auto position = playHead->getPosition())
        {
            if (const auto bpm = position->getBpm())
            {
                hostBpm.store (*bpm);
                hasBpm = *bpm > 0.0;
            }

            if (const auto ppq = position->getPpqPosition())
            {
                hostPpq.store (*ppq);
                hasPpq = true;
            }

            if (const auto sig = position->getTimeSignature(); sig && sig->numerator > 0 && sig->denominator > 0)
            {
                hostTsNum.store (sig->numerator);
                hostTsDen.store (sig->denominator);
            }

            if (const auto barStart = position->getPpqPositionOfLastBarStart())
            {
                hostBarStartPpq.store (*barStart);
                hasBarStart = true;
            }

            playing = position->getIsPlaying();
        }
    }

    hostHasBpm.store (hasBpm);
    hostHasPpq.store (hasPpq);
    hostHasBarStart.store (hasBarStart);
    hostPlaying.store (playing);
}

void VistrelAudioProcessor::captureMidi (const juce::MidiBuffer& midi)
{
    for (const auto event : midi)
    {
        if (event.numBytes < 3)
            continue;

        const auto* bytes = event.data;

        if ((bytes[0] & 0xf0) == 0x90 && bytes[2] != 0)
        {
            lastNote.store (bytes[1]);
            lastVelocity.store (bytes[2]);
            noteCount.fetch_add (1);
        }
    }
}

//==============================================================================
vistrel::ParamSnapshot VistrelAudioProcessor::readAnalysisParams() const
{
    const auto read = [this] (const char* id) -> float
    {
        if (auto* param = apvts.getParameter (id))
            return param->convertFrom0to1 (param->getValue());
        return 0.0f;
    };

    vistrel::ParamSnapshot p;
    p.sensGain = (float) std::pow (10.0, (double) read ("sensitivity") / 20.0);
    p.beatSource = juce::roundToInt (read ("beatSource"));
    p.attackSeconds = read ("attack") * 0.001f;
    p.releaseSeconds = read ("release") * 0.001f;
    p.wBass = read ("wBass");
    p.wMid = read ("wMid");
    p.wHigh = read ("wHigh");
    return p;
}

vistrel::TransportSnapshot VistrelAudioProcessor::readTransport() const
{
    vistrel::TransportSnapshot t;
    t.playing = hostPlaying.load();
    t.hasBpm = hostHasBpm.load();
    t.hasPpq = hostHasPpq.load();
    t.hasBarStart = hostHasBarStart.load();
    t.bpm = hostBpm.load();
    t.ppq = hostPpq.load();
    t.barStartPpq = hostBarStartPpq.load();
    t.tsNum = hostTsNum.load();
    t.tsDen = hostTsDen.load();
    return t;
}

juce::String VistrelAudioProcessor::tickFrameJSON (double dt)
{
    if (analysisResetPending.exchange (false))
        analysis.reset();

    analysis.setSampleRate (currentSampleRate.load());
    analysis.drain (tap);
    analysis.process (dt, readAnalysisParams(), readTransport());

    return analysis.formatFrame ({ hostPlaying.load(), lastNote.load(), lastVelocity.load(), noteCount.load() });
}

//==============================================================================
void VistrelAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto state = apvts.copyState();
    state.setProperty (kUiBlobKey, uiBlob, nullptr);
    state.setProperty (kUiWidthKey, uiWidth.load(), nullptr);
    state.setProperty (kUiHeightKey, uiHeight.load(), nullptr);

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void VistrelAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto state = vistrel::readStateXml (data, sizeInBytes);

    if (state.xml == nullptr || ! state.xml->getTagName().equalsIgnoreCase (kStateRootTag))
        return;

    auto tree = juce::ValueTree::fromXml (*state.xml);

    if (! tree.isValid())
        return;

    keepValuesOfParametersMissingFrom (tree);

    uiBlob = tree.getProperty (kUiBlobKey).toString();
    uiWidth.store (juce::jlimit (kMinUiWidth, kMaxUiWidth, (int) tree.getProperty (kUiWidthKey, kDefaultUiWidth)));
    uiHeight.store (juce::jlimit (kMinUiHeight, kMaxUiHeight, (int) tree.getProperty (kUiHeightKey, kDefaultUiHeight)));

    apvts.replaceState (tree);

    stateDirty.store (true);
    paramsDirty.store (true);
}

void VistrelAudioProcessor::keepValuesOfParametersMissingFrom (juce::ValueTree& tree)
{
    // The framework gives a parameter without a child in a restored tree its default value.
    // A block from an older version, or one written by hand, should not reset what it does not
    // mention, so such parameters get a child holding their current value.
    static const juce::Identifier paramType { "PARAM" }, idKey { "id" }, valueKey { "value" };

    for (const auto& id : vistrel::paramIds())
    {
        if (tree.getChildWithProperty (idKey, id).isValid())
            continue;

        auto* param = apvts.getParameter (id);
        juce::ValueTree child (paramType);
        child.setProperty (idKey, id, nullptr);
        child.setProperty (valueKey, param->convertFrom0to1 (param->getValue()), nullptr);
        tree.appendChild (child, nullptr);
    }

    // "nan" or "inf" would become the parameter's value and reach the analysis and every later
    // save; such a value is treated as absent. Every child carrying a parameter's ID is looked
    // at, whatever its type: the framework binds each of them in turn, so with duplicates the
    // last one counts.
    for (auto child : tree)
    {
        auto* param = apvts.getParameter (child.getProperty (idKey).toString());

        if (param != nullptr && child.hasProperty (valueKey) && ! std::isfinite ((double) child.getProperty (valueKey)))
            child.setProperty (valueKey, param->convertFrom0to1 (param->getValue()), nullptr);
    }
}

void VistrelAudioProcessor::parameterChanged (const juce::String&, float)
{
    paramsDirty.store (true);
}

void VistrelAudioProcessor::uiSetParam (const juce::String& id, double value)
{
    auto* param = apvts.getParameter (id);

    if (param == nullptr)
        return;

    float normalised;

    if (auto* floatParam = dynamic_cast<juce::AudioParameterFloat*> (param))
        normalised = floatParam->getNormalisableRange().convertTo0to1 ((float) value);
    else
        normalised = param->convertTo0to1 ((float) value);

    normalised = juce::jlimit (0.0f, 1.0f, normalised);

    if (uiGestures.contains (id))
    {
        param->setValueNotifyingHost (normalised);
        return;
    }

    param->beginChangeGesture();
    param->setValueNotifyingHost (normalised);
    param->endChangeGesture();
}

juce::File VistrelAudioProcessor::presetDir() const
{
    return vistrel::presets::defaultFolder();
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VistrelAudioProcessor();
}
