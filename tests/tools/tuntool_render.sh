#!/bin/sh
# tuntool render as a user meets it: pipes and FLAC decoded by other
# programs, several songs at once with any -j, a bad song among good ones,
# the files it must never write over, progress only on a terminal, bad
# option values, SIGINT and SIGTERM, and info --json read by a JSON parser.
#
#   tuntool_render.sh TUNTOOL SONGS_DIR
#
# Exit status 77 (skipped) when neither flac nor sox is installed.
set -u
tuntool=$1 songs=$2
. "$(dirname "$0")/../support/shell_checks.sh"
tuntool=$(absolute "$tuntool") songs=$(absolute "$songs")
command -v flac >/dev/null 2>&1 || command -v sox >/dev/null 2>&1 || { echo "no flac or sox: skipped"; exit 77; }
enter_work_folder
no_leftovers() {
    left=$(find . -name '.*.wav.*' -o -name '.*.flac.*' | tr '\n' ' ')
    [ -z "$left" ] || fail "$1: left behind: $left"
}
# samples FILE: the raw 16-bit samples of a WAV or FLAC file as another program decodes them.
samples() {
    case $1 in
        *.wav) tail -c +45 "$1" ;;
        *) if command -v flac >/dev/null 2>&1; then flac -s -d -c --force-raw-format --endian=little --sign=signed "$1" 2>/dev/null
           else sox "$1" -t s16 -; fi ;;
    esac
}

cp "$songs/lullaby.tun" a.tun
cp "$songs/chip/circuit.tun" b.tun
cp "$songs/plain/meadow.tun" c.tun
cp "$songs/wide/panorama.tun" d.tun
expect 0 "reference" "$tuntool" render -o ref.wav a.tun

# ---- pipes and FLAC ----
"$tuntool" render -o - a.tun 2>err.txt | cat >piped.wav
cmp -s piped.wav ref.wav || fail "-o - through a pipe gave other bytes than the file"
expect 0 "FLAC file" "$tuntool" render -o a.flac a.tun
samples a.flac >a.raw && samples ref.wav | cmp -s - a.raw || fail "the FLAC file decodes to other samples than the WAV"
[ "$(head -c 4 a.flac)" = fLaC ] || fail "a.flac is not a FLAC stream"
"$tuntool" render -o - --format flac a.tun 2>/dev/null | cat >piped.flac
samples piped.flac | cmp -s - a.raw || fail "the FLAC stream decodes to other samples than the WAV"
expect 0 "FLAC by its upper-case extension" "$tuntool" render -o UPPER.FLAC a.tun
[ "$(head -c 4 UPPER.FLAC)" = fLaC ] || fail "UPPER.FLAC is not a FLAC stream"
expect 0 "--format wav over a .flac name" "$tuntool" render --format wav -o forced.flac a.tun
cmp -s forced.flac ref.wav || fail "--format wav did not write the WAV"

# ---- several songs: -j 1 and -j 2 give the same files; without -o beside each song ----
expect 0 "-j 1" "$tuntool" render -j 1 -o j1 a.tun b.tun c.tun d.tun
expect 0 "-j 2" "$tuntool" render -j 2 -o j2 a.tun b.tun c.tun d.tun
for name in a b c d; do
    [ -s "j1/$name.wav" ] && cmp -s "j1/$name.wav" "j2/$name.wav" || fail "$name.wav: -j 1 and -j 2 differ"
done
cmp -s j1/a.wav ref.wav || fail "a folder's a.wav differs from a single render"
mkdir beside && cp a.tun beside/x.tun
expect 0 "beside the song" "$tuntool" render --format flac beside/x.tun
samples beside/x.flac | cmp -s - a.raw || fail "beside/x.flac is not the song's FLAC"

# ---- a bad song among several ----
printf 'not a song at all' >bad.tun
expect 1 "a bad song among several" "$tuntool" render -o mixed a.tun bad.tun missing.tun b.tun
[ "$(grep -c 'bad.tun' err.txt)" = 1 ] && grep -q "^tuntool: bad.tun: " err.txt || fail "bad.tun: not one line naming it: $(cat err.txt)"
[ "$(grep -c 'missing.tun' err.txt)" = 1 ] || fail "missing.tun: not one line naming it: $(cat err.txt)"
[ -s mixed/a.wav ] && [ -s mixed/b.wav ] && [ ! -e mixed/bad.wav ] && [ ! -e mixed/missing.wav ] ||
    fail "the good songs of a mixed batch: $(ls mixed | tr '\n' ' ')"

