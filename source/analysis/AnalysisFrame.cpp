// The frame text: one line of JSON, 25 keys in a fixed order, no whitespace.

#include "analysis/Analysis.h"

#include <cstring>

#include "analysis/Base64.h"
#include "analysis/FixedDecimal.h"

namespace vistrel
{

namespace
{
    constexpr int kFrameVersion = 3;
    constexpr size_t kRowBytes = (size_t) Analysis::kRows * (size_t) Analysis::kRowLength;
    constexpr size_t kFrameReserve = 2048;

    /** Appends pieces of the frame into a fixed stack buffer. */
    struct FrameBuilder
    {
        char* at;

        void text (const char* s) noexcept
        {
            const auto n = std::strlen (s);
            std::memcpy (at, s, n);
            at += n;
        }

        void key (const char* name) noexcept
        {
            *at++ = '"';
            text (name);
            *at++ = '"';
            *at++ = ':';
        }

        void number (double value, int decimals) noexcept { at = writeFixed (at, value, decimals); }
        void integer (int64_t value) noexcept { at = writeInteger (at, value); }

        template <size_t N>
        void array (const std::array<float, N>& values, int decimals) noexcept
        {
            *at++ = '[';

            for (size_t i = 0; i < N; ++i)
            {
                if (i > 0)
                    *at++ = ',';

                number ((double) values[i], decimals);
            }

            *at++ = ']';
        }
    };
} // namespace

juce::String Analysis::formatFrame (const FrameLiveValues& live) const
{
    // 1368 characters of rows plus about 450 of values; the slack covers any value the
    // stream route could print (each is limited to kMaxNumberChars).
    char buffer[kFrameReserve + 25 * kMaxNumberChars];
    FrameBuilder f { buffer };

    f.text ("{\"v\":");
    f.integer (kFrameVersion);
    f.text (",\"rows\":");
    f.integer (kRows);
    f.text (",\"b\":\"");
    f.at = base64Encode (&rows[0][0], kRowBytes, f.at);
    f.text ("\",");

    f.key ("rms");        f.number (rms, 5);          *f.at++ = ',';
    f.key ("peak");       f.number (peak, 5);         *f.at++ = ',';
    f.key ("onset");      f.number (onset, 5);        *f.at++ = ',';
    f.key ("bands");      f.array (bands, 5);         *f.at++ = ',';
    f.key ("stereo");     f.number (stereo, 5);       *f.at++ = ',';
    f.key ("idle");       f.number (idle, 5);         *f.at++ = ',';
    f.key ("beatPhase");  f.number (beatPhase, 6);    *f.at++ = ',';
    f.key ("barPhase");   f.number (barPhase, 6);     *f.at++ = ',';
    f.key ("bpm");        f.number (bpm, 3);          *f.at++ = ',';
    f.key ("playing");    *f.at++ = live.playing ? '1' : '0'; *f.at++ = ',';
    f.key ("punch");      f.number (punch, 5);        *f.at++ = ',';
    f.key ("kick");       f.number (kick, 5);         *f.at++ = ',';
    f.key ("note");       f.integer (live.note);      *f.at++ = ',';
    f.key ("vel");        f.number ((double) ((float) live.velocity / 127.0f), 4); *f.at++ = ',';
    f.key ("noteCount");  f.integer (live.noteCount); *f.at++ = ',';
    f.key ("loud");       f.number (loud, 5);         *f.at++ = ',';
    f.key ("hits");       f.array (hits, 5);          *f.at++ = ',';
    f.key ("timbre");     f.array (timbre, 5);        *f.at++ = ',';
    f.key ("ts");         f.array (ts, 5);            *f.at++ = ',';
    f.key ("beatConf");   f.number (beatConf, 5);     *f.at++ = ',';
    f.key ("tsNum");      f.integer (tsNum);          *f.at++ = ',';
    f.key ("tsDen");      f.integer (tsDen);
    *f.at++ = '}';

    // One allocation: the reserve covers the whole frame, so the append does not reallocate.
    juce::String frame;
    frame.preallocateBytes (kFrameReserve);
    frame.appendCharPointer (juce::CharPointer_UTF8 (buffer), juce::CharPointer_UTF8 (f.at));
    return frame;
}

} // namespace vistrel
