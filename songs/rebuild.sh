#!/usr/bin/env bash
# Rebuilds every bundled song from the score beside it (NAME.txt gives
# NAME.tun) with tuntool, and every imported song from the PSID tune beside
# it (NAME.sid gives NAME.tun).
#   songs/rebuild.sh [BUILD_DIR]      BUILD_DIR defaults to build
set -euo pipefail
songs=$(cd "$(dirname "$0")" && pwd)
build=${1:-$songs/../build}
find "$songs" -name '*.txt' -print | sort | while read -r score; do
    "$build/tuntool" build "$score" "${score%.txt}.tun"
done
find "$songs" -name '*.sid' -print | sort | while read -r tune; do
    "$build/tuntool" import "$tune" "${tune%.sid}.tun"
done
