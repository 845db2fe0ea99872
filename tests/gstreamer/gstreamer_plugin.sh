#!/bin/sh
# The GStreamer plugin as players and pipelines use it, found through
# GST_PLUGIN_PATH: gst-launch-1.0 output against libtonera's samples for a
# table of songs, both output formats, num-loops and mute-mask, songs
# pushed through a pipe; gst-discoverer-1.0's duration and tags; seeks;
# broken and oversized songs ending in a GStreamer error, never a crash;
# the ends of streams and the seeks of flow_cases.
# Usage: gstreamer_plugin.sh SOURCE_DIR PLUGIN_DIR TONERA_REFERENCE SEEK_PROBE RUN_PIPELINE TUNTOOL SANITIZED FLOW_CASES
source=$1 plugin_dir=$2 reference=$3 probe=$4 run_pipeline=$5 tuntool=$6 sanitized=$7 flow_cases=$8
. "$source/tests/support/shell_checks.sh"
source=$(absolute "$source") plugin_dir=$(absolute "$plugin_dir") reference=$(absolute "$reference")
probe=$(absolute "$probe") run_pipeline=$(absolute "$run_pipeline") tuntool=$(absolute "$tuntool")
flow_cases=$(absolute "$flow_cases")
enter_work_folder

export GST_PLUGIN_PATH="$plugin_dir" GST_REGISTRY="$work/registry.bin" GST_DEBUG_NO_COLOR=1
if [ "$sanitized" = ON ]; then
    # The plugin carries AddressSanitizer; the GStreamer programs do not.
    LD_PRELOAD=$(cc -print-file-name=libasan.so) ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export LD_PRELOAD ASAN_OPTIONS
fi
gst-inspect-1.0 tundec >inspect.txt 2>&1 || { cat inspect.txt; fail "gst-inspect-1.0 does not find tundec"; checks_done gstreamer_plugin; }

# gst-launch-1.0 sometimes waits for ever after an error: it ends its main
# loop from the bus's sync handler, and an error posted before the loop
# runs is lost, whoever posts it (error_races.sh shows it). The failures
# run through run_pipeline, which reports the first error, and a minute of
# gst-launch-1.0 is a hang.
gst_launch() { timeout 60 gst-launch-1.0 "$@"; }
# launch PIPELINE...: gst-launch-1.0 quietly, its messages in launch.txt.
launch() { gst_launch -q "$@" >launch.txt 2>&1; }

# Songs made here: one voice of the chip variant at 60 frames a second,
# compressed and planar, with a song text in code page 437.
cat >one.txt <<'SCORE'
variant chip
rate 60
tempo 4
layout planar
compress yes
text "One voice"
instrument lead wave=pulse vol=200 decay=3 sustain=120 release=10 pulse=60 sweep=2
pattern a
  1: @lead C-4 E-4 G-4 C-5 | G-4 E-4 C-4 --- | D-4 F-4 A-4 D-5 | . . --- .
play a loop a a
SCORE
"$tuntool" build one.txt one_plain_text.tun >/dev/null 2>&1 || fail "tuntool build: the one-voice song"
# The same song with the text "Grün by Jörg, 1989 Tést" in code page 437.
text='Gr\201n by J\224rg, 1989 T\202st'
text_length=$(printf "$text" | wc -c)
old_length=$(od -An -tu2 -j10 -N2 one_plain_text.tun | tr -d ' ')
{
    head -c 10 one_plain_text.tun
    printf "$(printf '\\%03o\\%03o' $((text_length % 256)) $((text_length / 256)))"
    tail -c +13 one_plain_text.tun | head -c 4
    printf "$text"
    tail -c +$((17 + old_length)) one_plain_text.tun
} >one.tun

# The table of songs: variants, layouts, compression, 1 to 8 voices.
songs="one.tun $source/songs/chip/circuit.tun $source/songs/plain/meadow.tun $source/songs/lullaby.tun
       $source/songs/wide/panorama.tun $source/songs/imported/guyshavitt-dustandrust.tun"

# Through decodebin as the desktop's players take files, in S16LE.
for song in $songs; do
    name=$(basename "$song" .tun)
    "$reference" "$song" s16 1 0 >expected.raw || fail "$name: no reference"
    launch filesrc location="$song" ! decodebin ! audioconvert ! audio/x-raw,format=S16LE ! filesink location=out.raw ||
        fail "$name: gst-launch-1.0 failed: $(tail -3 launch.txt)"
    [ -s expected.raw ] && cmp -s out.raw expected.raw ||
        fail "$name: decodebin's S16LE samples differ from libtonera's ($(stat -c %s out.raw) and $(stat -c %s expected.raw) bytes)"
done

