#!/usr/bin/env bash
# Builds the web page into OUT (default build/web) with Debian's emscripten:
# CMake configured with emcmake builds the page's modules from the native
# build's libraries (web/CMakeLists.txt) in OUT.obj, and the page's own files
# are copied beside them:
#   tonera.wasm        libtonera alone, for the audio worklet (no JavaScript glue)
#   tonera_simd.wasm   the same with WebAssembly SIMD, where the browser has it
#   playtun.js         the console, the player screen and the selector, with the
#   playtun.wasm       bundled songs in its file system
#   sw.js              the service worker that keeps the page for offline visits,
#                      with manifest.webmanifest and its icons
set -euo pipefail
# Debian's emscripten finds its helpers (acorn) among Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
cd "$(dirname "$0")/.."
top=$(pwd)
out=${1:-$top/build/web}
work=$out.obj
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$out"
# The compiler's system libraries come with the Debian package.
emcmake cmake -S "$top" -B "$work" -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >/dev/null
cmake --build "$work" -j"$jobs" --target tonera tonera_simd playtun_page
cp "$work"/page/tonera.wasm "$work"/page/tonera_simd.wasm "$work"/page/playtun.js "$work"/page/playtun.wasm "$out/"
cp web/index.html web/page.js web/pointer.js web/worklet.js web/tonera_module.js web/controls.js web/media_session.js \
    web/play_list.js web/manifest.webmanifest web/song_fetch.js web/song_store.js web/wav_file.js \
    web/wav_worker.js "$out/"
cp packaging/playtun.svg "$out/icon.svg"
node web/make_icons.mjs "$out"
# The service worker's cache is named after the build, so a new build
# replaces what an earlier one left in a browser.
rm -f "$out/sw.js"
stamp=$(cd "$out" && cat ./*.html ./*.js ./*.wasm ./*.webmanifest | sha256sum | cut -c1-16)
sed "s/@BUILD@/$stamp/" web/sw.js >"$out/sw.js"
echo "The page is in $out"
