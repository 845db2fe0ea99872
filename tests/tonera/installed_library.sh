#!/bin/sh
# libtonera as a user installs and uses it: `cmake --install` into a
# temporary prefix, then the example built with nothing but the installed
# header and `pkg-config --cflags --libs tonera` (and once more through
# `find_package(tonera)` against the static library), its raw output
# compared with record mode's WAV; the shared library exports exactly the
# functions the header declares, under its SONAME.
# Usage: installed_library.sh BUILD_DIR SOURCE_DIR PLAYTUN VERSION
build=$1 source=$2 playtun=$3 version=$4
. "$source/tests/support/shell_checks.sh"
build=$(absolute "$build") source=$(absolute "$source") playtun=$(absolute "$playtun")
enter_work_folder

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >install.log 2>&1 || { cat install.log; exit 1; }
pc=$(find "$prefix" -name tonera.pc)
[ -n "$pc" ] || { echo "FAIL: no tonera.pc installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
for f in "$prefix/include/tonera/tonera.h" "$libdir/libtonera.so.0" "$libdir/libtonera.a" \
         "$libdir/cmake/tonera/toneraConfig.cmake" "$libdir/cmake/tonera/toneraConfigVersion.cmake"; do
    [ -e "$f" ] || fail "not installed: ${f#$prefix/}"
done
[ "$(readelf -d "$libdir/libtonera.so.0" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')" = libtonera.so.0 ] ||
    fail "the SONAME is not libtonera.so.0"

# Exactly the functions the header declares leave the shared library.
sed -n 's/^TONERA_API [^(]*[ *]\(tonera_[a-z0-9_]*\)(.*/\1/p' "$prefix/include/tonera/tonera.h" | sort >declared.txt
nm -D --defined-only "$libdir/libtonera.so.0" | awk '$2 ~ /^[TDBR]$/ {sub(/@.*/, "", $3); print $3}' | sort >exported.txt
[ "$(wc -l <declared.txt)" -gt 30 ] || fail "too few declarations found in the header"
cmp -s declared.txt exported.txt || fail "exported symbols differ from the header: $(diff declared.txt exported.txt | tr '\n' ' ')"

# The versions agree: project, pkg-config, header.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion tonera)" = "$version" ] || fail "pkg-config version $(pkg-config --modversion tonera), not $version"
header_version=$(sed -n 's/^#define TONERA_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' "$prefix/include/tonera/tonera.h" | paste -sd.)
[ "$header_version" = "$version" ] || fail "header version $header_version, not $version"

# The example against the installed copy only: no path into the source tree.
cp "$source/examples/render.c" .
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror render.c $(pkg-config --cflags --libs tonera) -o render_shared ||
    fail "the example does not build with pkg-config"
mkdir consumer
cat >consumer/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(tonera REQUIRED)
add_executable(render_static render.c)
target_link_libraries(render_static PRIVATE tonera::tonera_static)
CMAKE
cp render.c consumer/
cmake -S consumer -B consumer/build -DCMAKE_PREFIX_PATH="$prefix" >consumer.log 2>&1 &&
    cmake --build consumer/build >>consumer.log 2>&1 || fail "find_package(tonera) consumer: $(tail -5 consumer.log)"
ldd consumer/build/render_static 2>/dev/null | grep -q libtonera && fail "the static consumer links the shared library"

for song in "$source/songs/chip/circuit.tun" "$source/songs/lullaby.tun" "$source/songs/wide/panorama.tun"; do
    name=$(basename "$song" .tun)
    "$playtun" "$song" "$name.wav" >/dev/null 2>&1 || fail "$name: record mode failed"
    for program in ./render_shared consumer/build/render_static; do
        LD_LIBRARY_PATH="$libdir" "$program" "$song" >"$name.raw" 2>err.txt || fail "$name: $program failed: $(cat err.txt)"
        raw=$(stat -c %s "$name.raw")
        [ "$raw" -gt 0 ] || { fail "$name: $program wrote nothing"; continue; }
        # Record mode may stop inside the last frame or run on past it:
        # compare what both have.
        wav=$(($(stat -c %s "$name.wav") - 44))
        common=$((raw < wav ? raw : wav))
        tail -c +45 "$name.wav" | head -c "$common" >wav.pcm
        head -c "$common" "$name.raw" | cmp -s - wav.pcm || fail "$name: $program's samples differ from record mode's"
    done
done
expect 1 "a broken song" env LD_LIBRARY_PATH="$libdir" ./render_shared "$source/songs/lullaby.txt"
grep -q "not a song file" err.txt || fail "a broken song is not named as such: $(cat err.txt)"

checks_done installed_library
