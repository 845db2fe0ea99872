#!/bin/sh
# The Debian packages as a user gets them: built from the sources by
# packaging/build_packages.sh (lintian errors fail it), installed on this
# machine with apt, used (the installed playtun, the plugins found by
# GStreamer, Audacious and VLC without help, the example built with the installed pkg-config
# file, the Python module with Debian's python3 and its example, the file
# type known to the desktop), and removed again.
# Installing needs root and a machine that has none of these packages yet
# (CI's throwaway machine): elsewhere the test is skipped (status 77).
# Usage: debian_packages.sh SOURCE_DIR OUT_DIR VERSION
source=$1 out=$2 version=$3
. "$source/tests/support/shell_checks.sh"
source=$(absolute "$source") out=$(absolute "$out")
packages="playtun libtonera0 libtonera-dev gstreamer1.0-tonera audacious-plugin-tonera vlc-plugin-tonera python3-tonera"
[ "$(id -u)" = 0 ] || { echo "debian_packages: skipped, installing packages needs root"; exit 77; }
for p in $packages; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        echo "debian_packages: skipped, $p is installed already and stays as it is"
        exit 77
    fi
done
enter_work_folder

sh "$source/packaging/build_packages.sh" "$source" "$out" >build.txt 2>&1 || { cat build.txt; exit 1; }
for p in $packages; do
    deb=$(ls "$out/${p}_${version}_"*.deb 2>/dev/null)
    [ -n "$deb" ] || { fail "no package $p $version in $out"; continue; }
    # The package's own facts: version, dependencies computed from the binaries.
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$p: version $(dpkg-deb -f "$deb" Version)"
    dpkg-deb -c "$deb" | grep -q "usr/share/doc/$p/copyright" || fail "$p: no copyright file"
done
[ "$failures" = 0 ] || checks_done debian_packages
dpkg-deb -f "$out"/playtun_*.deb Depends | grep -q "libsdl1.2" || fail "playtun does not depend on SDL: $(dpkg-deb -f "$out"/playtun_*.deb Depends)"
dpkg-deb -f "$out"/gstreamer1.0-tonera_*.deb Depends | grep -q "libtonera0 (>= $version)" ||
    fail "the plugin does not depend on libtonera0: $(dpkg-deb -f "$out"/gstreamer1.0-tonera_*.deb Depends)"
for p in audacious-plugin-tonera vlc-plugin-tonera; do
    dpkg-deb -f "$out"/${p}_*.deb Depends | grep -q "libtonera0 (>= $version)" ||
        fail "$p does not depend on libtonera0: $(dpkg-deb -f "$out"/${p}_*.deb Depends)"
done
dpkg-deb -f "$out"/audacious-plugin-tonera_*.deb Depends | grep -q "libaudcore" ||
    fail "the Audacious plugin does not depend on Audacious's library: $(dpkg-deb -f "$out"/audacious-plugin-tonera_*.deb Depends)"
dpkg-deb -f "$out"/vlc-plugin-tonera_*.deb Depends | grep -q "libvlccore" ||
    fail "the VLC plugin does not depend on VLC's library: $(dpkg-deb -f "$out"/vlc-plugin-tonera_*.deb Depends)"

# Installed for the whole machine, and removed on every way out.
trap 'apt-get remove --purge -y -qq $packages >/dev/null 2>&1; rm -rf "$work"' EXIT
expect 0 "apt install" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "$out"/playtun_*.deb "$out"/libtonera0_*.deb "$out"/libtonera-dev_*.deb "$out"/gstreamer1.0-tonera_*.deb \
    "$out"/audacious-plugin-tonera_*.deb "$out"/vlc-plugin-tonera_*.deb "$out"/python3-tonera_*.deb
[ "$failures" = 0 ] || { cat out.txt err.txt | tail -20; checks_done debian_packages; }

expect 0 "playtun --version" /usr/bin/playtun --version
grep -q "$version" out.txt || fail "playtun --version: $(cat out.txt)"
expect 0 "tuntool --version" /usr/bin/tuntool --version
[ -e /usr/share/man/man1/playtun.1.gz ] || fail "no man page for playtun"
expect 0 "the installed plugin" env -u GST_PLUGIN_PATH GST_REGISTRY="$work/registry.bin" gst-inspect-1.0 tundec
grep -Eq " (/usr)?/lib/[^ ]*gstreamer-1.0/libgsttonera.so" out.txt || fail "tundec is not the installed one: $(grep Filename out.txt)"

# The example against the installed library, and the installed plugin
# through decodebin: the same samples.
cp "$source/examples/render.c" .
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror render.c $(pkg-config --cflags --libs tonera) -o render ||
    fail "examples/render.c does not build with the installed pkg-config file"
ldd ./render | grep -Eq "libtonera.so.0 => (/usr)?/lib/" || fail "the example does not use the installed libtonera"
song=$source/songs/lullaby.tun
./render "$song" >render.raw 2>err.txt || fail "the example failed: $(cat err.txt)"
env -u GST_PLUGIN_PATH GST_REGISTRY="$work/registry.bin" timeout 60 gst-launch-1.0 -q filesrc location="$song" ! decodebin ! \
    audioconvert ! audio/x-raw,format=S16LE ! filesink location=gst.raw >launch.txt 2>&1 || fail "gst-launch-1.0: $(tail -3 launch.txt)"
