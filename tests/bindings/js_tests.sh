#!/bin/sh
# The JavaScript module as users get it: packed with npm from the web
# page's build, installed from the tarball into a new project with no
# registry, then tested in Node (js_module.test.mjs) and, as an audio
# worklet node, in headless Chromium (js_worklet.test.mjs, with the web
# tests' playwright-core), against record mode and tuntool render; and
# examples/render.mjs run from the project, its WAV compared with record
# mode's.
# Usage: js_tests.sh PLAYTUN TUNTOOL WEB_DIR
playtun=$1 tuntool=$2 web=$3
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
. "$top/tests/support/shell_checks.sh"
playtun=$(absolute "$playtun") tuntool=$(absolute "$tuntool") web=$(absolute "$web")
enter_work_folder
version=$(sed -n 's/^project(playtun VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")

sh "$top/bindings/js/pack.sh" "$web" "$work/pack" >pack.txt 2>&1 || { cat pack.txt; exit 1; }
mkdir app
echo '{ "name": "tonera-user", "private": true, "type": "module" }' >app/package.json
(cd app && npm install --offline --no-audit --no-fund --silent "$work/pack/tonera-$version.tgz") >npm.txt 2>&1 ||
    { cat npm.txt; exit 1; }
package=$work/app/node_modules/tonera
for f in tonera.js tonera.d.ts worklet.js tonera.wasm tonera_simd.wasm; do
    [ -f "$package/$f" ] || fail "the installed package has no $f"
done

mkdir native
(cd "$top/songs" && find . -iname '*.tun' | sort) | while read -r song; do
    name=$(echo "${song#./}" | tr / _)
    "$playtun" "$top/songs/${song#./}" "native/${name%.*}.wav" >/dev/null 2>&1 || echo "record mode failed on $song" >>record.txt
done
[ -s record.txt ] && fail "$(cat record.txt)"

(cd "$top" && SONGS="$top/songs" TUNTOOL="$tuntool" TONERA_PACKAGE="$package" TONERA_NATIVE="$work/native" \
    TONERA_EXPECTED_VERSION="$version" PLAYTUN_WEB_TOP="$top" \
    node --test --test-concurrency=1 tests/bindings/js_module.test.mjs tests/bindings/js_worklet.test.mjs) ||
    fail "the module's tests"

cp "$top/examples/render.mjs" app/
for name in lullaby chip_circuit; do
    song=$top/songs/$(echo "$name" | tr _ /).tun
    expect 0 "render.mjs $name" node app/render.mjs "$song" "$name.wav"
    size=$(($(stat -c %s "$name.wav") - 44))
    recorded=$(($(stat -c %s "native/$name.wav") - 44))
    common=$((size < recorded ? size : recorded))
    [ "$size" -gt 0 ] && [ $((size - common)) -lt 4096 ] || fail "$name: render.mjs wrote $size bytes of samples, record mode $recorded"
    cmp -s -i 20:20 -n 16 "$name.wav" "native/$name.wav" || fail "$name: render.mjs's format differs from record mode's"
    tail -c +45 "native/$name.wav" | head -c "$common" >expected.pcm
    tail -c +45 "$name.wav" | head -c "$common" | cmp -s - expected.pcm || fail "$name: render.mjs's samples differ from record mode's"
done
expect 1 "render.mjs on a text" node app/render.mjs "$top/songs/lullaby.txt" text.wav
grep -q "not a song file" err.txt || fail "render.mjs on a text: $(cat err.txt)"

checks_done js_module
