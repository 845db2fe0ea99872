#!/usr/bin/env bash
# Builds the web page into OUT (default build/web) with Debian's emscripten:
#   tonera.wasm   libtonera alone, for the audio worklet (no JavaScript glue)
#   playtun.js    the console, the player screen and the selector, with the
#   playtun.wasm  bundled songs in its file system
# and copies the page's own files beside them.
set -euo pipefail
# Debian's emscripten finds its helpers (acorn) among Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
cd "$(dirname "$0")/.."
top=$(pwd)
out=${1:-$top/build/web}
work=$out.obj
mkdir -p "$out" "$work/font_art" "$work/songs"
# The compiler's system libraries come with the Debian package; a cache of
# our own under build/ is used only if the package's cannot be.
version=$(sed -nE 's/^project\(playtun VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
flags=(-DTONERA_VERSION_TEXT=\"$version\" -std=c++20 -O2 -Wall -Wextra -I"$top/include" -I"$top/src" -I"$work/font_art")

# The font as the native build pastes it (src/console/CMakeLists.txt).
{ printf 'constexpr char font_art[] = R"font_art('; cat src/console/font.txt; printf ')font_art";\n'; } \
    >"$work/font_art/font_art.inc.new"
cmp -s "$work/font_art/font_art.inc.new" "$work/font_art/font_art.inc" 2>/dev/null ||
    mv "$work/font_art/font_art.inc.new" "$work/font_art/font_art.inc"

engine=(src/tonera/tonera.cpp src/text/cp437.cpp src/synth/tables.cpp src/synth/engine.cpp src/synth/waves.cpp
        src/synth/frame_tick.cpp src/synth/mixer.cpp src/synth/lane_mixer_vector.cpp src/synth/render_length.cpp src/synth/fade_curve.cpp
        src/song/format.cpp src/song/song.cpp src/song/aplib.cpp)
screens=(src/console/raster.cpp src/console/text.cpp src/console/font.cpp
         src/player/displays.cpp src/player/keys.cpp src/player/player_screen.cpp src/player/song_opening.cpp
         src/selector/dir_scan.cpp src/selector/selector_screen.cpp
         src/base/fail.cpp src/base/messages.cpp src/base/whole_file.cpp src/base/stop_signals.cpp
         src/audio/wav_header.cpp web/src/page.cpp)

# Objects are rebuilt when their source or any header is newer.
newest_header=$(find include src web/src -name '*.h*' -newer "$work/.stamp" 2>/dev/null | head -1 || true)
objects() {  # objects ARRAY SOURCE...: compiles what is out of date, names the objects in ARRAY
    local -n list=$1
    shift
    list=()
    local src obj
    for src in "$@"; do
        obj=$work/$(echo "$src" | tr / _).o
        if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$newest_header" ] || [ "$work/font_art/font_art.inc" -nt "$obj" ]; then
            em++ "${flags[@]}" -c "$src" -o "$obj"
        fi
        list+=("$obj")
    done
}
objects engine_objs "${engine[@]}"
objects screen_objs "${screens[@]}"
touch "$work/.stamp"

api=$(grep -oE "^TONERA_API [^(]*\(" include/tonera/tonera.h | sed -E 's/.*[ *](tonera_[a-z0-9_]+)\($/"_\1"/' | paste -sd, -)

# libtonera for the worklet: a bare module whose few imports the page's
# loader gives.
em++ -O2 "${engine_objs[@]}" -o "$out/tonera.wasm" --no-entry -sSTANDALONE_WASM \
    -sALLOW_MEMORY_GROWTH -sEXPORTED_FUNCTIONS="[$api,\"_malloc\",\"_free\"]"

# The bundled songs, as the selector lists them: folders and .tun files.
rm -rf "$work/songs" && mkdir -p "$work/songs"
(cd songs && find . -type d -exec mkdir -p "$work/songs/{}" \; && find . -iname '*.tun' -exec cp {} "$work/songs/{}" \;)

em++ -O2 "${screen_objs[@]}" "${engine_objs[@]}" -o "$out/playtun.js" \
    -sMODULARIZE -sEXPORT_ES6 -sEXPORT_NAME=createPlaytun -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH -sFORCE_FILESYSTEM \
    -sEXPORTED_RUNTIME_METHODS='["FS","UTF8ToString","stringToUTF8","HEAPU8"]' \
    -sEXPORTED_FUNCTIONS='["_malloc","_free"]' --embed-file "$work/songs@/songs"

cp web/index.html web/page.js web/worklet.js web/tonera_module.js "$out/"
echo "The page is in $out"
