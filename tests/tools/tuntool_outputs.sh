#!/bin/sh
# tuntool's outputs, for every command that writes one: a new file, a file
# of mode 640, a symbolic link, /dev/null, a FIFO, standard output, and the
# command's own input as its output.
#
#   tuntool_outputs.sh TUNTOOL SONGS_DIR
set -u
tuntool=$1 songs=$2
. "$(dirname "$0")/../support/shell_checks.sh"
tuntool=$(absolute "$tuntool") songs=$(absolute "$songs")
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

checks_done "tuntool outputs"
