#!/bin/sh
# Builds the fuzzers with clang and runs them for DURATION seconds in all on
# copies of their seed corpora, so the committed corpora do not grow: a
# fifth of the time each for fuzz_song, fuzz_tonera, fuzz_score, fuzz_import
# and fuzz_song_list.
# Usage: fuzz/run_fuzz.sh DURATION [BUILD_DIR]
# Exits non-zero when a fuzzer finds a problem; the reproducer is left in
# BUILD_DIR/fuzz-findings.
set -eu

duration=${1:?usage: run_fuzz.sh DURATION [BUILD_DIR]}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${2:-${TMPDIR:-/tmp}/playtun-fuzz}
song_seconds=$((duration / 5))
tonera_seconds=$((duration / 5))
import_seconds=$((duration / 5))
list_seconds=$((duration / 5))
score_seconds=$((duration - song_seconds - tonera_seconds - import_seconds - list_seconds))

cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLAYTUN_FUZZ=ON -DPLAYTUN_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build_dir" -j2 --target fuzz_song

work="$build_dir/fuzz-corpus"
findings="$build_dir/fuzz-findings"
rm -rf "$work"
mkdir -p "$work" "$findings"
cp "$source_dir"/fuzz/corpus/song/* "$work"/

"$build_dir/fuzz/fuzz_song" -max_total_time="$song_seconds" -max_len=8192 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" -print_final_stats=1 "$work"

# The C API: open, render, seek and the setters in any order. Its seeds are
# the song seeds, each with a two-byte length in front and a short script
# of calls after it.
cmake --build "$build_dir" -j2 --target fuzz_tonera
tonera_work="$build_dir/fuzz-corpus-tonera"
rm -rf "$tonera_work"
mkdir -p "$tonera_work"
python3 - "$source_dir/fuzz/corpus/song" "$tonera_work" <<'SEEDS'
import os, sys
script = bytes([0, 0, 0, 0x10, 0,  2, 0, 0, 0, 3,  0, 0, 0, 0x20, 0,  4, 3,  6, 0, 0, 0x27, 0x10,
                0, 0, 0, 0x40, 0,  8, 3, 1, 0,  9,  7, 5,  3, 0, 0, 0x13, 0x88,  0, 0, 1, 0, 0])
for name in sorted(os.listdir(sys.argv[1])):
    song = open(os.path.join(sys.argv[1], name), 'rb').read()
    if len(song) > 0xFFFF:
        continue
    with open(os.path.join(sys.argv[2], name), 'wb') as out:
        out.write(len(song).to_bytes(2, 'big') + song + script)
SEEDS
"$build_dir/fuzz/fuzz_tonera" -max_total_time="$tonera_seconds" -max_len=16384 -rss_limit_mb=2048 \
  -timeout=20 -artifact_prefix="$findings/tonera-" -print_final_stats=1 "$tonera_work"

# The score compiler, seeded with the bundled scores, the benchmark score,
# the example score of docs/score.md and the regression cases in fuzz/corpus/score. A
# score may build a song of 1048576 frames of eight channels (48 MiB of
# records) and no more, so a larger allocation, more memory in all or a
# slow input is a finding.
cmake --build "$build_dir" -j2 --target fuzz_score

score_work="$build_dir/fuzz-corpus-score"
rm -rf "$score_work"
mkdir -p "$score_work"
cp "$source_dir"/fuzz/corpus/score/* "$source_dir"/bench/long8.txt "$score_work"/
find "$source_dir/songs" -name '*.txt' -exec cp {} "$score_work"/ \;

"$build_dir/fuzz/fuzz_score" -max_total_time="$score_seconds" -max_len=8192 -rss_limit_mb=1024 \
  -malloc_limit_mb=64 -timeout=20 -dict="$source_dir/fuzz/score.dict" \
  -artifact_prefix="$findings/score-" -print_final_stats=1 "$score_work"

# The importer's header reader and searches, seeded with tune headers, the
# spans of a routine called twice a frame and frames that loop after an
# intro (fuzz/corpus/import).
cmake --build "$build_dir" -j2 --target fuzz_import
import_work="$build_dir/fuzz-corpus-import"
rm -rf "$import_work"
mkdir -p "$import_work"
cp "$source_dir"/fuzz/corpus/import/* "$import_work"/
"$build_dir/fuzz/fuzz_import" -max_total_time="$import_seconds" -max_len=8192 -rss_limit_mb=1024 \
  -timeout=10 -artifact_prefix="$findings/import-" -print_final_stats=1 "$import_work"

# The selector's song facts and the play-list reader, seeded with an M3U, a
# PLS and the first bytes of songs (fuzz/corpus/song_list; the first byte
# chooses which reader takes the rest).
cmake --build "$build_dir" -j2 --target fuzz_song_list
list_work="$build_dir/fuzz-corpus-song-list"
rm -rf "$list_work"
mkdir -p "$list_work"
cp "$source_dir"/fuzz/corpus/song_list/* "$list_work"/
"$build_dir/fuzz/fuzz_song_list" -max_total_time="$list_seconds" -max_len=4096 -rss_limit_mb=1024 \
  -timeout=10 -artifact_prefix="$findings/song-list-" -print_final_stats=1 "$list_work"
