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

. "$(dirname "$0")/../support/xvfb_session.sh"
xvfb_session_start xdotool import convert

"$demo" "$mode" 20 &
app_pid=$!

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
wait "$app_pid"
demo_status=$?
app_pid=''
if [ "$demo_status" -ne 0 ]; then
    echo "the demo did not end on the key press (status $demo_status)"
    exit 1
fi
exit "$check_status"
