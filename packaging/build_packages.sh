#!/bin/sh
# Builds the Debian packages of the project with Debian's own tools
# (dpkg-buildpackage and debhelper, dependencies from the binaries), in a
# build of their own, and checks them with lintian: any error fails.
# The version is the project's (CMakeLists.txt).
# Usage: build_packages.sh SOURCE_DIR OUT_DIR   (the .deb files go to OUT_DIR)
set -eu
source=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$(sed -n 's/^project(playtun VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ -n "$version" ] || { echo "build_packages.sh: no version in $source/CMakeLists.txt" >&2; exit 1; }

# The source package tree: the project's files (no build folders) with the
# Debian folder at the top.
tree=$out/tree/playtun-$version
rm -rf "$out/tree"
mkdir -p "$tree"
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./packaging/debian -cf - . | tar -C "$tree" -xf -
cp -r "$source/packaging/debian" "$tree/debian"
cat >"$tree/debian/changelog" <<CHANGELOG
playtun ($version) unstable; urgency=medium

  * Release $version.

 -- playtun maintainers <maintainers@users.noreply.c-seed-59508ba6.example>  $(date -R -d @"${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct 2>/dev/null || date +%s)}")
CHANGELOG

jobs=$(nproc 2>/dev/null || echo 2)
(cd "$tree" && dpkg-buildpackage -b -uc -us -j"$jobs") >"$out/build.log" 2>&1 || {
    tail -n 40 "$out/build.log"
    echo "build_packages.sh: dpkg-buildpackage failed; see $out/build.log" >&2
    exit 1
}
rm -f "$out"/*.deb
mv "$out"/tree/*.deb "$out/"
lintian --fail-on error --suppress-tags-from-file /dev/null "$out"/*.deb >"$out/lintian.log" 2>&1 || {
    cat "$out/lintian.log"
    echo "build_packages.sh: lintian reports errors" >&2
    exit 1
}
grep -c . "$out/lintian.log" >/dev/null && sed 's/^/lintian: /' "$out/lintian.log" || true
ls "$out"/*.deb
