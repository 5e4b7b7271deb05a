#!/usr/bin/env bash
# The FFT engine is chosen when the library is compiled (VISTREL_USE_FFTW), so comparing the two
# takes two build trees: the usual one (FFTW) and build-nofftw (JUCE's fallback FFT). This script
# builds the benchmark and the tools in both, then, in one run:
#   1. times the analysis benchmarks of both and prints their ratios;
#   2. generates a three-minute music-like file with ffmpeg, times vistrel-analyse of both trees
#      on it (how much faster than real time) and checks that their frames agree.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${VISTREL_JOBS:-2}
fftw=${VISTREL_FFTW_BUILD:-build}
fallback=${VISTREL_FALLBACK_BUILD:-build-nofftw}
seconds=${VISTREL_TRACK_SECONDS:-180}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -f "$fftw/build.ninja" ] || cmake -S . -B "$fftw" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
[ -f "$fallback/build.ninja" ] || cmake -S . -B "$fallback" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVISTREL_USE_FFTW=OFF -DVISTREL_BUILD_TESTS=OFF > /dev/null
grep -q 'VISTREL_USE_FFTW:BOOL=OFF' "$fallback/CMakeCache.txt" || { echo "$fallback is not a fallback-FFT tree" >&2; exit 1; }

for tree in "$fftw" "$fallback"; do
    cmake --build "$tree" -j "$jobs" --target vistrel_bench vistrel-analyse vistrel-frame-diff > /dev/null
done

echo "== Analysis benchmarks (same machine, one after the other)"
for tree in "$fftw" "$fallback"; do
    "$tree/bench/vistrel_bench" --benchmark_filter='BM_AnalysisTick|BM_AnalysisFormatFrame|BM_TickFrameJSON|BM_RealForwardFft' \
        --benchmark_counters_tabular=true 2>/dev/null | tee "$work/$(basename "$tree").bench"
done

# Pulls one figure out of the console table: the column named $3 (Time, or a counter) of the row
# of benchmark $2, in microseconds.
figure() { # file, benchmark, column
    awk -v bm="$2" -v col="$3" '
        /^Benchmark/ { for (i = 1; i <= NF; i++) idx[$i] = i; next }
        $1 ~ "^" bm { if (col in idx) {
            v = col == "Time" ? $2 : $(idx[col] + 2); scale = 1 # Time and CPU each have a unit field
            if (v ~ /k$/) scale = 1e3; else if (v ~ /M$/) scale = 1e6; else if (v ~ /m$/) scale = 1e-3; else if (v ~ /u$/) scale = 1e-6
            sub(/[kMmu]$/, "", v); print v * scale; exit } }' "$1"
}

echo
echo "== Ratios, fallback / FFTW"
for row in "BM_RealForwardFft/11 Time" "BM_RealForwardFft/10 Time" "BM_AnalysisFormatFrame Time" "BM_AnalysisTick cpu_mean_us" "BM_AnalysisTick cpu_p99_us" "BM_AnalysisTick mean_us" "BM_AnalysisTick p99_us" \
           "BM_TickFrameJSON cpu_mean_us" "BM_TickFrameJSON cpu_p99_us"; do
    set -- $row
    a=$(figure "$work/$(basename "$fftw").bench" "$1" "$2")
    b=$(figure "$work/$(basename "$fallback").bench" "$1" "$2")
    awk -v n="$1 $2" -v a="$a" -v b="$b" 'BEGIN { printf "  %-30s FFTW %8.2f us   fallback %8.2f us   ratio %.2f\n", n, a, b, b / a }'
done

echo
echo "== vistrel-analyse on a ${seconds} s music-like track"
ffmpeg -loglevel error -y \
    -f lavfi -i "aevalsrc='0.8*sin(2*PI*(45*t+110/35*(1-exp(-35*mod(t,60/124)))))*exp(-9*mod(t,60/124))+0.25*tanh(3*sin(2*PI*(55+10*floor(mod(t/(120/124),4)))*t))+0.06*(sin(2*PI*261.63*t)+sin(2*PI*329.63*t)+sin(2*PI*392*t)+sin(2*PI*493.88*t))':s=48000:d=${seconds}" \
    -f lavfi -i "anoisesrc=c=white:a=0.3:r=48000:d=${seconds}:seed=42,highpass=f=6000,asetnsamples=64,volume='exp(-50*mod(t+30/124,60/124))':eval=frame" \
    -filter_complex "[0][1]amix=inputs=2:normalize=0,aformat=channel_layouts=stereo" -c:a pcm_s24le "$work/track.wav"

for tree in "$fftw" "$fallback"; do
    name=$(basename "$tree")
    start=$(date +%s.%N)
    "$tree/tools/analyse/vistrel-analyse" "$work/track.wav" -o "$work/$name.jsonl"
    end=$(date +%s.%N)
    awk -v s="$seconds" -v t="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" -v n="$name" \
        'BEGIN { printf "  %-14s %6.2f s wall for %d s of audio: %5.1f x real time\n", n, t, s, s / t }'
done

echo
echo "== Frames of the two engines"
# Level bytes are whole steps (trunc of a dB scale), so a magnitude a few ulps apart can land one
# step lower; a row byte can then differ by up to 2 after the display gain, and flatness, a
# geometric mean over all bands, by a few 1e-4. Everything else stays within a few 1e-5, and the
# tempo tracker's decisions come out the same.
"$fftw/tools/analyse/vistrel-frame-diff" "$work/$(basename "$fftw").jsonl" "$work/$(basename "$fallback").jsonl" \
    --tolerance 1e-3 --row-tolerance 2
