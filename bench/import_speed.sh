#!/usr/bin/env bash
# Times tuntool import, user + system CPU time, on PSID tunes of 180 s: each
# tune alone, then all of them as one batch on one core (-j 1), and gives
# the multiple of real time per core. With a second tuntool, both are timed
# in the same run, one after the other, and must make the same bytes.
#   bench/import_speed.sh TUNTOOL [OTHER_TUNTOOL] [TUNE.sid...]
# (default tunes: songs/imported/*.sid)
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
tools=("$1")
shift
if [ $# -gt 0 ] && [[ $1 != *.sid ]]; then
    tools+=("$1")
    shift
fi
tunes=("$@")
[ ${#tunes[@]} -gt 0 ] || tunes=("$bench"/../songs/imported/*.sid)
work=$(mktemp -d -p "$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp)")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tunes"
cp "${tunes[@]}" "$work/tunes/"
echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
cpu() {  # cpu SECONDS_OF_MUSIC LABEL COMMAND...: prints the CPU time and the multiple of real time
    local music=$1 label=$2
    shift 2
    /usr/bin/time -f "%U %S" -o "$work/usage" "$@" >/dev/null 2>&1
    read -r user system <"$work/usage"
    awk -v u="$user" -v k="$system" -v m="$music" -v l="$label" \
        'BEGIN { printf "%-44s %6.2f s CPU  %5.0f x real time\n", l, u + k, m / (u + k) }'
}
for i in "${!tools[@]}"; do
    tool=${tools[$i]}
    echo "tuntool $((i + 1)): $tool"
    mkdir -p "$work/out$i"
    for tune in "$work"/tunes/*.sid; do
        name=$(basename "$tune" .sid)
        cpu 180 "  $name" "$tool" import "$tune" "$work/out$i/$name.tun"
    done
    rm -rf "$work/batch$i"
    cpu $((180 * ${#tunes[@]})) "  all ${#tunes[@]} as a batch, -j 1" "$tool" import -j 1 -o "$work/batch$i" "$work/tunes"
done
if [ ${#tools[@]} -eq 2 ]; then
    diff -r "$work/out0" "$work/out1" >/dev/null && diff -r "$work/batch0" "$work/batch1" >/dev/null &&
        echo "the songs of both are the same, byte for byte" || { echo "the songs differ"; exit 1; }
fi
