#!/bin/sh
# Record mode as a user meets it: the files it must never destroy, the
# outputs it writes (links, modes, devices, FIFOs, pipes, standard output),
# SIGINT and SIGTERM during a recording, the options and the start without
# a display.
#
#   record_outputs.sh PLAYTUN MAKE_SONG VERSION NO_SCAN_PRELOAD
#
# Exit status 77 (skipped) when sox is not installed.
set -u
playtun=$1 make_song=$2 version=$3 no_scan=$4
command -v sox >/dev/null 2>&1 || { echo "sox is not installed: skipped"; exit 77; }
. "$(dirname "$0")/../support/shell_checks.sh"
playtun=$(absolute "$playtun") make_song=$(absolute "$make_song") no_scan=$(absolute "$no_scan")
enter_work_folder

# no_leftovers: no temporary file may remain in the work folder.
no_leftovers() {
    left=$(ls -A | grep '^\.' | tr '\n' ' ')
    [ -z "$left" ] || fail "$1: left behind: $left"
}

"$make_song" a.tun 3
"$make_song" b.tun 2
cp b.tun b.orig
"$make_song" reference.tun 3
expect 0 "reference recording" "$playtun" a.tun reference.wav

# ---- never over a song ----
expect 1 "a.tun b.tun" "$playtun" a.tun b.tun
grep -q "b.tun is a song file" out.txt || fail "a.tun b.tun: no line naming b.tun"
cmp -s b.tun b.orig || fail "a.tun b.tun: the song b.tun was changed"
expect 1 "the song over itself" "$playtun" a.tun a.tun
grep -q "a.tun is the song being recorded" out.txt || fail "a.tun a.tun: no line naming a.tun"
ln -s b.tun link-to-b.tun
expect 1 "over a link to the song" "$playtun" b.tun link-to-b.tun
cmp -s b.tun b.orig || fail "link to the song: the song was changed"
[ -L link-to-b.tun ] || fail "link to the song: the link is gone"
printf 'CQK\001not a wav' >disguised.wav
expect 1 "over a file with a song magic" "$playtun" a.tun disguised.wav
[ "$(cat disguised.wav)" = "$(printf 'CQK\001not a wav')" ] || fail "disguised song changed"
no_leftovers "refusals"

