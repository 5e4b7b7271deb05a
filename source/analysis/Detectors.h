#pragma once

#include <array>

namespace vistrel
{

/** Length of a detector's memory: its recent inputs, whose median sets its threshold. */
constexpr int kDetectorHistory = 43;

/** Offsets that keep a detector quiet on near-silent input. */
struct DetectorTuning
{
    float thresholdOffset; // added to 1.6 x median before an input counts as a hit
    float scaleOffset;     // added to 6 x median when scaling the hit strength
};

/** How much stronger than the median of its recent values an input is, 0..1, or 0 when it does
    not clear the threshold; `history` must already hold the input. */
float detectorCandidate (const std::array<float, kDetectorHistory>& history, float input,
                         DetectorTuning tuning) noexcept;

/** Kick strength wanted this tick: the kick-band envelope against its slow floor. Nothing
    below an envelope of 0.0025, and nothing before the analysis is ready. */
float kickCandidate (float kickEnv, float kickFloor, float readyF) noexcept;

/** Punch strength wanted this tick: the slow RMS against its floor. Nothing while the block RMS
    is at or below 0.003, and nothing before the analysis is ready. */
float punchCandidate (float rmsSlow, float rmsFloor, float rmsNow, float readyF) noexcept;

/** Peak-hold output: jumps to a higher candidate, otherwise decays; cut to 0 below 0.01 while
    nothing is audible so that the visuals come to rest. */
float holdOrDecay (float candidate, float previous, float decay, bool audible) noexcept;

} // namespace vistrel
