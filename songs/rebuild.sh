#!/usr/bin/env bash
# Rebuilds every bundled song from the score beside it (NAME.txt gives
# NAME.tun) with tuntool.
#   songs/rebuild.sh [BUILD_DIR]      BUILD_DIR defaults to build
set -euo pipefail
songs=$(cd "$(dirname "$0")" && pwd)
build=${1:-$songs/../build}
find "$songs" -name '*.txt' -print | sort | while read -r score; do
    "$build/tuntool" build "$score" "${score%.txt}.tun"
done
