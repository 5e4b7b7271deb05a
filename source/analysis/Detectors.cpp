#include "analysis/Detectors.h"

#include <algorithm>

namespace vistrel
{

float detectorCandidate (const std::array<float, kDetectorHistory>& history, float input,
                         DetectorTuning tuning) noexcept
{
    auto sorted = history;
    constexpr int middle = kDetectorHistory / 2;
    std::nth_element (sorted.begin(), sorted.begin() + middle, sorted.end());

    const float median = sorted[(size_t) middle];
    const float m = median > 0.0f ? median : 1.0e-4f;

    return input > 1.6f * m + tuning.thresholdOffset ? std::min (1.0f, input / (6.0f * m + tuning.scaleOffset))
                                                     : 0.0f;
}

float kickCandidate (float kickEnv, float kickFloor, float readyF) noexcept
{
    const float ratio = std::max (0.0f, (kickEnv / (kickFloor + 1.0e-4f) - 1.1f) * 1.6f);
    return std::min (1.0f, ratio) * (kickEnv > 0.0025f ? readyF : 0.0f);
}

float punchCandidate (float rmsSlow, float rmsFloor, float rmsNow, float readyF) noexcept
{
    const float ratio = std::max (0.0f, (rmsSlow / (rmsFloor + 1.0e-6f) - 1.05f) * 1.4f);
    return std::min (1.0f, ratio) * (rmsNow > 0.003f ? readyF : 0.0f);
}

float holdOrDecay (float candidate, float previous, float decay, bool audible) noexcept
{
    const float out = std::max (candidate, previous * decay);
    return ! audible && out < 0.01f ? 0.0f : out;
}

} // namespace vistrel
