#include "FramePump.h"

#include "ParameterSnapshot.h"
#include "PluginProcessor.h"

namespace vistrel
{

double tickIntervalSeconds (double nowMs, double lastTickMs) noexcept
{
    const auto dt = (nowMs - lastTickMs) / 1000.0;
    return (dt > 0.25 || dt <= 0.0) ? 1.0 / 60.0 : dt;
}

void pumpFrameAndEvents (VistrelAudioProcessor& processor, double dt, const EmitEvent& emit)
{
    emit (events::frame, processor.tickFrameJSON (dt));
    processor.exportPumpAudio();

    if (processor.paramsDirty.exchange (false))
        emit (events::params, parameterSnapshotJSON (processor));

    // Before the page is ready a restored state waits, flag and all, for the first ready tick.
    if (processor.uiReady.load() && processor.stateDirty.exchange (false))
        emit (events::state, processor.uiBlob);
}

} // namespace vistrel
