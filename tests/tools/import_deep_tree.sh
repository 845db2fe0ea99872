#!/bin/sh
# tuntool import -o over folders nested deeply: the search holds only the
# folders on the way down, so its memory (the most resident, as
# /usr/bin/time -v reports it) stays near that of an empty folder's
# import; a folder whose path would pass the longest path the system opens
# is named, shortened on one line, and not searched; a song whose path
# would be too long is refused before anything is written.
# Usage: import_deep_tree.sh TUNTOOL
tuntool=$1
. "$(dirname "$0")/../support/shell_checks.sh"
tuntool=$(absolute "$tuntool")
enter_work_folder

# Sanitizers keep freed memory for a while: they get more room.
allowance_kb=16384
[ -n "$PLAYTUN_SANITIZED" ] && allowance_kb=131072

# tree NAME DEPTH: NAME/d/d/.../d, DEPTH folders d, and at the bottom a
# file that is no tune but has a tune's name.
tree() {
    python3 - "$1" "$2" <<'PY'
import os, sys
os.mkdir(sys.argv[1])
os.chdir(sys.argv[1])
for _ in range(int(sys.argv[2])):
    os.mkdir("d")
    os.chdir("d")
with open("bottom.sid", "w") as f:
    f.write("not a tune\n")
PY
}

# import_measured NAME ARGUMENTS...: the import's standard error in NAME.txt,
# its status in $status and its most resident memory in KB in $resident.
import_measured() {
    name=$1
    shift
    /usr/bin/time -v -o "$name.time" "$tuntool" import -j 1 "$@" >"$name.out" 2>"$name.txt"
    status=$?
    resident=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$name.time")
    [ -n "$resident" ] || fail "$name: /usr/bin/time gave no figure ($(cat "$name.time"))"
}

mkdir empty
import_measured empty -o out_empty empty
[ "$status" = 0 ] || fail "an empty folder: status $status ($(cat empty.txt))"
baseline=${resident:-0}

tree tree1000 1000
tree tree5000 5000

# Depth 1000: searched to the bottom, where the file is refused as no tune.
import_measured deep1000 -o out1000 tree1000
[ "$status" = 1 ] || fail "depth 1000: status $status, expected 1"
grep -q "^tuntool: tree1000/\(d/\)\{1000\}bottom.sid: .*not a PSID file" deep1000.txt ||
    fail "depth 1000: the tune at the bottom is not reached ($(head -c 300 deep1000.txt))"
[ "${resident:-0}" -le $((baseline + allowance_kb)) ] ||
    fail "depth 1000: $resident KB resident, an empty folder's import $baseline KB"

# Depth 5000: the search stops where paths grow past 4095 bytes, with one
# line naming the place, shortened.
import_measured deep5000 -o out5000 tree5000
[ "$status" = 1 ] || fail "depth 5000: status $status, expected 1"
grep -q "^tuntool: tree5000/d/d/.*\.\.\./d/d.*: not searched: its path is longer than 4095 bytes$" deep5000.txt ||
    fail "depth 5000: no line naming the folder not searched ($(head -c 300 deep5000.txt))"
longest=$(awk '{ if (length($0) > most) most = length($0) } END { print most + 0 }' deep5000.txt)
[ "$longest" -le 300 ] || fail "depth 5000: a message line of $longest bytes"
grep -q "0 of 1 tune imported.*1 tune failed: 1 refused (above)" deep5000.txt ||
    fail "depth 5000: the summary does not count the refusal ($(tail -1 deep5000.txt))"
[ "${resident:-0}" -le $((baseline + allowance_kb)) ] ||
    fail "depth 5000: $resident KB resident, an empty folder's import $baseline KB"

# A song folder deep enough that the tune at depth 1000 would have a song
# path over the limit: refused by name, nothing written.
long=$(printf '%0200d' 0)
out=o/$long/$long/$long/$long/$long/$long/$long/$long/$long/$long/$long/$long
import_measured long_out -o "$out" tree1000
[ "$status" = 1 ] || fail "a song path too long: status $status, expected 1"
grep -q "^tuntool: tree1000/d/.*\.\.\..*bottom.sid: its song's path .* would be longer than 4095 bytes$" long_out.txt ||
    fail "a song path too long: not refused ($(head -c 300 long_out.txt))"
[ -z "$(find o -type f)" ] || fail "a song path too long: files were written"

checks_done import_deep_tree
