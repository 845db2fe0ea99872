#!/bin/sh
# Plays a song in a real X window on a private Xvfb display and drives it
# with key presses: the window's title names the song, screenshots of the
# column view and the oscilloscope are saved as PNGs and their pixels
# checked, Escape must end the program with status 0. Pause and k pause
# and resume: the Playing line says Paused, and the captured sound without
# its silent buffers is the recording, sample for sample. Twenty presses of
# Right 40 ms apart move the song twenty seconds on at once, and nothing
# moves after a held key is released. A play list of two songs: Page Down
# and Page Up go to the next and previous song, Page Down on the last ends
# the list. Then the same with an audio driver whose device cannot be
# opened: the two error lines appear, a key press ends the program with
# status 1 and a line on standard error names the song and the reason.
# Last, SIGTERM, SIGINT and the window's close button must each end a
# playing song within a second, with status 143, 130 and 0.
#
#   player_xvfb.sh PLAYTUN MAKE_SONG CHECKER OUTPUT_DIR CLOSE_WINDOW TEXT_READER CAPTURE_CHECK
#
# Exit status 77 (skipped) when Xvfb is not installed.
set -u
playtun=$1 make_song=$2 checker=$3 outdir=$4 close_window=$5 reader=$6 capture_check=$7
. "$(dirname "$0")/../support/xvfb_session.sh"
# The player runs in a temporary directory: make every path absolute.
playtun=$(absolute "$playtun") make_song=$(absolute "$make_song")
checker=$(absolute "$checker") outdir=$(absolute "$outdir")
close_window=$(absolute "$close_window") reader=$(absolute "$reader")
capture_check=$(absolute "$capture_check")

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

# read_cells ROW FIRST LAST ATTRIBUTE: the text the window shows there now.
read_cells() {
    import -window "$window" "$work/read.png" 2>/dev/null && convert "$work/read.png" ppm:"$work/read.ppm" &&
        "$reader" read "$work/read.ppm" "$@"
}

# seconds MM:SS: the time in seconds.
seconds() {
    case $1 in [0-9][0-9]:[0-9][0-9]) ;; *) fail "'$1' is not a time" ;; esac
    minutes=${1%%:*} secs=${1#*:}
    echo $((${minutes#0} * 60 + ${secs#0}))
}

# ---- pause and resume: the sound goes on where it stopped ----
"$make_song" "$work/long.tun" 100 || fail "could not write the long song"
"$playtun" long.tun long.wav >/dev/null || fail "could not record the long song"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/paused.raw" "$playtun" long.tun >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!
window=$(find_window)
[ -n "$window" ] || fail "the player window did not appear for the pause"
xdotool windowfocus --sync "$window" 2>/dev/null
sleep 1
xdotool key --window "$window" Pause
sleep 0.3
line=$(read_cells 1 0 15 07)
[ "$line" = "Paused  long.tun" ] || fail "the Playing line reads '$line' while paused"
sleep 1.5
xdotool key --window "$window" k
sleep 0.3
line=$(read_cells 1 0 15 07)
[ "$line" = "Playing long.tun" ] || fail "the Playing line reads '$line' after k"
sleep 0.5
xdotool key --window "$window" k
sleep 1
xdotool key --window "$window" Pause
sleep 1
xdotool key --window "$window" Escape
ends_within 10
[ "$status" -eq 0 ] || fail "Escape after the pauses ended the player with status $status"
# The device writes a buffer every 150 ms: 2.5 s of pauses leave more than ten.
"$capture_check" "$work/paused.raw" long.wav 10 || fail "the paused sound is not the recording"

# ---- keys act at once: a burst of Right, then a held Right ----
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$playtun" long.tun >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!
window=$(find_window)
[ -n "$window" ] || fail "the player window did not appear for the key burst"
xdotool windowfocus --sync "$window" 2>/dev/null
sleep 0.5
xdotool key --window "$window" Pause  # the position stands still meanwhile
sleep 0.3
before=$(read_cells 1 69 73 07)
# shellcheck disable=SC2046
xdotool key --window "$window" --delay 40 $(for k in $(seq 20); do echo Right; done)
# Every press counts; on a loaded machine the screen may show the last of
# them a little later, so the clock is read until it shows all twenty.
tries=0
while :; do
    sleep 0.2
    after=$(read_cells 1 69 73 07)
    [ $(($(seconds "$after") - $(seconds "$before"))) -ge 20 ] && break
    tries=$((tries + 1))
    [ $tries -ge 8 ] && break
done
echo "key burst: position $before before, $after about $((tries * 200 + 250)) ms after the last press"
[ $(($(seconds "$after") - $(seconds "$before"))) -eq 20 ] ||
    fail "twenty presses of Right moved the song from $before to $after"
xdotool keydown --window "$window" Right
sleep 1
xdotool keyup --window "$window" Right
sleep 0.1
released=$(read_cells 1 69 73 07)
sleep 1
later=$(read_cells 1 69 73 07)
echo "held key: position $released at the release, $later a second later"
[ "$released" = "$later" ] || fail "the song moved from $released to $later after the key was released"
[ $(($(seconds "$released") - $(seconds "$after"))) -ge 10 ] || fail "a held Right moved the song only to $released"
xdotool key --window "$window" Escape
ends_within 10
[ "$status" -eq 0 ] || fail "Escape after the key burst ended the player with status $status"

# ---- a play list: Page Down, Page Up, and the end after the last song ----
"$make_song" "$work/second.tun" 60 || fail "could not write the second song"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$playtun" --play song.tun second.tun \
    >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!
window=$(find_window)
[ -n "$window" ] || fail "the player window did not appear for the play list"
title_is "playtun - song.tun (1 of 2)"
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --window "$window" Next
title_is "playtun - second.tun (2 of 2)"
xdotool key --window "$window" Prior
title_is "playtun - song.tun (1 of 2)"
xdotool key --window "$window" Next
title_is "playtun - second.tun (2 of 2)"
xdotool key --window "$window" Next 2>/dev/null
ends_within 10
[ "$status" -eq 0 ] || fail "Page Down on the last song of the list ended with status $status"

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
[ "$status" -eq 1 ] || fail "the key press after the audio error ended the player with status $status, not 1"
grep -q "^playtun: song.tun: cannot open the audio device: ." "$work/err.txt" ||
    fail "no line on standard error names the song and the reason: $(cat "$work/err.txt")"

# ---- requests to quit while a song plays ----
start_player() {
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$playtun" song.tun >"$work/out.txt" 2>"$work/err.txt" &
}
quit_requests_end start_player "playtun - song.tun" "$close_window"
echo "player session: ok"
exit 0