# tundec itself: the format, loop count and muted voices asked for.
# song, caps format, num-loops, mute-mask, libtonera's passes (num-loops counts
# the passes as tuntool render --loops does: 2 is the loop section twice)
while read -r song format loops mask passes; do
    name="$(basename "$song") $format num-loops=$loops mute-mask=$mask"
    lower=$(echo "$format" | sed 's/S16LE/s16/;s/F32LE/f32/')
    "$reference" "$source/$song" "$lower" "$passes" "$mask" >expected.raw || fail "$name: no reference"
    launch filesrc location="$source/$song" ! tundec num-loops="$loops" mute-mask="$mask" ! \
        "audio/x-raw,format=$format" ! filesink location=out.raw || fail "$name: gst-launch-1.0 failed: $(tail -3 launch.txt)"
    cmp -s out.raw expected.raw ||
        fail "$name: the samples differ from libtonera's ($(stat -c %s out.raw) and $(stat -c %s expected.raw) bytes)"
done <<'TABLE'
songs/chip/circuit.tun F32LE 0 0 1
songs/chip/circuit.tun F32LE 1 0 1
songs/wide/panorama.tun F32LE 0 0 1
songs/chip/circuit.tun S16LE 2 0 2
songs/chip/circuit.tun S16LE 3 0 3
songs/lullaby.tun S16LE 2 5 2
songs/wide/panorama.tun S16LE 0 0xF0 1
songs/plain/meadow.tun F32LE 2 0x2 2
TABLE
# One pass of the loop section more is that much longer.
once=$("$reference" "$source/songs/chip/circuit.tun" s16 1 0 | wc -c)
thrice=$("$reference" "$source/songs/chip/circuit.tun" s16 3 0 | wc -c)
[ "$thrice" -gt "$once" ] || fail "circuit: the loop passes add nothing, the table above proves little"

# A song pushed through a pipe (no pulling, no size known) plays the same.
for song in "$source/songs/lullaby.tun" one.tun; do
    "$reference" "$song" s16 1 0 >expected.raw
    launch fdsrc fd=0 ! tundec ! audio/x-raw,format=S16LE ! filesink location=out.raw <"$song" ||
        fail "$(basename "$song") from a pipe: gst-launch-1.0 failed: $(tail -3 launch.txt)"
    cmp -s out.raw expected.raw || fail "$(basename "$song") from a pipe: the samples differ from libtonera's"
done

# gst-play-1.0, as a user plays a song (here without a sound device).
timeout 60 gst-play-1.0 --no-interactive --audiosink="fakesink sync=false" "$source/songs/lullaby.tun" >play.txt 2>&1 ||
    fail "gst-play-1.0: $(tail -3 play.txt)"
grep -q "Reached end of play list" play.txt && ! grep -qi "error" play.txt || fail "gst-play-1.0: $(tail -3 play.txt)"

# gst-discoverer-1.0: the duration and the tags. A duration of "rendered"
# is the length of libtonera's rendering, as discoverer prints it.
# song | duration | lines its tags must hold
while IFS='|' read -r song duration tags; do
    if [ "$duration" = rendered ]; then
        bytes=$("$reference" "$song" s16 1 0 | wc -c)
        duration=$(awk -v b="$bytes" 'BEGIN { ns = b / 4 / 48000 * 1e9; s = int(ns / 1e9);
            printf "%d:%02d:%02d.%09d", s / 3600, s / 60 % 60, s % 60, ns - s * 1e9 }')
    fi
    gst-discoverer-1.0 -v "$song" >discover.txt 2>&1 || fail "$song: gst-discoverer-1.0 failed: $(tail -3 discover.txt)"
    grep -q "Duration: $duration\$" discover.txt || fail "$song: $(grep Duration discover.txt), expected $duration"
    echo "$tags" | tr ';' '\n' | while read -r tag; do
        grep -q "^ *$tag\$" discover.txt || echo "$tag"
    done >missing.txt
    [ -s missing.txt ] && fail "$song: gst-discoverer-1.0 shows no tag $(tr '\n' ';' <missing.txt)"
    grep -q "audio/x-tun" discover.txt || fail "$song: not found as audio/x-tun"
done <<TABLE
$source/songs/imported/guyshavitt-dustandrust.tun|0:02:06.220000000|title: Dust and Rust;artist: Guy Shavitt;copyright: X2014
$source/songs/imported/vent-arkijuusto.tun|0:02:18.110000000|title: arkijuusto (toinen siivu);artist: vent
one.tun|rendered|comment: Grün by Jörg, 1989 Tést
$source/songs/plain/meadow.tun|rendered|comment: Meadow - lead, bass and drums on three plain channels
TABLE

