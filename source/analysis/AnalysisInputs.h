#pragma once

namespace vistrel
{

/** The analysis parameters as one tick reads them, already converted to working units. */
struct ParamSnapshot
{
    float sensGain = 1.0f;     // 10^(sensitivity dB / 20)
    int beatSource = 2;        // 0 Host, 1 Auto, 2 Hybrid
    float attackSeconds = 0.010f;
    float releaseSeconds = 0.150f;
    float wBass = 1.0f, wMid = 1.0f, wHigh = 1.0f;
};

/** The host transport facts, loaded once per tick from the processor's atomics. */
struct TransportSnapshot
{
    bool playing = false;
    bool hasBpm = false;
    bool hasPpq = false;
    bool hasBarStart = false;
    double bpm = 120.0;
    double ppq = 0.0;
    double barStartPpq = 0.0;
    int tsNum = 4;
    int tsDen = 4;
};

/** Values read from the processor's atomics at the moment the frame text is written. */
struct FrameLiveValues
{
    bool playing = false;
    int note = -1;
    int velocity = 0;
    int noteCount = 0;
};

} // namespace vistrel
