#!/bin/sh
# Packs the JavaScript module with npm into OUT_DIR/tonera-VERSION.tgz: its
# own files and the two builds of libtonera's WebAssembly module from the
# web page's build (web/build_web.sh). The package's version must be the
# project's.
# Usage: pack.sh WEB_DIR OUT_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
web=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$(sed -n 's/^project(playtun VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
package_version=$(sed -n 's/^  "version": "\(.*\)",$/\1/p' "$here/package.json")
[ "$version" = "$package_version" ] ||
    { echo "pack.sh: bindings/js/package.json has version $package_version, the project $version" >&2; exit 1; }
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage"
cp "$here/package.json" "$here/README.md" "$here/tonera.js" "$here/tonera.d.ts" "$here/worklet.js" "$stage/"
cp "$web/tonera.wasm" "$web/tonera_simd.wasm" "$stage/"
rm -f "$out/tonera-$version.tgz"
(cd "$stage" && npm pack --silent --pack-destination "$out" >/dev/null)
rm -rf "$stage"
[ -f "$out/tonera-$version.tgz" ] || { echo "pack.sh: npm pack made no tonera-$version.tgz" >&2; exit 1; }
echo "$out/tonera-$version.tgz"
