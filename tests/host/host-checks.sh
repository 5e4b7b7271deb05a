#!/usr/bin/env bash
# Checks the built bundles with real hosts. One check per call: host-checks.sh NAME.
set -euo pipefail
check=$1
mkdir -p "$WORK_DIR"

expect() { # text, pattern
    if ! grep -Eq "$2" <<< "$1"; then
        echo "expected /$2/ in:"; echo "$1"; exit 1
    fi
}

make_input() { # a stereo float WAV with different left and right channels
    # One file per check: the checks run in parallel and must not read each other's half-written input.
    local wav="$WORK_DIR/input-$check.wav"
    ffmpeg -loglevel error -y -f lavfi -i "aevalsrc=0.8*sin(2*PI*441*t)|0.5*sin(2*PI*1234*t)+0.01*random(0):s=48000:d=3" \
        -c:a pcm_f32le "$wav"
    echo "$wav"
}

case "$check" in
    lv2_lilv)
        plugins=$(LV2_PATH="$LV2_DIR" lv2ls)
        expect "$plugins" "^${LV2_URI}\$"
        info=$(LV2_PATH="$LV2_DIR" lv2info "$LV2_URI")
        expect "$info" "Name: +Quorvane Vistrel"
        # Count audio ports by direction from the Port blocks.
        counts=$(awk '
            /^[[:space:]]*Port [0-9]+:/ { if (port) report(); port=1; audio=0; input=0; output=0; next }
            /lv2core#AudioPort/ { audio=1 } /lv2core#InputPort/ { input=1 } /lv2core#OutputPort/ { output=1 }
            function report() { if (audio && input) ai++; if (audio && output) ao++ }
            END { if (port) report(); printf "%d %d\n", ai, ao }' <<< "$info")
        echo "audio ports in/out: $counts"
        [ "$counts" = "2 2" ]
        ;;
    vst3_ardour_scanner)
        out=$(XDG_CACHE_HOME="$WORK_DIR/cache" LD_LIBRARY_PATH=/usr/lib/ardour7 \
              /usr/lib/ardour7/ardour-vst3-scanner -v -f "$VST3_BUNDLE" 2>&1)
        echo "$out" | tail -n 8
        expect "$out" "Found Plugin: Quorvane Vistrel"
        expect "$out" '<VST3Info [^>]*name="Quorvane Vistrel" vendor="Quorvane"'
        expect "$out" '<VST3Info [^>]*n_inputs="2" n_outputs="2"'
        expect "$out" '<VST3Info [^>]*n_midi_inputs="1"'
        ;;
    juce_vst3_passthrough)
        input=$(make_input)
        out=$("$TEST_HOST" --format vst3 --plugin "$VST3_BUNDLE" --in "$input" --block 512)
        echo "$out"
        expect "$out" "^name: Quorvane Vistrel$"
        expect "$out" "^inputs: 2$"
        expect "$out" "^outputs: 2$"
        expect "$out" "^differences: 0$"
        ;;
    juce_lv2_passthrough)
        input=$(make_input)
        out=$("$TEST_HOST" --format lv2 --plugin "$LV2_URI" --lv2-path "$LV2_DIR" --in "$input" --block 480)
        echo "$out"
        expect "$out" "^name: Quorvane Vistrel$"
        expect "$out" "^inputs: 2$"
        expect "$out" "^outputs: 2$"
        expect "$out" "^differences: 0$"
        ;;
    *) echo "unknown check $check"; exit 2 ;;
esac
