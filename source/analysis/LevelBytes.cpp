#include "analysis/LevelBytes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <juce_core/juce_core.h>

namespace vistrel
{

namespace
{
    // The logarithm is offset so that a zero magnitude stays finite.
    float offsetMagnitude (float magnitude) noexcept { return magnitude + 1.0e-12f; }

    float scaleOf (float offset) noexcept
    {
        return (20.0f * std::log10 (offset) + 90.0f) * 255.0f / 84.0f;
    }

    uint32_t bitsOf (float x) noexcept
    {
        uint32_t b;
        std::memcpy (&b, &x, sizeof (b));
        return b;
    }

    float floatOf (uint32_t b) noexcept
    {
        float x;
        std::memcpy (&x, &b, sizeof (x));
        return x;
    }

    /** Offset magnitudes at which each step starts, and per coarse bucket of the float's bit
        pattern (exponent and top 7 mantissa bits, about 1/7 of a step wide) the step reached
        at the bucket's lower end. For positive floats the bit pattern orders like the value,
        and the scale never decreases as the magnitude grows. */
    struct StepTable
    {
        // Buckets are narrower than a step, so a bucket holds at most one step start.
        static constexpr int kBucketShift = 16;

        std::array<float, 257> start {}; // start[m]: smallest offset magnitude with scale >= m
        uint32_t firstBucket = 0;
        int lastBucketIndex = 0;
        std::array<uint8_t, 4096> stepAtBucket {};

        StepTable()
        {
            for (int m = 1; m <= 255; ++m)
            {
                // Smallest positive float whose scale reaches m.
                uint32_t lo = bitsOf (1.0e-7f), hi = bitsOf (10.0f);

                while (lo < hi)
                {
                    const uint32_t mid = lo + (hi - lo) / 2;

                    if (scaleOf (floatOf (mid)) >= (float) m)
                        hi = mid;
                    else
                        lo = mid + 1;
                }

                start[(size_t) m] = floatOf (lo);
            }

            start[0] = 0.0f;
            start[256] = INFINITY;

            firstBucket = bitsOf (start[1]) >> kBucketShift;
            const uint32_t lastBucket = bitsOf (start[255]) >> kBucketShift;
            jassert (lastBucket - firstBucket < stepAtBucket.size());
            lastBucketIndex = (int) (lastBucket - firstBucket);

            for (uint32_t b = firstBucket; b <= lastBucket; ++b)
            {
                const float lowEnd = floatOf (b << kBucketShift);
                int m = 0;

                while (m < 255 && start[(size_t) m + 1] <= lowEnd)
                    ++m;

                stepAtBucket[b - firstBucket] = (uint8_t) m;
                jassert (m >= 254 || start[(size_t) m + 2] > floatOf (((b + 1) << kBucketShift) - 1));
            }
        }

        float lookUp (float magnitude) const noexcept
        {
            // Written without branches: neighbouring bins jump across the table's ends at
            // random, which a branch would keep mispredicting.
            const float x = offsetMagnitude (magnitude);
            const int bucket = std::clamp ((int) (bitsOf (x) >> kBucketShift) - (int) firstBucket, 0, lastBucketIndex);
            int m = stepAtBucket[(size_t) bucket];
            m += x >= start[(size_t) m + 1] ? 1 : 0;
            m = std::min (m, 255);

            // Below the first step, and for NaN or negative input whose bits land anywhere.
            return x >= start[1] ? (float) m : 0.0f;
        }
    };

    const StepTable& stepTable()
    {
        static const StepTable table;
        return table;
    }
} // namespace

float levelByteDirect (float magnitude) noexcept
{
    const float level = std::trunc (scaleOf (offsetMagnitude (magnitude)));

    if (! (level > 0.0f))
        return 0.0f;

    return std::min (level, 255.0f);
}

float levelByte (float magnitude) noexcept
{
    return stepTable().lookUp (magnitude);
}

} // namespace vistrel