# ---- never over a song ----
cp a.tun keep.tun
cp b.tun song-named.wav
ln -s keep.tun link.wav
mkdir folder && cp b.tun folder/a.wav
mkdir x y && cp a.tun x/s.tun && cp b.tun y/s.tun
cp b.tun stem-2.wav
for case in "keep.tun|-o keep.tun keep.tun|is the song itself" \
            "song-named.wav|-o song-named.wav a.tun|is a song file" \
            "keep.tun|-o link.wav keep.tun|is the song itself" \
            "folder/a.wav|-o folder a.tun c.tun|is a song file" \
            "stem-2.wav|--stems -o stem.wav a.tun|is a song file" \
            "y/s.tun|-o same x/s.tun y/s.tun|also the output of x/s.tun"; do
    protected=${case%%|*} rest=${case#*|}
    args=${rest%%|*} message=${rest#*|}
    before=$(cksum <"$protected")
    # shellcheck disable=SC2086
    expect 1 "render $args" "$tuntool" render $args
    grep -q "$message" err.txt || fail "render $args: no line saying '$message': $(cat err.txt)"
    [ "$(cksum <"$protected")" = "$before" ] || fail "render $args: $protected was changed"
done
[ -s folder/c.wav ] || fail "the other song of a folder with a refused output was not rendered"
[ -L link.wav ] || fail "the link to the song is gone"
no_leftovers "refusals"
# Collisions are found on the files the outputs lead to: x's output is a
# link to y's, so y is refused before anything of it is written.
mkdir lk && ln -s y.wav lk/x.wav && cp a.tun x.tun && cp b.tun y.tun
expect 1 "two songs writing one file through a link" "$tuntool" render -j 1 -o lk x.tun y.tun
grep -q "^tuntool: y.tun: lk/y.wav is also the output of x.tun" err.txt || fail "the link collision: $(cat err.txt)"
[ -L lk/x.wav ] && cmp -s lk/y.wav ref.wav || fail "the link collision: lk/y.wav is not x's render"
# And a song's own stems: one of them a link to another.
printf old >st-1.wav && ln -s st-1.wav st-2.wav
expect 1 "stems writing one file through a link" "$tuntool" render --stems -o st.wav a.tun
grep -q "st-2.wav is also the output of a.tun" err.txt || fail "the stem collision: $(cat err.txt)"
[ "$(cat st-1.wav)" = old ] && [ ! -e st-3.wav ] || fail "the stem collision wrote something"
rm st-1.wav st-2.wav

# ---- modes and links of outputs ----
printf old >private.wav
chmod 640 private.wav
expect 0 "over a file of mode 640" "$tuntool" render -o private.wav a.tun
[ "$(stat -c %a private.wav)" = 640 ] && cmp -s private.wav ref.wav || fail "mode 640 was not kept"
ln -s target.wav linked.wav
expect 0 "through a link" "$tuntool" render -o linked.wav a.tun
[ -L linked.wav ] && cmp -s target.wav ref.wav || fail "a link must stay a link, its target the WAV"

# ---- progress: on a terminal only ----
expect 0 "off a terminal" "$tuntool" render -o p.wav a.tun
[ ! -s err.txt ] || fail "progress off a terminal: $(cat err.txt)"
if command -v script >/dev/null 2>&1; then
    script -qec "\"$tuntool\" render -o p.wav a.tun" /dev/null </dev/null >terminal.txt 2>&1 || fail "render under script"
    grep -q "a.tun  100%  0:47.[0-9] / 0:47.[0-9]  [0-9]*x real time" terminal.txt || fail "no progress line on a terminal: $(cat -v terminal.txt | head -c 300)"
    script -qec "\"$tuntool\" render -q -o p.wav a.tun" /dev/null </dev/null >terminal.txt 2>&1
    ! grep -q "%" terminal.txt || fail "-q still shows progress: $(cat -v terminal.txt | head -c 300)"
fi

# ---- bad option values: status 2 and the option's name ----
for case in "--loops|--loops 0" "--loops|--loops 1.5" "--fade|--fade abc" "--length|--length 1:75" \
            "--mute|--mute 9" "--solo|--solo 1,,2" "-j|-j 0" "--format|--format ogg" "--bogus|--bogus" \
            "-o|-o - a.tun"; do
    option=${case%%|*} args=${case#*|}
    # shellcheck disable=SC2086
    expect 2 "render $args" "$tuntool" render $args a.tun
    grep -q -- "$option" err.txt || fail "render $args: no message naming $option: $(cat err.txt)"
done
printf x >plain-file
expect 2 "-o a file for several songs" "$tuntool" render -o plain-file a.tun b.tun
# A sound file's name is no folder for several songs; an existing folder of that name is one.
for name in x.flac x.WAV; do
    expect 2 "-o $name for several songs" "$tuntool" render -o $name a.tun b.tun
    grep -q -- "-o $name names one sound file" err.txt && [ ! -e $name ] || fail "-o $name for several songs: $(cat err.txt)"
done
mkdir album.flac
expect 0 "-o an existing folder album.flac" "$tuntool" render -q -o album.flac a.tun b.tun
[ -s album.flac/a.wav ] && [ -s album.flac/b.wav ] || fail "-o album.flac/: $(ls album.flac | tr '\n' ' ')"

# ---- SIGINT and SIGTERM: stop, leave nothing half written ----
for signal in INT TERM; do
    printf old >stopped.wav
    "$tuntool" render --loops 2000 -o stopped.wav a.tun 2>err.txt &
    pid=$!
    tries=0
    until [ -n "$(find . -maxdepth 1 -name '.stopped.wav.*' -size +100k)" ] || [ $tries -ge 200 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
    kill -s $signal $pid
    wait $pid
    status=$?
    want=130
    [ $signal = TERM ] && want=143
    [ $status = $want ] || fail "SIG$signal: status $status, expected $want"
    [ "$(cat stopped.wav)" = old ] || fail "SIG$signal: the old output was changed"
    grep -q "stopped by SIG$signal" err.txt || fail "SIG$signal: no line saying so: $(cat err.txt)"
    no_leftovers "SIG$signal"
done
# Stems are replaced together or not at all: a signal while the second
# stem renders leaves every old stem as it was.
for voice in 1 2 3 4; do printf old >"stopped-$voice.wav"; done
"$tuntool" render --stems --length 10:00 -o stopped.wav a.tun 2>err.txt &
pid=$!
tries=0
until [ -n "$(find . -maxdepth 1 -name '.stopped-2.wav.*')" ] || [ $tries -ge 400 ]; do
    sleep 0.02
    tries=$((tries + 1))
done
kill -s TERM $pid
wait $pid
[ $? = 143 ] || fail "SIGTERM during --stems: status, expected 143"
for voice in 1 2 3 4; do
    [ "$(cat "stopped-$voice.wav")" = old ] || fail "SIGTERM during --stems: stem $voice was replaced"
done
no_leftovers "SIGTERM during --stems"
# Several songs at once: every running child stops.
"$tuntool" render -j 2 --loops 2000 -o stopped a.tun b.tun c.tun 2>err.txt &
pid=$!
sleep 1
kill -s TERM $pid
wait $pid
[ $? = 143 ] || fail "SIGTERM with -j 2: status, expected 143"
no_leftovers "SIGTERM with -j 2"
[ -z "$(ls stopped)" ] || fail "SIGTERM with -j 2: left $(ls stopped | tr '\n' ' ')"

# ---- a disk that fills up under --stems: the old stems all stay ----
# Each stem of a.tun takes 9 MB: on a 14 MB file system the first is
# complete when the second runs out of room.
mkdir small
if mount -t tmpfs -o size=14m tmpfs small 2>/dev/null; then
    cp a.tun small/a.tun
    for voice in 1 2 3 4; do printf old >"small/a-$voice.wav"; done
    expect 1 "--stems on a full disk" "$tuntool" render --stems -o small/a.wav small/a.tun
    grep -q "No space left on device" err.txt || fail "--stems on a full disk: $(cat err.txt)"
    for voice in 1 2 3 4; do
        [ "$(cat "small/a-$voice.wav")" = old ] || fail "--stems on a full disk: stem $voice was replaced"
    done
    no_leftovers "--stems on a full disk"
    umount small
else
    echo "cannot mount a small tmpfs (not root?): the full-disk case of --stems is skipped"
fi

# ---- info --json ----
cp a.tun 'odd "name"\.tun'
expect 1 "info --json" "$tuntool" info --json a.tun b.tun bad.tun missing.tun 'odd "name"\.tun'
if command -v python3 >/dev/null 2>&1; then
    python3 - out.txt <<'PY' || fail "info --json: $(cat out.txt | head -c 600)"
import json, sys
songs = json.load(open(sys.argv[1]))
assert [s["file"] for s in songs] == ["a.tun", "b.tun", "bad.tun", "missing.tun", 'odd "name"\\.tun'], songs
a = songs[0]
assert (a["variant"], a["channels"], a["layout"], a["compressed"]) == ("plain", 4, "planar", True), a
assert (a["frames"], a["frame_rate"], a["loop_frame"], a["seconds"], a["playable"]) == (2352, 50, 336, 47.04, True), a
assert a["text"].startswith("Lullaby") and "reason" not in a, a
assert songs[1]["variant"] == "chip" and songs[1]["channels"] == 6, songs[1]
assert not songs[2]["playable"] and "not a song file" in songs[2]["reason"], songs[2]
assert not songs[3]["playable"] and "reason" in songs[3], songs[3]
PY
else
    [ "$(head -c 1 out.txt)" = "[" ] && [ "$(tail -n 1 out.txt)" = "]" ] || fail "info --json is not an array"
fi

checks_done "tuntool render"
