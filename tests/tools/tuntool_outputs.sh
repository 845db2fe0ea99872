#!/bin/sh
# tuntool's outputs, for every command that writes one: a new file, a file
# of mode 640, a symbolic link, /dev/null, a FIFO, standard output, and the
# command's own input as its output. Then what reaches standard output
# (a full device, a closed pipe), FIFOs and devices given as songs, a FIFO
# output that no one reads and a signal, and songs that claim more memory
# than a song may have, run under a memory limit.
#
#   tuntool_outputs.sh TUNTOOL SONGS_DIR PLAYTUN
set -u
tuntool=$1 songs=$2 playtun=$3
. "$(dirname "$0")/../support/shell_checks.sh"
tuntool=$(absolute "$tuntool") songs=$(absolute "$songs") playtun=$(absolute "$playtun")
enter_work_folder

cp "$songs/plain/meadow.tun" plain.tun      # interleaved, not compressed
cp "$songs/lullaby.tun" packed.tun          # planar, compressed
cp "$songs/plain/meadow.txt" score.txt

# run COMMAND OUT: the command line that writes OUT.
run() {
    case $1 in
        pack) "$tuntool" pack plain.tun "$2" ;;
        unpack) "$tuntool" unpack packed.tun "$2" ;;
        relayout) "$tuntool" relayout plain.tun "$2" --planar ;;
        build) "$tuntool" build score.txt "$2" ;;
    esac
}
input_of() {
    case $1 in pack | relayout) echo plain.tun ;; unpack) echo packed.tun ;; build) echo score.txt ;; esac
}

for command in pack unpack relayout build; do
    run $command expected.tun >/dev/null || fail "$command: a new file"

    printf old >private.tun
    chmod 640 private.tun
    run $command private.tun >/dev/null || fail "$command: a file of mode 640"
    [ "$(stat -c %a private.tun)" = 640 ] || fail "$command: mode 640 became $(stat -c %a private.tun)"
    cmp -s private.tun expected.tun || fail "$command: the replaced file differs"

    printf old >target.tun
    ln -sf target.tun link.tun
    run $command link.tun >/dev/null || fail "$command: through a link"
    [ -L link.tun ] || fail "$command: the link became a file"
    cmp -s target.tun expected.tun || fail "$command: the link's target differs"

    run $command /dev/null >/dev/null || fail "$command: /dev/null"
    [ -c /dev/null ] || fail "$command: /dev/null is no longer a device"

    rm -f fifo.tun
    mkfifo fifo.tun
    timeout 20 cat fifo.tun >from-fifo.tun &
    run $command fifo.tun >/dev/null || fail "$command: a FIFO"
    wait
    [ -p fifo.tun ] || fail "$command: the FIFO was replaced"
    cmp -s from-fifo.tun expected.tun || fail "$command: the FIFO got other bytes"

    run $command - >from-stdout.tun 2>err.txt || fail "$command: standard output"
    cmp -s from-stdout.tun expected.tun || fail "$command: standard output got other bytes"
    [ -s err.txt ] || fail "$command: its report belongs on standard error"

    input=$(input_of $command)
    cp "$input" before
    if [ $command = build ]; then
        # The score is no song: the command refuses and changes nothing.
        run $command "$input" >/dev/null 2>err.txt && fail "build over its score succeeded"
        grep -q "is the input" err.txt || fail "build over its score: no line saying why"
        cmp -s "$input" before || fail "build over its score changed it"
    else
        # Read whole first, then replaced: an in-place conversion.
        run $command "$input" >/dev/null || fail "$command in place"
        cmp -s "$input" expected.tun || fail "$command in place gave other bytes"
        cp before "$input"
    fi
    left=$(ls -A | grep '^\.' | tr '\n' ' ')
    [ -z "$left" ] || fail "$command: left behind: $left"
done

# Inputs past their limits end at once with a clear line, whatever their
# size (sparse files: nothing is stored on the disk).
truncate -s 5G huge.txt huge.tun
"$tuntool" build huge.txt out.tun 2>err.txt && fail "a 5 GB score was built"
grep -q "longer than 67108864 bytes" err.txt || fail "a 5 GB score: $(head -c 200 err.txt)"
"$tuntool" pack huge.tun out.tun 2>err.txt && fail "a 5 GB song was packed"
grep -q "larger than any song file" err.txt || fail "a 5 GB song: $(head -c 200 err.txt)"
[ ! -e out.tun ] || fail "an input past its limit left an output"
# Just past the song limit (256 MiB) is refused too; at it, a song is read.
truncate -s 268435457 over.tun
"$tuntool" info over.tun 2>err.txt && fail "a song of 256 MiB + 1 byte was read"
grep -q "larger than any song file (268435456 bytes)" err.txt || fail "256 MiB + 1: $(head -c 200 err.txt)"