# ---- a failed recording changes nothing ----
printf 'an old recording' >old.wav
expect 2 "missing song" "$playtun" missing.tun old.wav
expect 1 "not a song" "$playtun" old.wav new.wav
[ ! -e new.wav ] || fail "a refused song created its output"
# Songs that are not regular files, or larger than any song may be, are
# refused before anything is read or allocated: a FIFO with no writer, a
# device without end, a compressed song of 18 bytes claiming 4 GiB (under
# an address space limit that 4 GiB would break; not under a sanitizer,
# whose shadow memory needs more), a file one byte over the 256 MiB limit.
mkfifo song-fifo.tun
printf 'TQK\101\062\000\000\000\000\000\000\000\377\377\377\377\000\000' >claim.tun
truncate -s 268435457 over.tun
for row in "5:song-fifo.tun:not a regular file" "5:/dev/zero:not a regular file" \
           "1:claim.tun:Song too large" "1:over.tun:Song too large"; do
    want=${row%%:*} rest=${row#*:}
    song=${rest%%:*} says=${rest#*:}
    expect "$want" "record $song" sh -c "[ -n \"\${PLAYTUN_SANITIZED:-}\" ] || ulimit -v 500000;
                                         exec timeout 20 \"$playtun\" \"$song\" new.wav"
    grep -q "$says" out.txt err.txt || fail "record $song: no '$says' in $(cat out.txt err.txt)"
    [ ! -e new.wav ] || fail "record $song created its output"
done
rm -f song-fifo.tun over.tun
# A write that fails half way (a file size limit) leaves the old file.
expect 27 "write error" sh -c "trap '' XFSZ; ulimit -f 64; exec \"$playtun\" a.tun old.wav"
[ "$(cat old.wav)" = "an old recording" ] || fail "failed recordings changed old.wav"
no_leftovers "failed recordings"

# ---- links, modes, devices ----
ln -s real.wav linked.wav
expect 0 "through a dangling link" "$playtun" a.tun linked.wav
[ -L linked.wav ] && cmp -s real.wav reference.wav || fail "a link must stay a link, its target the WAV"
expect 0 "through a link again" "$playtun" a.tun linked.wav
[ -L linked.wav ] && cmp -s real.wav reference.wav || fail "a link to a WAV must stay a link"
printf x >private.wav
chmod 640 private.wav
expect 0 "replacing a file of mode 640" "$playtun" a.tun private.wav
[ "$(stat -c %a private.wav)" = 640 ] || fail "mode 640 became $(stat -c %a private.wav)"
cmp -s private.wav reference.wav || fail "the replaced file is not the recording"
expect 0 "to /dev/null" "$playtun" a.tun /dev/null
[ -c /dev/null ] || fail "/dev/null is no longer a character device"
mkfifo pipe.wav
timeout 20 cat pipe.wav >from-fifo.wav &
expect 0 "to a FIFO" "$playtun" a.tun pipe.wav
wait
[ -p pipe.wav ] || fail "the FIFO was replaced"
cmp -s from-fifo.wav reference.wav || fail "the FIFO gave other bytes than a file"
no_leftovers "links, modes, devices"

# ---- pipes and standard output ----
"$playtun" a.tun - 2>err.txt | cat >from-pipe.wav
cmp -s from-pipe.wav reference.wav || fail "'-' through a pipe gave other bytes than a file"
grep -q "Recording Done" err.txt || fail "'-': the status lines belong on standard error"
"$playtun" a.tun /dev/stdout >from-stdout.wav 2>err.txt
cmp -s from-stdout.wav reference.wav || fail "/dev/stdout gave other bytes than a file"
grep -q "Recording Done" err.txt || fail "/dev/stdout: the status lines belong on standard error"
"$playtun" a.tun - 2>/dev/null | sox -t wav - flac.flac 2>err.txt || fail "sox could not read the stream: $(cat err.txt)"
[ "$(soxi -s flac.flac)" = $(( ($(stat -c %s reference.wav) - 44) / 4 )) ] || fail "sox read another length"

# ---- SIGINT and SIGTERM ----
"$make_song" long.tun 3600
for signal in INT TERM; do
    rm -f partial.wav
    "$playtun" long.tun partial.wav >out.txt 2>&1 &
    pid=$!
    # Once the recording is under way (its temporary file is growing).
    tries=0
    until [ -n "$(find . -maxdepth 1 -name '.partial.wav.*' -size +100k)" ] || [ $tries -ge 100 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
    kill -s $signal $pid
    wait $pid
    status=$?
    want=130
    [ $signal = TERM ] && want=143
    [ $status = $want ] || fail "SIG$signal: status $status, expected $want"
    grep -q "Recording stopped early" out.txt || fail "SIG$signal: no line saying the recording stopped early"
    samples=$(( ($(stat -c %s partial.wav) - 44) / 4 ))
    [ "$samples" -gt 0 ] && [ "$(soxi -s partial.wav)" = "$samples" ] || fail "SIG$signal: sox does not read $samples samples"
    no_leftovers "SIG$signal"
done

# ---- options ----
expect 0 "--help" "$playtun" --help
grep -q "^Usage: playtun" out.txt && grep -q -- "--version" out.txt || fail "--help does not show the usage"
grep -q -- "--play" out.txt && grep -q -- "--loops" out.txt || fail "--help does not show --play and --loops"
expect 0 "-h" "$playtun" -h
expect 0 "--version" "$playtun" --version
[ "$(cat out.txt)" = "playtun $version" ] || fail "--version printed: $(cat out.txt)"
expect 0 "-V" "$playtun" -V
for option in -x --record; do
    expect 2 "unknown option $option" "$playtun" "$option" a.tun
    grep -q -- "$option" err.txt && grep -q -- "--help" err.txt || fail "$option: no line naming it"
done
# Play-list options: a wrong value, or one without --play, names the option.
for case in "--loops:--play --loops 0 a.tun" "--loops:--play --loops=x a.tun" "--loops:--play a.tun --loops" \
    "--shuffle:--shuffle a.tun" "--repeat:--repeat a.tun b.tun" "--play:--play" "--play:-p --"; do
    option=${case%%:*}
    # shellcheck disable=SC2086
    expect 2 "${case#*:}" "$playtun" ${case#*:}
    grep -q -- "$option" err.txt && grep -q -- "--help" err.txt || fail "${case#*:}: no line naming $option"
done
cp a.tun ./-dash.tun
expect 0 "a name after --" "$playtun" -- -dash.tun dash.wav

# ---- no display, and no folder scan in record mode ----
expect 254 "no display, one song" env -u DISPLAY -u SDL_VIDEODRIVER "$playtun" a.tun
grep -q "need an X11 display" out.txt || fail "no display: no clear line"
expect 254 "no display, selector" env -u DISPLAY -u SDL_VIDEODRIVER "$playtun"
# An X display that cannot be reached is reported, not replaced by a driver
# that draws into the terminal.
expect 254 "an unreachable display" env -u SDL_VIDEODRIVER DISPLAY=:97 timeout 10 "$playtun" a.tun
grep -q "^?SDL: .*  ERROR$" out.txt || fail "an unreachable display: $(head -c 200 out.txt)"
expect 0 "record mode without a folder scan" env LD_PRELOAD="$no_scan" ASAN_OPTIONS=verify_asan_link_order=0 \
    "$playtun" a.tun noscan.wav
# The preload takes effect (a library that cannot load is only warned
# about): the same environment stops a program that lists a folder.
expect 99 "the no-scan preload stops a folder listing" env LD_PRELOAD="$no_scan" ASAN_OPTIONS=verify_asan_link_order=0 \
    ls .
! grep -q "cannot be preloaded" err.txt || fail "the no-scan preload does not load: $(head -c 200 err.txt)"

# ---- longer than the 32-bit sizes: RF64 (writes 4.3 GB, so only on request) ----
if [ -n "${PLAYTUN_SLOW_TESTS:-}" ]; then
    "$make_song" huge.tun 22400  # 6 h 13 min 20 s: past 4 GiB of samples
    expect 0 "a recording past 4 GiB" "$playtun" huge.tun huge.wav
    [ "$(head -c 4 huge.wav)" = RF64 ] || fail "past 4 GiB: not an RF64 file"
    [ "$(soxi -s huge.wav)" = $(( ($(stat -c %s huge.wav) - 80) / 4 )) ] || fail "past 4 GiB: sox reads another length"
    rm -f huge.wav
fi

checks_done "record mode outputs"
