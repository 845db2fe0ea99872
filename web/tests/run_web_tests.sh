#!/bin/sh
# The browser tests of the web page, with what they compare against made by
# the native program: record mode's WAV of every bundled song, and the
# native selector's window on songs/imported read back from a private Xvfb display.
#
#   run_web_tests.sh PLAYTUN WEB_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
playtun=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
web=$(cd "$2" && pwd)
. "$top/tests/support/xvfb_session.sh"
xvfb_session_start xdotool import convert node metaflac

fail() {
    echo "FAIL: $*"
    exit 1
}

native=$work/native
mkdir -p "$native"
(cd "$top/songs" && find . -iname '*.tun' | sort) | while read -r song; do
    name=$(echo "${song#./}" | tr / _)
    "$playtun" "$top/songs/${song#./}" "$native/${name%.*}.wav" >/dev/null || fail "record mode failed on $song"
done

# A voice muted, and the credits as the native tags give them.
tuntool=$(dirname "$playtun")/tuntool
"$tuntool" render -q --mute 2 -o "$native/vent-arkijuusto-mute2.wav" "$top/songs/imported/vent-arkijuusto.tun" ||
    fail "tuntool render --mute failed"
"$tuntool" render -q --length 0.1 -o "$work/tags.flac" "$top/songs/imported/vent-arkijuusto.tun" &&
    metaflac --export-tags-to="$native/vent-arkijuusto.tags" "$work/tags.flac" || fail "no tags for the credits"
# A song that ends, for the page's play list.
"$tuntool" build "$here/short_song.txt" "$native/short.tun" >/dev/null || fail "tuntool build failed"

# The selector in songs/imported, as the page shows it. (The page lists no
# parent of songs/ itself, so the folder below it is where the two agree.)
(cd "$top/songs" && SDL_AUDIODRIVER=dummy exec "$playtun") >"$work/out.txt" 2>&1 &
app_pid=$!
window=$(find_window)
[ -n "$window" ] || fail "no playtun window"
sleep 1
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --window "$window" --delay 100 Down Down Return || fail "could not open songs/imported"
sleep 1
import -window "$window" "$work/selector.png" || fail "could not read the window"
convert "$work/selector.png" -depth 8 "rgb:$native/selector.rgb" || fail "could not convert the window's picture"
kill -TERM "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=''

cd "$here/.." && PLAYTUN_WEB="$web" PLAYTUN_NATIVE="$native" node --test --test-concurrency=1 tests/
