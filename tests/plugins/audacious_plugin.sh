#!/bin/sh
# The Audacious plugin as Audacious itself runs it: headless, on a D-Bus
# session of its own, driven with audtool, its sound written by the file
# writer output plugin. The WAV of each song equals libtonera's samples
# (with the plugin's loop count and fade too, and without end under
# repeat); audtool shows the tags and the length; a seek lands on the song
# frame it names; garbled files end in an error naming their problem, and
# Audacious lives on. Every player run has a time limit.
# Audacious finds its plugins beside its program: the session runs a copy
# of it in a folder tree that holds the system's plugins and PLUGIN.
# Usage: audacious_plugin.sh SOURCE_DIR PLUGIN TUNTOOL FROM_FRAME
if [ -z "${TONERA_DBUS_SESSION:-}" ]; then
    TONERA_DBUS_SESSION=1 exec timeout 300 dbus-run-session -- sh "$0" "$@"
fi
source=$1 plugin=$2 tuntool=$3 from_frame=$4
. "$source/tests/support/shell_checks.sh"
source=$(absolute "$source") plugin=$(absolute "$plugin") tuntool=$(absolute "$tuntool") from_frame=$(absolute "$from_frame")
enter_work_folder
samples() { python3 "$source/tests/plugins/wav_samples.py" "$1"; }

