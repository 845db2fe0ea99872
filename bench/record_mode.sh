#!/usr/bin/env bash
# Times record mode on a generated 10-minute song (8 voices unless another
# song text is given): wall time and peak memory of the whole program, and
# the multiple of real time.
#   bench/record_mode.sh BUILD_DIR [SONG_TEXT]
set -euo pipefail
build=${1:-build}
text=${2:-$(dirname "$0")/long8.txt}
# The WAV goes to memory (/dev/shm) when it can, so the figures measure the
# program rather than the disk; set BENCH_DIR to measure another place.
work=$(mktemp -d -p "${BENCH_DIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp)}")
trap 'rm -rf "$work"' EXIT
"$build/tuntool" build "$text" "$work/long8.tun" >/dev/null
for run in 1 2 3; do
    start=$(date +%s.%N)
    /usr/bin/time -f "%M %U %S" -o "$work/usage" "$build/playtun" "$work/long8.tun" "$work/long8.wav" >/dev/null
    end=$(date +%s.%N)
    read -r memory user system <"$work/usage"
    awk -v s="$start" -v e="$end" -v m="$memory" -v u="$user" -v k="$system" -v r="$run" \
        'BEGIN { w = e - s; printf "run %d: %.3f s wall (%.2f s user, %.2f s system), %.0f x real time, peak memory %d KiB\n", r, w, u, k, 600 / w, m }'
done
echo "WAV size: $(stat -c %s "$work/long8.wav") bytes"
