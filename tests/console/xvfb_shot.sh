#!/bin/sh
# Shows the console demo in a real X window on a private Xvfb display, saves
# a screenshot of the window as a PNG, checks its pixels, then closes the
# demo with a key press that has to arrive through poll_key.
#
#   xvfb_shot.sh screen|font DEMO CHECKER OUTPUT_DIR
#
# Exit status 77 (skipped) when Xvfb is not installed.
set -u
mode=$1 demo=$2 checker=$3 outdir=$4
case $mode in
    screen) png=console_screen.png ;;
    font) png=font_sheet.png ;;
    *) echo "unknown mode $mode"; exit 2 ;;
esac

if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed: skipped"
    exit 77
fi

work=$(mktemp -d)
xvfb_pid=''
demo_pid=''
cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    # Wait for the server to go: a dying server removes its socket files and
    # would take them from the next server that gets the same number.
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to fd 3 once it
# accepts connections, so tests running side by side never share a server.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
tries=0
while [ ! -s "$work/display" ] && [ $tries -lt 100 ] && kill -0 "$xvfb_pid" 2>/dev/null; do
    sleep 0.1
    tries=$((tries + 1))
done
display=":$(head -n 1 "$work/display" 2>/dev/null)"
tries=0
while [ "$display" != ":" ] && [ $tries -lt 50 ] && ! DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ "$display" = ":" ] || [ $tries -ge 50 ]; then
    echo "could not start Xvfb"
    cat "$work/xvfb.log"
    exit 1
fi
export DISPLAY="$display"

"$demo" "$mode" 20 &
demo_pid=$!

window=$(timeout 10 xdotool search --sync --name "^playtun console $mode\$" | head -n 1)
if [ -z "$window" ]; then
    echo "the demo window did not appear on $display"
    exit 1
fi
# The demo refreshes every 50 ms; give it a few rounds to reach the window.
sleep 1

mkdir -p "$outdir"
import -window "$window" "$outdir/$png" || exit 1
convert "$outdir/$png" ppm:"$work/shot.ppm" || exit 1
echo "screenshot: $outdir/$png"
"$checker" "$mode" "$work/shot.ppm"
check_status=$?

xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key --window "$window" Escape
wait "$demo_pid"
demo_status=$?
demo_pid=''
if [ "$demo_status" -ne 0 ]; then
    echo "the demo did not end on the key press (status $demo_status)"
    exit 1
fi
exit "$check_status"
