#!/bin/sh
# The VLC module as VLC runs it, found through VLC_PLUGIN_PATH: cvlc's
# stream output and audio file output against libtonera's samples, a seek
# by time at the start, duration and metadata as VLC's library parses them,
# a seek by position while playing, and garbled songs ending in an error
# that names their problem. VLC refuses to run as root: as root, cvlc runs
# as nobody. Every player run has a time limit.
# Usage: vlc_plugin.sh SOURCE_DIR PLUGIN_DIR TUNTOOL FROM_FRAME VLC_PROBE
source=$1 plugin_dir=$2 tuntool=$3 from_frame=$4 probe=$5
. "$source/tests/support/shell_checks.sh"
source=$(absolute "$source") plugin_dir=$(absolute "$plugin_dir") tuntool=$(absolute "$tuntool")
from_frame=$(absolute "$from_frame") probe=$(absolute "$probe")
enter_work_folder
chmod 777 "$work"
samples() { python3 "$source/tests/plugins/wav_samples.py" "$1"; }
export VLC_PLUGIN_PATH="$plugin_dir"
as_user=""
[ "$(id -u)" = 0 ] && as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups"
# player SECONDS ARGS...: cvlc, its messages in player.log.
player() {
    limit=$1
    shift
    # shellcheck disable=SC2086
    timeout "$limit" $as_user env HOME="$work" VLC_PLUGIN_PATH="$VLC_PLUGIN_PATH" \
        cvlc --no-interact "$@" vlc://quit >player.log 2>&1
}
to_wav() { echo "#std{access=file,mux=wav,dst=$work/$1}"; }
# VLC's stream output keeps back the last block a demux sends (its
# packetizer waits for the next): the file must be libtonera's samples,
# short of at most that block of 4096 frames.
same_but_last_block() {
    got=$(stat -c %s "$1") want=$(stat -c %s "$2")
    [ "$want" -gt 0 ] && [ "$got" -le "$want" ] && [ $((want - got)) -lt $((4096 * 4)) ] && cmp -s -n "$got" "$1" "$2"
}

for song in songs/lullaby.tun songs/chip/circuit.tun songs/plain/meadow.tun songs/wide/panorama.tun \
            songs/imported/guyshavitt-dustandrust.tun songs/imported/scarzix-cheese-around-the-clock.tun; do
    rm -f out.wav
    player 60 --sout "$(to_wav out.wav)" "$source/$song" || fail "$song: cvlc failed: $(tail -3 player.log)"
    "$tuntool" render -q --loops 1 -o ref.wav "$source/$song"
    samples ref.wav >expected.raw
    samples out.wav >got.raw || fail "$song: no 16-bit WAV"
    same_but_last_block got.raw expected.raw ||
        fail "$song: $(stat -c %s got.raw) bytes, libtonera $(stat -c %s expected.raw), or other samples"
done

# Through the audio output, in real time, a short song: every sample.
cat >short.txt <<'SCORE'
variant chip
rate 60
tempo 4
instrument lead wave=pulse vol=200 decay=3 sustain=120 release=10 pulse=60 sweep=2
pattern a
  1: @lead C-4 E-4 G-4 C-5 | G-4 E-4 C-4 ---
play a
SCORE
"$tuntool" build short.txt short.tun >/dev/null 2>&1 || fail "tuntool build: the short song"
player 30 --aout=afile --audiofile-file="$work/afile.wav" --audiofile-format=s16 short.tun ||
    fail "short.tun through the audio file output: $(tail -3 player.log)"
"$tuntool" render -q --loops 1 -o ref.wav short.tun
samples ref.wav >expected.raw
samples afile.wav >got.raw
[ -s expected.raw ] && cmp -s got.raw expected.raw ||
    fail "short.tun through the audio output: $(stat -c %s got.raw) bytes, libtonera $(stat -c %s expected.raw), or other samples"

# A seek by time at the start: from the song frame at or before it (50
# frames a second: 61.37 s is within frame 3068).
player 60 --start-time=61.37 --sout "$(to_wav seek.wav)" "$source/songs/imported/guyshavitt-dustandrust.tun" ||
    fail "the seek: cvlc failed: $(tail -3 player.log)"
"$from_frame" "$source/songs/imported/guyshavitt-dustandrust.tun" 3068 >expected.raw
samples seek.wav >got.raw
same_but_last_block got.raw expected.raw || fail "the seek to 61.37 s: $(stat -c %s got.raw) bytes, from frame 3068 $(stat -c %s expected.raw)"

# Duration and metadata; a duration of "rendered" is libtonera's rendering
# once through, in milliseconds rounded down.
# song | field | value
while IFS='|' read -r song field value; do
    if [ "$value" = rendered ]; then
        value=$(($("$tuntool" render -q --loops 1 -o - "$source/$song" | wc -c) / 4 * 1000 / 48000))
    fi
    timeout 30 "$probe" "$source/$song" >probe.txt 2>&1 || fail "$song: vlc_probe failed: $(tail -3 probe.txt)"
    grep -qx "$field $value" probe.txt || fail "$song: $(grep "^$field " probe.txt), expected '$value'"
done <<'TABLE'
songs/imported/guyshavitt-dustandrust.tun|duration|126220
songs/imported/guyshavitt-dustandrust.tun|title|Dust and Rust
songs/imported/guyshavitt-dustandrust.tun|artist|Guy Shavitt
songs/imported/guyshavitt-dustandrust.tun|copyright|X2014
songs/imported/vent-arkijuusto.tun|title|arkijuusto (toinen siivu)
songs/imported/vent-arkijuusto.tun|duration|138110
songs/lullaby.tun|duration|rendered
songs/plain/meadow.tun|description|Meadow - lead, bass and drums on three plain channels
TABLE

# A seek by position while playing: half a song of 126.22 s is 63.11 s;
# as soon as playback has moved there it stands within a song frame (20 ms)
# before it, or a little after.
timeout 30 "$probe" "$source/songs/imported/guyshavitt-dustandrust.tun" 0.5 >probe.txt 2>&1 || fail "vlc_probe 0.5 failed"
time=$(sed -n 's/^time //p' probe.txt)
[ "${time:-0}" -ge 63090 ] && [ "$time" -le 64110 ] || fail "after a seek to the middle: at ${time:-no} ms"

# Garbled songs: an error naming the problem, and cvlc ends.
printf 'TQK\023\062\000\000\000\000\000\000\000\000\000\000\000' >header_only.tun
printf 'TQK\000\062\000\000\000\000\000\000\000\000\000\000\000123456' >no_channels.tun
head -c 300 "$source/songs/lullaby.tun" >cut_in_body.tun
# file | what the error says
while IFS='|' read -r name message; do
    player 30 --sout "$(to_wav garbled.wav)" "$name"
    status=$?
    [ "$status" -lt 124 ] || fail "$name: cvlc status $status (a hang or a crash)"
    grep -q "is not a song that can be played: $message" player.log || fail "$name: no error '$message' ($(tail -2 player.log))"
done <<'TABLE'
header_only.tun|not a song file
no_channels.tun|channel count
cut_in_body.tun|decompress
TABLE

checks_done vlc_plugin
