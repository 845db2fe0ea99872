#!/bin/sh
# Broken songs end every pipeline in the element's error, also under load:
# 200 runs of each pipeline while busy loops take every processor, each
# run bounded to 5 s. And where gst-launch-1.0 waits for ever after such an
# error, the element is not the cause: with late_main_loop preloaded (the
# error then comes before gst-launch-1.0's main loop runs, as it does now
# and then under load) gst-launch-1.0 waits after the element's error
# exactly as it does after typefind's own error for an empty file, where
# the element plays no part.
# Usage: error_races.sh PLUGIN_DIR ERROR_LOOP LATE_MAIN_LOOP SANITIZED
plugin_dir=$1 error_loop=$2 late_main_loop=$3 sanitized=$4
. "$(dirname "$0")/../support/shell_checks.sh"
plugin_dir=$(absolute "$plugin_dir") error_loop=$(absolute "$error_loop") late_main_loop=$(absolute "$late_main_loop")
enter_work_folder
export GST_PLUGIN_PATH="$plugin_dir" GST_REGISTRY="$work/registry.bin" GST_DEBUG_NO_COLOR=1
preload=
if [ "$sanitized" = ON ]; then
    # The plugin carries AddressSanitizer; the GStreamer programs do not.
    preload=$(cc -print-file-name=libasan.so)
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export ASAN_OPTIONS
fi
[ -n "$preload" ] && export LD_PRELOAD="$preload"
gst-inspect-1.0 tundec >/dev/null 2>&1 || { fail "gst-inspect-1.0 does not find tundec"; checks_done error_races; }

printf 'TQK\023\062\000\000\000\000\000\000\000\000\000\000\000' >header_only.tun
printf 'CQK\023\000\000\000\000\000\000\000\000\000\000\000\000123456' >no_frame_rate.tun
: >empty.tun

# Load: a busy loop for each processor, ended by its own id.
busy=
for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    busy="$busy $!"
done
trap 'kill $busy 2>/dev/null; rm -rf "$work"' EXIT
for pipeline in "filesrc location=header_only.tun ! decodebin ! fakesink" \
                "filesrc location=no_frame_rate.tun ! tundec ! fakesink"; do
    "$error_loop" "$pipeline" tundec 200 >loop.txt 2>&1 || fail "$pipeline: $(sort loop.txt | uniq -c | head -5)"
done
kill $busy
busy=

# gst_launch_ends FILE: whether gst-launch-1.0 with the main loop held back
# ends within 3 s on FILE through decodebin (it reports the error either way).
gst_launch_ends() {
    LD_PRELOAD="${preload:+$preload:}$late_main_loop" timeout 3 \
        gst-launch-1.0 -q filesrc location="$1" ! decodebin ! fakesink >launch.txt 2>&1
    status=$?
    grep -q "^ERROR: from element" launch.txt || fail "$1: gst-launch-1.0 reports no error ($(head -3 launch.txt))"
    [ "$status" != 124 ] && echo ends || echo waits
}
typefind=$(gst_launch_ends empty.tun)
grep -q "TypeFind" launch.txt || fail "empty.tun: the error is not typefind's ($(head -3 launch.txt))"
element=$(gst_launch_ends header_only.tun)
grep -q "TunDec" launch.txt || fail "header_only.tun: the error is not the element's ($(head -3 launch.txt))"
[ "$typefind" = "$element" ] ||
    fail "after an early error gst-launch-1.0 $typefind for typefind's and $element for the element's"
echo "with its main loop held back, gst-launch-1.0 $element after an error (typefind's or the element's)"

checks_done error_races
