#!/bin/sh
# What the desktop learns from an install: the desktop entry is valid and
# opens .tun files, the file type is known by name and by content against a
# data folder that holds only what `cmake --install` put there, file(1)
# names songs with the magic fragment, and the icon is an SVG.
# Usage: desktop_files.sh BUILD_DIR SOURCE_DIR
build=$1 source=$2
. "$source/tests/support/shell_checks.sh"
build=$(absolute "$build") source=$(absolute "$source")
enter_work_folder

prefix=$work/prefix
cmake --install "$build" --component desktop --prefix "$prefix" >install.log 2>&1 || { cat install.log; exit 1; }
share=$prefix/share
for f in applications/playtun.desktop mime/packages/playtun-tun.xml icons/hicolor/scalable/apps/playtun.svg \
         icons/hicolor/scalable/mimetypes/audio-x-tun.svg playtun/tun.magic; do
    [ -s "$share/$f" ] || fail "not installed: share/$f"
done
expect 0 "desktop-file-validate" desktop-file-validate "$share/applications/playtun.desktop"
[ -s out.txt ] && fail "desktop-file-validate: $(cat out.txt)"
grep -qx 'MimeType=audio/x-tun;' "$share/applications/playtun.desktop" || fail "the desktop entry does not take audio/x-tun"
grep -q '<svg' "$share/icons/hicolor/scalable/apps/playtun.svg" || fail "the icon is no SVG"
xmllint --noout "$share/mime/packages/playtun-tun.xml" "$share/icons/hicolor/scalable/apps/playtun.svg" 2>xml.txt ||
    fail "not well-formed: $(cat xml.txt)"

# The data folder as a user's own, with the file type's database built.
expect 0 "update-mime-database" update-mime-database "$share/mime"
expect 0 "update-desktop-database" update-desktop-database "$share/applications"
export XDG_DATA_HOME="$share" XDG_DATA_DIRS=/usr/share XDG_CURRENT_DESKTOP=GNOME HOME=$work

cp "$source/songs/plain/meadow.tun" plain.tun
cp "$source/songs/chip/circuit.tun" chip_song_without_extension
printf 'TQK' >three_bytes.tun
echo "words" >words.txt
# file | type by name or content
while read -r name type; do
    expect 0 "xdg-mime query filetype $name" xdg-mime query filetype "$name"
    [ "$(cat out.txt)" = "$type" ] || fail "xdg-mime query filetype $name: '$(cat out.txt)', expected $type"
done <<'TABLE'
plain.tun audio/x-tun
chip_song_without_extension audio/x-tun
three_bytes.tun audio/x-tun
words.txt text/plain
TABLE
expect 0 "xdg-mime query default" xdg-mime query default audio/x-tun
[ "$(cat out.txt)" = playtun.desktop ] || fail "the default program for audio/x-tun: '$(cat out.txt)'"

# file(1) with the fragment: the variant, channels and frame rate.
# song | what file says
while IFS='|' read -r song says; do
    expect 0 "file $song" file -m "$share/playtun/tun.magic" "$source/$song"
    grep -qF "$says" out.txt || fail "file $song: '$(cat out.txt)', expected '$says'"
done <<'TABLE'
songs/plain/meadow.tun|playtun song, plain variant, 3 channels, 50 frames/s
songs/chip/circuit.tun|playtun song, chip variant, 6 channels, 50 frames/s
songs/lullaby.tun|playtun song, plain variant, 4 channels, 50 frames/s, compressed
songs/wide/panorama.tun|playtun song, plain variant, 8 channels, 50 frames/s
TABLE
printf 'CQK\001\074\000\000\000\000\000\000\000\000\000\000\000123456' >one.tun
expect 0 "file one.tun" file -m "$share/playtun/tun.magic" one.tun
grep -qF "playtun song, chip variant, 1 channel, 60 frames/s" out.txt || fail "file one.tun: '$(cat out.txt)'"
expect 0 "file --mime-type" file -m "$share/playtun/tun.magic" --mime-type -b one.tun
[ "$(cat out.txt)" = audio/x-tun ] || fail "file --mime-type: '$(cat out.txt)'"
expect 0 "file words.txt" file -m "$share/playtun/tun.magic" words.txt
grep -q playtun out.txt && fail "file names a text a song: $(cat out.txt)"

checks_done desktop_files
