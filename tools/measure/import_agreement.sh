#!/usr/bin/env bash
# import_agreement.sh BUILD OUT TUNE.sid...: how closely each tune's import
# follows sidplayfp's rendering of the tune, the figures of the README's
# table. The tune is rendered by sidplayfp three times (it starts the
# machine after a random delay, so each run lies a few milliseconds from the
# others), each slowed by the 0.25 % by which an imported PAL song runs
# slower than the machine; the import is rendered for 180 s. Prints per
# tune the mean over the three runs of the loudness correlation over 50 ms,
# 200 ms and 1 s windows and of the pitch-class agreement over 200 ms
# windows. SONG=FILE.tun measures that song instead of a fresh import (one
# tune only).
set -euo pipefail
build=$1 out=$2
shift 2
mkdir -p "$out"
for tune in "$@"; do
    name=$(basename "$tune" .sid)
    song=${SONG:-$out/$name.tun}
    [ -n "${SONG:-}" ] || "$build/tuntool" import "$tune" "$song" >/dev/null 2>&1
    "$build/tuntool" render --length 180 "$song" -o "$out/$name.wav" 2>/dev/null
    sums=(0 0 0 0)
    for run in 1 2 3; do
        ref=$out/$name.ref$run.wav
        if [ ! -e "$ref" ]; then
            sidplayfp -q -t180 -w"$out/raw.wav" "$tune" >/dev/null 2>&1
            sox "$out/raw.wav" "$ref" speed 0.997515
        fi
        figures=("$("$build/tools/measure/loudness_compare" "$out/$name.wav" "$ref" 0.05)"
                 "$("$build/tools/measure/loudness_compare" "$out/$name.wav" "$ref" 0.2)"
                 "$("$build/tools/measure/loudness_compare" "$out/$name.wav" "$ref" 1)"
                 "$("$build/tools/measure/pitch_class_compare" "$out/$name.wav" "$ref" 0.2)")
        for i in 0 1 2 3; do sums[$i]=$(echo "${sums[$i]} + ${figures[$i]}" | bc -l); done
    done
    printf '%s' "$name"
    for i in 0 1 2 3; do printf ' %.3f' "$(echo "${sums[$i]} / 3" | bc -l)"; done
    echo
done
