#!/bin/sh
# Runs playtun without arguments in a real X window on a private Xvfb display
# and walks through the file selector with key presses: the list of the
# starting directory, the bar moving down, a subdirectory opened and left
# again through "..", a song chosen and shown on the player screen, Escape
# back to the list with the bar still on that song, the same with the mouse
# (a click on a row, on the bar, on the player screen to pause, a double
# click on a folder), and Escape to end the
# program, which must then exit with status 0 by itself. Every screen is
# read back from the window and compared cell by cell; the working directory
# is followed through /proc while the program runs, and the window's title
# names the folder or the song. The idle list must leave the CPU alone
# (playtun and the X server together under 10 % of a core). Last, SIGTERM,
# SIGINT and the window's close button must each end the selector within a
# second, with status 143, 130 and 0.
#
#   selector_xvfb.sh PLAYTUN MAKE_SONG CHECKER OUTPUT_DIR CLOSE_WINDOW
#
# Exit status 77 (skipped) when Xvfb, xdotool or ImageMagick is missing.
set -u
playtun=$1 make_song=$2 checker=$3 outdir=$4 close_window=$5
. "$(dirname "$0")/../support/xvfb_session.sh"
# The program runs in a temporary directory: make every path absolute.
playtun=$(absolute "$playtun") make_song=$(absolute "$make_song")
checker=$(absolute "$checker") outdir=$(absolute "$outdir")
close_window=$(absolute "$close_window")

xvfb_session_start xdotool import convert

fail() {
    echo "FAIL: $*"
    for f in out.txt err.txt; do
        if [ -s "$work/$f" ]; then
            echo "--- playtun $f:"
            cat "$work/$f"
        fi
    done
    exit 1
}

mkdir -p "$outdir"

# The starting directory: two songs and a subdirectory with a third, plus a
# file that is not a song and must not be listed.
music="$work/music"
mkdir -p "$music/sub" || fail "could not make the song directories"
for song in a.tun b.tun sub/c.tun; do
    "$make_song" "$music/$song" 10 || fail "could not write $song"
done
echo "not a song" >"$music/notes.txt"
echo "not a song" >"$music/x.tun"
music=$(cd "$music" && pwd -P)
top_list='d:.. d:sub f:a.tun f:b.tun b:x.tun'
sub_list='d:.. f:c.tun'

# await NAME MODE ARGUMENT...: reads the window back until the checker
# accepts it (a key press takes effect within a pass or two of the program's
# loop), for at most ten seconds; a NAME other than "-" keeps the picture as
# OUTPUT_DIR/NAME.
await() {
    name=$1 mode=$2
    shift 2
    tries=0
    while :; do
        alive "$app_pid" || fail "playtun ended while the screen for $name was awaited"
        if import -window "$window" "$work/shot.png" 2>"$work/import.log" &&
            convert "$work/shot.png" ppm:"$work/shot.ppm" 2>>"$work/import.log" &&
            "$checker" "$mode" "$work/shot.ppm" "$@" >"$work/check.txt" 2>&1; then
            break
        fi
        tries=$((tries + 1))
        if [ $tries -ge 50 ]; then
            [ "$name" = - ] && name=selector_failed.png
            cp "$work/shot.png" "$outdir/$name" 2>/dev/null
            cat "$work/import.log" "$work/check.txt"
            fail "the window never showed the expected screen ($mode $*); last picture in $outdir/$name"
        fi
        sleep 0.2
    done
    if [ "$name" != - ]; then
        cp "$work/shot.png" "$outdir/$name" || fail "could not keep $name"
        echo "screenshot: $outdir/$name"
    fi
}

# cpu_ticks PID: user and system time of a process so far, in clock ticks.
cpu_ticks() {
    # shellcheck disable=SC2046
    set -- $(sed 's/.*) //' "/proc/$1/stat")
    echo $((${12} + ${13}))
}

# cwd_is DIRECTORY: the working directory of the running program.
cwd_is() {
    seen=$(readlink "/proc/$app_pid/cwd")
    [ "$seen" = "$1" ] || fail "the working directory is $seen, expected $1"
}

press() {
    for key in "$@"; do
        if ! alive "$app_pid"; then
            wait "$app_pid"
            status=$?
            app_pid=''
            fail "playtun ended with status $status before $key could be pressed"
        fi
        xdotool key --window "$window" "$key" || fail "could not send $key"
        sleep 0.1
    done
}

# ---- the selector over the starting directory ----
cd "$music" || exit 1
started=$(date +%s)
unset SDL_DISKAUDIODELAY
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" "$playtun" >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!
cd "$work" || exit 1
window=$(find_window)
[ -n "$window" ] || fail "the playtun window did not appear"
xdotool windowfocus --sync "$window" 2>/dev/null

# Directories first, the parent entry before sub; the bar on the first row.
# shellcheck disable=SC2086
await selector_list.png list 0 $top_list
cwd_is "$music"
title_is "playtun - $music"