# Seeks: song, milliseconds, num-loops.
while read -r song ms loops; do
    case $song in /*) ;; *.tun) [ -e "$song" ] || song=$source/$song ;; esac
    "$probe" "$song" "$ms" "$loops" >probe.txt 2>&1 || fail "seek in $(basename "$song") to $ms ms: $(cat probe.txt)"
done <<'TABLE'
songs/imported/guyshavitt-dustandrust.tun 30000 0
songs/imported/guyshavitt-dustandrust.tun 0 0
songs/imported/guyshavitt-dustandrust.tun 126219 0
one.tun 1234 0
songs/chip/circuit.tun 50000 2
songs/lullaby.tun 5555 0
songs/lullaby.tun 999999 0
TABLE

# Broken songs: a GStreamer error naming the problem, never a crash.
printf 'TQK\023\062\000\000\000\000\000\000\000\000\000\000\000' >header_only.tun
printf 'TQK\000\062\000\000\000\000\000\000\000\000\000\000\000123456' >no_channels.tun
printf 'CQK\023\000\000\000\000\000\000\000\000\000\000\000\000123456' >no_frame_rate.tun
head -c 100 "$source/songs/lullaby.tun" >cut_in_text.tun
head -c 300 "$source/songs/lullaby.tun" >cut_in_body.tun
head -c 150 "$source/songs/lullaby.tun" >broken_body.tun
head -c 400 /dev/zero | tr '\0' '\377' >>broken_body.tun
# name | what the message says
while IFS='|' read -r name message; do
    for pipeline in "filesrc location=$name ! decodebin ! fakesink" "fdsrc fd=0 ! tundec ! fakesink"; do
        "$run_pipeline" "$pipeline" <"$name" >launch.txt 2>&1
        status=$?
        [ "$status" = 1 ] || fail "$name through '$pipeline': status $status, expected 1 ($(tail -3 launch.txt))"
        grep -q "^ERROR from tundec.*: This is not a song that can be played: $message" launch.txt ||
            fail "$name through '$pipeline': no error message '$message' ($(grep -m1 ERROR launch.txt))"
    done
done <<'TABLE'
header_only.tun|not a song file
no_channels.tun|channel count
no_frame_rate.tun|not a song file
cut_in_text.tun|not a song file
cut_in_body.tun|decompress
broken_body.tun|decompress
TABLE
# Files that are no songs by their look are not taken for songs.
: >empty.tun
echo "Just some words." >words.tun
printf 'TQ' >two_bytes.tun
for name in empty.tun words.tun two_bytes.tun; do
    timeout 60 gst-discoverer-1.0 "$name" >discover.txt 2>&1
    grep -q "audio/x-tun\|tundec" discover.txt && fail "$name is taken for a song: $(cat discover.txt)"
done

# A song over the size limit is refused: from a file at once by its size,
# from a pipe as soon as one byte more than the limit has come.
limit=$(sed -n 's/^#define TONERA_MAX_SONG_BYTES (\([0-9]*\)u \* \([0-9]*\)u \* \([0-9]*\)u)$/\1 \2 \3/p' \
        "$source/include/tonera/tonera.h" | awk '{print $1 * $2 * $3}')
[ "${limit:-0}" -gt 0 ] || fail "no TONERA_MAX_SONG_BYTES in the header"
{ head -c 16 "$source/songs/wide/panorama.tun"; } >large.tun
truncate -s $((limit + 1)) large.tun
"$run_pipeline" "filesrc location=large.tun ! tundec ! fakesink" >launch.txt 2>&1
[ $? = 1 ] && grep -q "^ERROR from tundec.*: The song is larger than $limit bytes" launch.txt || fail "a file over the limit: $(tail -3 launch.txt)"
{ head -c 16 "$source/songs/wide/panorama.tun"; head -c $((limit + 16 * 1024 * 1024)) /dev/zero; } |
    (trap '' PIPE; dd bs=65536 2>dd.txt) | "$run_pipeline" "fdsrc fd=0 blocksize=65536 ! tundec ! fakesink" >launch.txt 2>&1
grep -q "^ERROR from tundec.*: The song is larger than $limit bytes" launch.txt || fail "a pipe over the limit: $(tail -3 launch.txt)"
passed=$(sed -n 's/^\([0-9]*\) bytes.*/\1/p' dd.txt)
[ -n "$passed" ] && [ "$passed" -le $((limit + 65536 + 2 * 1024 * 1024)) ] ||
    fail "from a pipe, $passed bytes were read of a song over the limit of $limit"

# Downstream stopping early, refused seeks, seeks from the end, segment seeks.
for song in "$source/songs/lullaby.tun" "$source/songs/imported/guyshavitt-dustandrust.tun"; do
    timeout 120 "$flow_cases" "$song" >flow.txt 2>&1 || fail "flow_cases $(basename "$song"): $(grep -v '^$' flow.txt | tail -5)"
done

checks_done gstreamer_plugin