[ -s render.raw ] && cmp -s render.raw gst.raw || fail "the installed plugin and library give different samples"

# The installed Audacious plugin, found by the installed Audacious.
mkdir home
cat >audacious.sh <<SESSION
. "$source/tests/support/shell_checks.sh"
. "$source/tests/plugins/audacious_session.sh"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
start_player "\$(command -v audacious)" || exit 1
play_to_file "$song" audacious || fail "Audacious did not end the song"
[ "\$(aud --playlist-tuple-data codec 1)" = "Tonera song" ] || fail "Audacious's codec: \$(aud --playlist-tuple-data codec 1)"
stop_player
[ "\$failures" = 0 ]
SESSION
timeout 120 dbus-run-session -- sh audacious.sh >audacious.txt 2>&1 || fail "Audacious: $(grep FAIL audacious.txt | head -3)"
python3 "$source/tests/plugins/wav_samples.py" audacious/lullaby.wav >audacious.raw
cmp -s render.raw audacious.raw || fail "the installed Audacious plugin and library give different samples"

# The installed VLC plugin, in the plugin cache the package's trigger
# rebuilt, played by cvlc (as nobody: VLC refuses root). VLC's stream
# output keeps back the last block of 4096 frames.
grep -q "libtonera_plugin" /usr/lib/*/vlc/plugins/plugins.dat || fail "the VLC plugin cache does not know the plugin"
chmod 777 "$work"
timeout 60 setpriv --reuid=nobody --regid=nogroup --clear-groups env -u VLC_PLUGIN_PATH HOME="$work" cvlc --no-interact \
    --sout "#std{access=file,mux=wav,dst=$work/vlc.wav}" "$song" vlc://quit >vlc.txt 2>&1 || fail "cvlc: $(tail -3 vlc.txt)"
python3 "$source/tests/plugins/wav_samples.py" vlc.wav >vlc.raw
got=$(stat -c %s vlc.raw) want=$(stat -c %s render.raw)
[ "$got" -gt 0 ] && [ $((want - got)) -ge 0 ] && [ $((want - got)) -lt $((4096 * 4)) ] && cmp -s -n "$got" vlc.raw render.raw ||
    fail "the installed VLC plugin and library give different samples ($got and $want bytes)"

# The Python module from the package, over the installed library, with
# nothing on the module path: the example's WAV holds the C example's samples.
dpkg-deb -f "$out"/python3-tonera_*.deb Depends | grep -q "libtonera0 (>= $version)" ||
    fail "python3-tonera does not depend on libtonera0: $(dpkg-deb -f "$out"/python3-tonera_*.deb Depends)"
expect 0 "the installed Python module" env -u PYTHONPATH -u TONERA_LIBRARY /usr/bin/python3 -c \
    'import tonera; print(tonera.__file__, tonera.version(), tonera._lib._name)'
grep -q "^/usr/lib/python3/dist-packages/tonera/__init__.py $version libtonera.so.0$" out.txt ||
    fail "the installed Python module: $(cat out.txt err.txt)"
expect 0 "examples/render.py" env -u PYTHONPATH -u TONERA_LIBRARY /usr/bin/python3 "$source/examples/render.py" "$song" python.wav
tail -c +45 python.wav | cmp -s - render.raw || fail "examples/render.py and examples/render.c give different samples"

# The file type, through the database the package's trigger rebuilt.
cp "$song" song.tun
[ "$(XDG_CURRENT_DESKTOP=GNOME HOME=$work xdg-mime query filetype song.tun)" = audio/x-tun ] ||
    fail "the installed file type is not known: $(XDG_CURRENT_DESKTOP=GNOME HOME=$work xdg-mime query filetype song.tun)"
file -m /usr/share/playtun/tun.magic song.tun | grep -q "playtun song" || fail "the installed magic fragment: $(file -m /usr/share/playtun/tun.magic song.tun)"

expect 0 "apt remove" env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq $packages
for f in /usr/bin/playtun /usr/lib/x86_64-linux-gnu/libtonera.so.0 /usr/share/mime/packages/playtun-tun.xml \
         /usr/lib/python3/dist-packages/tonera; do
    [ -e "$f" ] && fail "still there after the removal: $f"
done
ls /usr/lib/*/gstreamer-1.0/libgsttonera.so >/dev/null 2>&1 && fail "the plugin is still there after the removal"
ls /usr/lib/*/audacious/Input/tonera.so /usr/lib/*/vlc/plugins/demux/libtonera_plugin.so >/dev/null 2>&1 &&
    fail "the Audacious or VLC plugin is still there after the removal"
grep -q "libtonera_plugin" /usr/lib/*/vlc/plugins/plugins.dat && fail "the VLC plugin cache still knows the plugin after the removal"

checks_done debian_packages