# ---- standard output that does not take what is written ----
# A full device: status 1 and a line saying so.
for args in "$tuntool info plain.tun" "$tuntool info --json plain.tun packed.tun" "$tuntool --help" \
            "$tuntool --version" "$tuntool render --help" "$tuntool pack plain.tun -" \
            "$tuntool render -q -o - plain.tun" "$playtun --help" "$playtun --version" "$playtun /?" \
            "$playtun plain.tun -"; do
    # shellcheck disable=SC2086
    $args >/dev/full 2>err.txt
    status=$?
    [ $status = 1 ] || [ $status = 101 ] || fail "$args >/dev/full: status $status"
    grep -q -i "write error\|no space" err.txt || fail "$args >/dev/full: no line saying so: $(head -c 200 err.txt)"
done
# A closed pipe ends quietly, as a program killed by SIGPIPE (141 in a shell).
for args in "$tuntool render -q -o - plain.tun" "$tuntool render -q --format flac -o - packed.tun" "$playtun plain.tun -"; do
    # shellcheck disable=SC2086
    { $args 2>err.txt; echo $? >status.txt; } | head -c 10 >/dev/null
    [ "$(cat status.txt)" = 141 ] || fail "$args | head: status $(cat status.txt)"
    ! grep -q -i "pipe\|error" err.txt || fail "$args | head: $(head -c 200 err.txt)"
done

# ---- songs that are not regular files: refused at once, never opened ----
mkfifo song-fifo.tun
for args in "info song-fifo.tun" "info --json song-fifo.tun" "render -o x.wav song-fifo.tun" \
            "pack song-fifo.tun x.tun" "render -o x.wav /dev/zero" "info /dev/zero"; do
    # shellcheck disable=SC2086
    expect 1 "$args" timeout -k 1 10 "$tuntool" $args
    grep -q "not a regular file" err.txt out.txt || fail "$args: no line saying why: $(head -c 200 err.txt)"
done

# ---- a FIFO output that no one reads: a signal ends the wait at once ----
mkfifo out-fifo.wav
for case in "INT 130 $tuntool render -q -o out-fifo.wav plain.tun" "TERM 143 $tuntool render -q -o out-fifo.wav plain.tun" \
            "TERM 143 $tuntool pack plain.tun out-fifo.wav" "INT 130 $playtun plain.tun out-fifo.wav"; do
    set -- $case
    signal=$1 want=$2
    shift 2
    "$@" >/dev/null 2>&1 &
    pid=$!
    sleep 0.5
    kill -s "$signal" $pid
    # The first signal ends it: no second one is sent.
    tries=0
    while kill -0 $pid 2>/dev/null && [ $tries -lt 50 ]; do sleep 0.1; tries=$((tries + 1)); done
    if kill -0 $pid 2>/dev/null; then
        fail "SIG$signal to $*: still waiting for a reader"
        kill -9 $pid
    fi
    wait $pid
    status=$?
    [ $status = "$want" ] || fail "SIG$signal to $*: status $status, expected $want"
done
[ -p out-fifo.wav ] || fail "the FIFO output was replaced"

# ---- a song that claims more frame data than a song may hold ----
# 18 bytes claiming 4 GiB unpacked, under a memory limit that 4 GiB would
# break: each command names the song and goes on with the others.
printf 'TQK\101\062\000\000\000\000\000\000\000\377\377\377\377\000\000' >claim.tun
cp packed.tun good.tun
(
    # A sanitizer's shadow memory does not fit under a limit on the address
    # space; there the commands run without one.
    [ -n "${PLAYTUN_SANITIZED:-}" ] || ulimit -v 1000000
    "$tuntool" info claim.tun good.tun >info.txt 2>info-err.txt
    echo $? >info-status.txt
    "$tuntool" info --json claim.tun good.tun >json.txt 2>json-err.txt
    echo $? >json-status.txt
    "$tuntool" render -q -j 1 -o claims claim.tun good.tun >/dev/null 2>render-err.txt
    echo $? >render-status.txt
)
[ "$(cat info-status.txt)" = 1 ] || fail "info of a huge claim: status $(cat info-status.txt)"
grep -q "^tuntool: claim.tun: .*claims to unpack to 4294967295 bytes" info-err.txt ||
    fail "info of a huge claim does not name it: $(head -c 300 info-err.txt)"
grep -q "playtun      plays it" info.txt || fail "info stopped at the huge claim: $(head -c 300 info.txt)"
[ "$(cat json-status.txt)" = 1 ] || fail "info --json of a huge claim: status $(cat json-status.txt)"
if command -v python3 >/dev/null 2>&1; then
    python3 - json.txt <<'PY' || fail "info --json of a huge claim: $(head -c 600 json.txt)"
import json, sys
songs = json.load(open(sys.argv[1]))
assert [s["file"] for s in songs] == ["claim.tun", "good.tun"], songs
assert songs[0]["playable"] is False and "4294967295" in songs[0]["reason"], songs[0]
assert songs[1]["playable"] is True, songs[1]
PY
fi
[ "$(cat render-status.txt)" = 1 ] || fail "render of a huge claim: status $(cat render-status.txt)"
grep -q "^tuntool: claim.tun: .*4294967295" render-err.txt || fail "render of a huge claim: $(head -c 300 render-err.txt)"
[ -s claims/good.wav ] && [ ! -e claims/claim.wav ] || fail "render of a huge claim: $(ls claims | tr '\n' ' ')"

checks_done "tuntool outputs"
