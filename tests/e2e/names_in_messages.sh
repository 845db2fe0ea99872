#!/bin/sh
# File names holding a line end, a tab, an escape sequence, DEL or bytes
# that are no UTF-8, as every program's messages show them: each message
# stays one line, holds no control byte and no broken UTF-8, and names the
# file in the quoted form a shell takes back. The programs: playtun --play
# and record mode, tuntool info, render and import, and (when the plugin
# is built) gst-launch-1.0 with the element refusing the song.
# Usage: names_in_messages.sh PLAYTUN TUNTOOL PLUGIN_DIR|none
playtun=$1 tuntool=$2 plugin_dir=$3
. "$(dirname "$0")/../support/shell_checks.sh"
playtun=$(absolute "$playtun") tuntool=$(absolute "$tuntool")
[ "$plugin_dir" = none ] || plugin_dir=$(absolute "$plugin_dir")
enter_work_folder
# A sanitized plugin needs the sanitizer's runtime in gst-launch-1.0.
gst_preload=
[ -n "$PLAYTUN_SANITIZED" ] && gst_preload=$(cc -print-file-name=libasan.so)
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null LC_ALL=C.UTF-8

# clean WHAT FILE [LINES]: FILE holds LINES lines (1 when not given), and
# no control byte other than their ends, and is UTF-8.
clean() {
    lines=$(wc -l <"$2")
    [ "$lines" = "${3:-1}" ] || fail "$1: $lines lines, expected ${3:-1}: $(head -c 300 "$2" | od -c | head -5)"
    tr -d '\n' <"$2" | LC_ALL=C grep -q '[[:cntrl:]]' && fail "$1: a control byte: $(od -c "$2" | head -5)"
    iconv -f UTF-8 -t UTF-8 "$2" >/dev/null 2>&1 || fail "$1: not UTF-8: $(od -c "$2" | head -5)"
}

# The bytes of a name (for printf), the form messages show of NAME.tun, and
# whether GStreamer can take the name (its strings are UTF-8).
while IFS='|' read -r bytes shown gstreamer; do
    name=$(printf "$bytes")
    shown_sid=$(printf '%s\n' "$shown" | sed 's/\.tun/.sid/')
    # No song: a header that playtun, tuntool and the element refuse.
    printf 'TQK\023\062\000\000\000\000\000\000\000\000\000\000\000' >"$name.tun"
    cp "$name.tun" "$name.sid"

    timeout 30 "$playtun" --play "$name.tun" >out.txt 2>err.txt
    status=$?
    [ $status = 1 ] || fail "playtun --play $shown: status $status ($(cat out.txt err.txt))"
    clean "playtun --play $shown" err.txt
    grep -qxF "playtun: $shown: not a song file" err.txt || fail "playtun --play $shown: $(cat err.txt)"

    "$playtun" "$name.tun" out.wav >out.txt 2>err.txt
    clean "playtun $shown out.wav, standard output" out.txt 2
    clean "playtun $shown out.wav, standard error" err.txt

    "$tuntool" info "$name.tun" >out.txt 2>err.txt
    clean "tuntool info $shown, standard output" out.txt 9
    clean "tuntool info $shown, standard error" err.txt
    head -1 out.txt | grep -qxF "$shown" || fail "tuntool info $shown names it $(head -1 out.txt)"

    "$tuntool" render "$name.tun" >out.txt 2>err.txt
    clean "tuntool render $shown" err.txt

    "$tuntool" import -o "out$name" "$name.sid" >out.txt 2>err.txt
    clean "tuntool import $shown_sid" err.txt 2
    grep -qF "tuntool: $shown_sid: not a PSID file" err.txt || fail "tuntool import $shown_sid: $(cat err.txt)"

    if [ "$plugin_dir" != none ] && [ "$gstreamer" = yes ]; then
        GST_PLUGIN_PATH="$plugin_dir" GST_REGISTRY="$work/registry.bin" LD_PRELOAD="$gst_preload" \
            ASAN_OPTIONS=detect_leaks=0 timeout 60 gst-launch-1.0 -q filesrc location="\"$name.tun\"" ! decodebin ! fakesink >out.txt 2>&1
        grep -q "^ERROR: from element .*tundec.*: This is not a song" out.txt ||
            fail "gst-launch-1.0 $shown: no error from the element ($(head -c 300 out.txt))"
        clean "gst-launch-1.0 $shown" out.txt "$(wc -l <out.txt)"
        # The element names the file by its full path: the name's shown
        # form ends it.
        grep -qF "${shown#\'}: tonera_open gave" out.txt ||
            fail "gst-launch-1.0 $shown: the element's error does not name the file ($(tail -3 out.txt))"
    fi
done <<'TABLE'
a\nb|'a'$'\n''b.tun'|yes
tab\there|'tab'$'\t''here.tun'|yes
\033[2Jescape|$'\033''[2Jescape.tun'|yes
del\177|'del'$'\177''.tun'|yes
bad\377\376|'bad'$'\377\376''.tun'|no
TABLE

checks_done names_in_messages
