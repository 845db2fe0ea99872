#!/bin/sh
# Plays a song in a real X window on a private Xvfb display and drives it
# with key presses: the window's title names the song, screenshots of the
# column view and the oscilloscope are saved as PNGs and their pixels
# checked, Escape must end the program with status 0. Then the same with an
# audio driver whose device cannot be opened: the two error lines appear,
# and a key press ends the program. Last, SIGTERM, SIGINT and the window's
# close button must each end a playing song within a second, with status
# 143, 130 and 0.
#
#   player_xvfb.sh PLAYTUN MAKE_SONG CHECKER OUTPUT_DIR CLOSE_WINDOW
#
# Exit status 77 (skipped) when Xvfb is not installed.
set -u
playtun=$1 make_song=$2 checker=$3 outdir=$4 close_window=$5
. "$(dirname "$0")/../support/xvfb_session.sh"
# The player runs in a temporary directory: make every path absolute.
playtun=$(absolute "$playtun") make_song=$(absolute "$make_song")
checker=$(absolute "$checker") outdir=$(absolute "$outdir")
close_window=$(absolute "$close_window")

xvfb_session_start xdotool import convert

fail() {
    echo "FAIL: $*"
    exit 1
}

mkdir -p "$outdir"

# shot NAME MODE: saves the window as OUTPUT_DIR/NAME and checks it.
shot() {
    import -window "$window" "$outdir/$1" || fail "import of $1"
    convert "$outdir/$1" ppm:"$work/shot.ppm" || fail "convert of $1"
    echo "screenshot: $outdir/$1"
    "$checker" "$2" "$work/shot.ppm" || fail "$1 does not show the $2 screen"
}

"$make_song" "$work/song.tun" 60 || fail "could not write the song"
cd "$work" || exit 1

# ---- a song playing: columns, Tab, oscilloscope, Escape ----
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$playtun" song.tun >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!
window=$(find_window)
[ -n "$window" ] || fail "the player window did not appear"
title_is "playtun - song.tun"
# Twenty iterations a second: after a second the marquee, meters and note
# history have all been drawn.
sleep 1
shot player_columns.png columns

xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --window "$window" Tab
# The oscilloscope appears one present after it is drawn.
sleep 1
shot player_scope.png scope

xdotool key --window "$window" Escape
ends_within 10
[ "$status" -eq 0 ] || fail "Escape ended the player with status $status"
[ -s "$work/sound.raw" ] || fail "nothing was played"

# ---- no audio device: two lines, then any key ends the program ----
# SDL starts its audio subsystem without a usable driver; only opening the
# device fails.
SDL_AUDIODRIVER=none-such "$playtun" song.tun >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!
window=$(find_window)
[ -n "$window" ] || fail "the window did not appear without an audio device"
sleep 1
shot player_audio_error.png audio_error
kill -0 "$app_pid" 2>/dev/null || fail "the player did not wait for a key"
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --window "$window" space
ends_within 10
[ "$status" -eq 0 ] || fail "the key press after the audio error ended the player with status $status"

# ---- requests to quit while a song plays ----
start_player() {
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$playtun" song.tun >"$work/out.txt" 2>"$work/err.txt" &
}
quit_requests_end start_player "playtun - song.tun" "$close_window"
echo "player session: ok"
exit 0
