#!/usr/bin/env bash
# Times tuntool render on four 10-minute 8-voice songs (bench/long8.txt
# built four times with different transpositions) with -j 1 and with -j 2:
# wall time, CPU time and the multiple of real time of the whole batch.
#   bench/render_jobs.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
bench=$(cd "$(dirname "$0")" && pwd)
# The WAV files go to memory (/dev/shm) when it can, so the figures measure
# the renderer rather than the disk; set BENCH_DIR to measure another place.
work=$(mktemp -d -p "${BENCH_DIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp)}")
trap 'rm -rf "$work"' EXIT
for shift in 0 2 4 7; do
    sed "s/^play (groove/play (groove+$shift/" "$bench/long8.txt" >"$work/long8-$shift.txt"
    "$build/tuntool" build "$work/long8-$shift.txt" "$work/long8-$shift.tun" >/dev/null
done
echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
for run in 1 2 3; do
    for jobs in 1 2; do
        rm -rf "$work/out"
        start=$(date +%s.%N)
        /usr/bin/time -f "%U %S" -o "$work/usage" "$build/tuntool" render -q -j $jobs -o "$work/out" "$work"/long8-*.tun
        end=$(date +%s.%N)
        read -r user system <"$work/usage"
        awk -v s="$start" -v e="$end" -v u="$user" -v k="$system" -v j=$jobs -v r=$run \
            'BEGIN { w = e - s; printf "run %d, -j %d: %.3f s wall (%.2f s user, %.2f s system), %.0f x real time\n", r, j, w, u, k, 2400 / w }'
    done
done
