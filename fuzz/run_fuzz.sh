#!/bin/sh
# Builds fuzz_song with clang and runs it for DURATION seconds on a copy of
# the seed corpus, so the committed corpus does not grow.
# Usage: fuzz/run_fuzz.sh DURATION [BUILD_DIR]
# Exits non-zero when the fuzzer finds a crash; the reproducer is left in
# BUILD_DIR/fuzz-findings.
set -eu

duration=${1:?usage: run_fuzz.sh DURATION [BUILD_DIR]}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${2:-${TMPDIR:-/tmp}/playtun-fuzz}

cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLAYTUN_FUZZ=ON -DPLAYTUN_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build_dir" -j2 --target fuzz_song

work="$build_dir/fuzz-corpus"
findings="$build_dir/fuzz-findings"
rm -rf "$work"
mkdir -p "$work" "$findings"
cp "$source_dir"/fuzz/corpus/song/* "$work"/

"$build_dir/fuzz/fuzz_song" -max_total_time="$duration" -max_len=8192 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" -print_final_stats=1 "$work"
