#!/usr/bin/env bash
# Builds playtun on Debian 12, installing the Debian packages it lacks.
#   ./build.sh        build everything, then record the bundled songs to WAV
#   ./build.sh test   build everything and run every test (unit tests, whole-
#                     program tests, the GStreamer plugin, the Debian packages
#                     built, installed and removed, the sanitizer build, a
#                     short fuzz run and the web page in a headless browser)
#   ./build.sh web    build the web page into build/web, and the JavaScript
#                     module's package into build/js/tonera-VERSION.tgz
#   ./build.sh package  make the Debian packages in build/packages/
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
mode=${1:-main}
jobs=$(nproc 2>/dev/null || echo 2)

packages=(cmake make g++ pkg-config libsdl1.2-dev libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev xvfb xauth xfonts-base xdotool imagemagick x11-apps x11-utils sox
          libflac-dev flac python3 libsidplayfp-dev sidplayfp
          emscripten node-acorn chromium nodejs
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools gstreamer1.0-plugins-base
          gstreamer1.0-plugins-base-apps
          shared-mime-info desktop-file-utils xdg-utils libglib2.0-bin libxml2-utils file
          build-essential dpkg-dev debhelper lintian
          libncurses-dev tmux time
          audacious audacious-plugins audacious-dev dbus dbus-x11 libsystemd-dev playerctl
          vlc-bin vlc-plugin-base libvlccore-dev libvlc-dev
          python3-numpy python3-pip python3-setuptools python3-wheel dh-python)

install_missing_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    # npm comes with some builds of nodejs that conflict with Debian's npm.
    command -v npm >/dev/null 2>&1 || missing+=(npm)
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {  # build DIR [cmake options...]
    local dir=$1
    shift
    cmake -S "$top" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

# The web page from the same sources, with Debian's emscripten (its system
# libraries come prebuilt with the package).
build_web() {
    bash web/build_web.sh "$top/build/web"
}

install_missing_packages

case "$mode" in
web)
    build_web
    sh bindings/js/pack.sh build/web build/js >/dev/null
    echo "Serve it with: python3 -m http.server -d build/web  (then open http://localhost:8000/)"
    echo "The JavaScript module: $(ls build/js/tonera-*.tgz)"
    ;;
main)
    build build -DCMAKE_BUILD_TYPE=Release
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        # With a display: browse and play the bundled songs in the selector.
        echo "Opening the file selector on $top/songs (Escape leaves a song, Escape again ends)"
        (cd songs && ../build/playtun)
    else
        # Without a display: record every bundled song into a WAV file.
        mkdir -p build/recordings
        find songs -name '*.tun' | sort | while read -r song; do
            wav=$(echo "${song#songs/}" | tr / _)
            build/playtun "$song" "build/recordings/${wav%.tun}.wav"
        done
        echo "No display here: the bundled songs are recorded in $top/build/recordings/"
        ls -l build/recordings
    fi
    ;;
test)
    build build -DCMAKE_BUILD_TYPE=Release
    # ctest's debian_packages test builds the packages into build/packages,
    # installs them on this machine, uses them and removes them (as root on
    # a machine without them; skipped elsewhere).
    (cd build && ctest --output-on-failure -j"$jobs")
    # The unit tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DPLAYTUN_SANITIZE=ON -DPLAYTUN_BENCH=OFF
    (cd build-asan && ctest --output-on-failure -j"$jobs" -LE "xvfb|tmux")
    # Live playback under ThreadSanitizer: the audio thread and the screen
    # loop share state without locks, and no race may be reported.
    cmake -S "$top" -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYTUN_TSAN=ON -DPLAYTUN_BENCH=OFF >/dev/null
    cmake --build build-tsan -j"$jobs" --target playtun player_live_tests tonera_api_tests
    (cd build-tsan && ctest --output-on-failure -L tsan)
    # The song loader and decoder under libFuzzer for a minute.
    if ! bash fuzz/run_fuzz.sh "${FUZZ_SECONDS:-60}" "$top/build-fuzz" >build-fuzz.log 2>&1; then
        tail -n 40 build-fuzz.log
        echo "The fuzzer found a problem; see build-fuzz.log and build-fuzz/fuzz-findings/"
        exit 1
    fi
    grep -E "^(Done|stat::)" build-fuzz.log || true
    echo "Fuzzing: no finding in ${FUZZ_SECONDS:-60} seconds"
    # The web page in headless Chromium, against the native program.
    build_web
    (cd web && npm ci --no-audit --no-fund --silent)
    sh web/tests/run_web_tests.sh build/playtun build/web
    # The JavaScript module packed from the same build, installed from its
    # tarball, in Node and in the browser.
    sh tests/bindings/js_tests.sh build/playtun build/tuntool build/web
    ;;
package)
    # Built from the sources by Debian's tools in a build of their own.
    sh packaging/build_packages.sh "$top" "$top/build/packages"
    echo "Install them with: apt install ./build/packages/NAME.deb"
    ;;
*)
    echo "usage: $0 [test|web|package]" >&2
    exit 2
    ;;
esac