# ---- an idle list sleeps: three seconds without a key ----
ticks_per_second=$(getconf CLK_TCK)
app_before=$(cpu_ticks "$app_pid") xvfb_before=$(cpu_ticks "$xvfb_pid")
sleep 3
app_ticks=$(($(cpu_ticks "$app_pid") - app_before)) xvfb_ticks=$(($(cpu_ticks "$xvfb_pid") - xvfb_before))
echo "idle selector over 3 s: playtun $app_ticks, Xvfb $xvfb_ticks CPU ticks of 1/$ticks_per_second s"
[ $((100 * (app_ticks + xvfb_ticks))) -lt $((10 * 3 * ticks_per_second)) ] ||
    fail "the idle selector took $app_ticks + $xvfb_ticks ticks in 3 s, 10 % of a core or more"

press Down
# shellcheck disable=SC2086
await - list 1 $top_list

# ---- into sub/ and back through ".." ----
press Return
# shellcheck disable=SC2086
await selector_sub.png list 0 $sub_list
cwd_is "$music/sub"
title_is "playtun - $music/sub"

press Return
# The bar is on the directory just left.
# shellcheck disable=SC2086
await - list 1 $top_list
cwd_is "$music"

# ---- the second song: the player screen, then Escape back to the list ----
press Down Down
# shellcheck disable=SC2086
await - list 3 $top_list
press Return
await selector_player.png player b.tun
title_is "playtun - b.tun"

press Escape
# shellcheck disable=SC2086
await selector_return.png list 3 $top_list
cwd_is "$music"

# ---- a broken song: its reason stays on the list until the next key ----
press Down Return
# shellcheck disable=SC2086
await selector_notice.png list 4 "n:?No SID-DUMP file  ERROR" $top_list
press Up
# shellcheck disable=SC2086
await - list 3 $top_list

# ---- Page Down: from the first song to the next, and back to the list ----
press Up Return
await - player a.tun
title_is "playtun - a.tun"
press Next
await - player b.tun
title_is "playtun - b.tun"
press Escape
# The bar stands on the song that was playing.
# shellcheck disable=SC2086
await - list 3 $top_list

# ---- Page Down past a folder's last song: the next folder's first ----
# In the selector's order sub/c.tun comes before a.tun, the first song of
# the folder that follows.
press Up Up Return
# shellcheck disable=SC2086
await - list 0 $sub_list
press Down Return
await - player c.tun
title_is "playtun - c.tun"
press Next
await - player a.tun
title_is "playtun - a.tun"
cwd_is "$music"
press Escape
# shellcheck disable=SC2086
await - list 2 $top_list

# ---- the mouse: a click puts the bar on a row, a click on the bar plays,
# a click on the player screen pauses, a double click enters a folder ----
# click_cell COLUMN ROW [REPEAT]: the middle of that text cell.
click_cell() {
    xdotool mousemove --window "$window" $(($1 * 8 + 4)) $(($2 * 8 + 4)) click --repeat "${3:-1}" --delay 100 1 ||
        fail "could not click cell $1,$2"
}
# The bar starts off a.tun, so that the first click only selects it.
press Down
# shellcheck disable=SC2086
await - list 3 $top_list
# Row 4 of the screen is the list's third entry, a.tun.
click_cell 40 4
# shellcheck disable=SC2086
await - list 2 $top_list
sleep 0.5  # the next click is a click of its own, no double click
click_cell 60 4
await selector_mouse_player.png player a.tun
click_cell 40 30
tries=0
until [ "$(import -window "$window" "$work/read.png" 2>/dev/null && convert "$work/read.png" ppm:"$work/read.ppm" &&
    "$checker" read "$work/read.ppm" 1 0 12 07)" = "Paused  a.tun" ]; do
    tries=$((tries + 1))
    [ $tries -ge 25 ] && fail "a click on the player screen did not pause the song"
    sleep 0.2
done
press Escape
# shellcheck disable=SC2086
await - list 2 $top_list
# Row 3 holds <sub>.
click_cell 10 3 2
# shellcheck disable=SC2086
await - list 0 $sub_list
cwd_is "$music/sub"
press Return
# shellcheck disable=SC2086
await - list 1 $top_list

# ---- Escape ends the program; it goes back to its starting directory ----
# The press alone ends the program, so its window may be gone before the
# release is sent: only the end of the program tells whether it worked.
xdotool key --window "$window" Escape 2>/dev/null
ends_within 5
[ "$status" -eq 0 ] || fail "Escape in the selector ended playtun with status $status"
[ -s "$work/sound.raw" ] || fail "nothing was played"

# ---- requests to quit in the list ----
start_selector() {
    (cd "$music" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" exec "$playtun") \
        >"$work/out.txt" 2>"$work/err.txt" &
}
quit_requests_end start_selector "playtun - $music" "$close_window"
echo "selector session: ok ($(($(date +%s) - started)) s)"
exit 0