# The private installation: the program, the system's plugins, this one.
system_plugins=$(pkg-config --variable=plugin_dir audacious)
libdir=${system_plugins%/audacious}
tree=$work/tree$libdir/audacious
mkdir -p "$work/tree/usr/bin" "$work/home"
cp "$(command -v audacious)" "$work/tree/usr/bin/audacious"
for kind in "$system_plugins"/*; do
    mkdir -p "$tree/${kind##*/}"
    for p in "$kind"/*.so; do [ "${p##*/}" = tonera.so ] || ln -s "$p" "$tree/${kind##*/}/"; done
done
ln -s "$plugin" "$tree/Input/tonera.so"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local"
. "$source/tests/plugins/audacious_session.sh"
start_player "$work/tree/usr/bin/audacious" || checks_done audacious_plugin

# Every song once through, then loop counts and fades, as tuntool renders them.
n=0
# song | tonera:loops | tonera:fade (seconds) | tuntool render's options
while IFS='|' read -r song loops fade options; do
    n=$((n + 1))
    aud --config-set tonera:loops "$loops"
    aud --config-set tonera:fade "$fade"
    play_to_file "$source/$song" "out$n" || { fail "$song: $(tail -3 player.log)"; continue; }
    # shellcheck disable=SC2086
    "$tuntool" render -q $options -o ref.wav "$source/$song" || fail "$song: tuntool render $options"
    samples ref.wav >expected.raw
    samples "out$n/$(basename "$song" .tun).wav" >got.raw || fail "$song: no 16-bit WAV written"
    [ -s expected.raw ] && cmp -s got.raw expected.raw ||
        fail "$song loops=$loops fade=$fade: $(stat -c %s got.raw) bytes, libtonera $(stat -c %s expected.raw), or other samples"
done <<'TABLE'
songs/lullaby.tun|1|0|--loops 1
songs/chip/circuit.tun|1|0|--loops 1
songs/plain/meadow.tun|1|0|--loops 1
songs/wide/panorama.tun|1|0|--loops 1
songs/imported/guyshavitt-dustandrust.tun|1|0|--loops 1
songs/imported/vent-arkijuusto.tun|1|0|--loops 1
songs/imported/scarzix-cheese-around-the-clock.tun|1|0|--loops 1
songs/chip/circuit.tun|3|0|--loops 3
songs/lullaby.tun|2|4.5|--loops 2 --fade 4.5
TABLE
aud --config-set tonera:loops 1
aud --config-set tonera:fade 0

# With repeat on, a song with a loop section plays it without end: the file
# grows past the song once through, and holds the song repeating.
once=$("$tuntool" render -q --loops 1 -o - "$source/songs/chip/circuit.tun" | wc -c)
aud --playlist-repeat-toggle
aud --config-get repeat | grep -q TRUE || fail "repeat is not on: $(aud --config-get repeat)"
aud --playlist-clear
mkdir repeat
aud --config-set filewriter:file_path "file://$work/repeat"
aud --playlist-addurl "$source/songs/chip/circuit.tun"
aud --playback-play
for _ in $(seq 200); do
    [ "$(stat -c %s repeat/circuit.wav 2>/dev/null || echo 0)" -gt $((once + 4 * 48000)) ] && break
    sleep 0.05
done
aud --playback-stop
aud --playlist-repeat-toggle
samples repeat/circuit.wav >got.raw
seconds=$(($(stat -c %s got.raw) / 4 / 48000 + 2))
"$tuntool" render -q --length "$seconds" -o ref.wav "$source/songs/chip/circuit.tun"
samples ref.wav >expected.raw
[ "$(stat -c %s got.raw)" -gt "$once" ] && cmp -s -n "$(stat -c %s got.raw)" got.raw expected.raw ||
    fail "with repeat on: $(stat -c %s got.raw) bytes (once through: $once) or not the song repeating"

# Tags and lengths as audtool shows them. A length of "rendered" is that of
# libtonera's rendering once through, in milliseconds rounded down.
aud --playlist-clear
# song | field | value
while IFS='|' read -r song field value; do
    aud --playlist-clear
    aud --playlist-addurl "$source/$song"
    if [ "$value" = rendered ]; then
        value=$(($("$tuntool" render -q --loops 1 -o - "$source/$song" | wc -c) / 4 * 1000 / 48000))
    fi
    # The tags are read in the background after the song is added.
    for _ in $(seq 100); do
        [ -n "$(aud --playlist-tuple-data length 1)" ] && break
        sleep 0.05
    done
    got=$(aud --playlist-tuple-data "$field" 1)
    [ "$got" = "$value" ] || fail "$song: $field '$got', expected '$value'"
done <<'TABLE'
songs/imported/guyshavitt-dustandrust.tun|title|Dust and Rust
songs/imported/guyshavitt-dustandrust.tun|artist|Guy Shavitt
songs/imported/guyshavitt-dustandrust.tun|copyright|X2014
songs/imported/guyshavitt-dustandrust.tun|year|2014
songs/imported/guyshavitt-dustandrust.tun|length|126220
songs/imported/vent-arkijuusto.tun|title|arkijuusto (toinen siivu)
songs/imported/vent-arkijuusto.tun|artist|vent
songs/imported/vent-arkijuusto.tun|length|138110
songs/lullaby.tun|length|rendered
songs/plain/meadow.tun|comment|Meadow - lead, bass and drums on three plain channels
songs/plain/meadow.tun|title|meadow
TABLE

# Garbled songs: playing one names its problem in Audacious's error, and
# Audacious goes on (the next song plays).
printf 'TQK\023\062\000\000\000\000\000\000\000\000\000\000\000' >header_only.tun
printf 'TQK\000\062\000\000\000\000\000\000\000\000\000\000\000123456' >no_channels.tun
head -c 300 "$source/songs/lullaby.tun" >cut_in_body.tun
echo "Just some words." >words.tun
# file | what the error says ("-": no decoder takes it)
while IFS='|' read -r name message; do
    before=$(wc -l <player.log)
    aud --playlist-clear
    aud --playlist-addurl "$work/$name"
    aud --playback-play
    wait_stopped 20 || fail "$name: still playing after 20 s"
    aud --version >/dev/null || { fail "$name: Audacious is gone"; break; }
    tail -n +$((before + 1)) player.log >errors.txt
    if [ "$message" != - ]; then
        grep -q "$name is not a song that can be played: $message" errors.txt ||
            fail "$name: no error '$message' ($(grep -m1 ERROR errors.txt))"
    fi
done <<'TABLE'
header_only.tun|not a song file
no_channels.tun|channel count
cut_in_body.tun|decompress
words.tun|-
TABLE

# A seek, made with the song paused before its first sound: the file holds
# the song from the start of the song frame at or before the time asked.
aud --playlist-clear
aud --playlist-addurl "$source/songs/imported/guyshavitt-dustandrust.tun"
mkdir seek
aud --config-set filewriter:file_path "file://$work/seek"
stop_player
sed -i 's/^playing .*/playing 0/; s/^position .*/position 0/; s/^resume-state .*/resume-state 1/; s/^resume-time .*/resume-time 0/' \
    "$XDG_CONFIG_HOME/audacious/playlist-state"
start_player "$work/tree/usr/bin/audacious" || checks_done audacious_plugin
[ "$(aud --playback-status)" = paused ] || fail "the resumed song is not paused: $(aud --playback-status)"
aud --playback-seek 61.37
aud --playback-play
wait_stopped 60 || fail "the seek: still playing after 60 s"
# 50 song frames a second: 61.37 s is within frame 3068 (61.36 s).
"$from_frame" "$source/songs/imported/guyshavitt-dustandrust.tun" 3068 >expected.raw
samples seek/guyshavitt-dustandrust.wav >got.raw
[ -s expected.raw ] && cmp -s got.raw expected.raw || fail "the seek to 61.37 s: $(stat -c %s got.raw) bytes, from frame 3068 $(stat -c %s expected.raw)"
aud --config-set resume_playback_on_startup FALSE
stop_player

checks_done audacious_plugin
