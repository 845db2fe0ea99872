#!/bin/sh
# The tags of rendered files as other programs read them: FLAC Vorbis
# comments through metaflac, the WAV LIST/INFO chunk of --tags byte by byte
# with its samples decoded by sox, and WAV output without --tags exactly
# record mode's.
#
#   tuntool_tags.sh TUNTOOL PLAYTUN SONGS_DIR
#
# Exit status 77 (skipped) without metaflac or sox.
set -u
tuntool=$1 playtun=$2 songs=$3
. "$(dirname "$0")/../support/shell_checks.sh"
tuntool=$(absolute "$tuntool") playtun=$(absolute "$playtun") songs=$(absolute "$songs")
command -v metaflac >/dev/null 2>&1 && command -v sox >/dev/null 2>&1 || { echo "no metaflac or sox: skipped"; exit 77; }
enter_work_folder

# song NAME TEXT: a short song with that text (the score's text directive
# is left out when TEXT is empty).
song() {
    {
        echo "variant plain"
        [ -n "$2" ] && echo "text \"$2\""
        cat <<'SCORE'
rate 50
tempo 6
channels 1
instrument lead vol=200 pan=C
pattern p
  1: @lead C-4 . E-4 . G-4 . C-5 .
play p
SCORE
    } >"$1.txt"
    "$tuntool" build "$1.txt" "$1.tun" >/dev/null 2>&1 || fail "$1: the score does not build"
}

imported=$songs/imported/scarzix-cheese-around-the-clock.tun
cp "$imported" imported.tun
song titled "Stand by Me by Ann Other, 1990 Label"
song unreleased "Only Title by Someone"
song sentence "Lullaby - a small waltz, stored plane by plane"
song untitled ""
# The same sentence with a byte of code page 437 in it: 0x82 is e acute.
cp sentence.tun accented.tun
printf '\202' | dd of=accented.tun bs=1 seek=$((16 + 8)) conv=notrunc 2>/dev/null

# ---- FLAC: Vorbis comments read back by metaflac ----
for case in "imported|TITLE=Cheese Around The Clock;ARTIST=Carsten Berggreen (Scarzix);DATE=2013 (SRX/Offence)" \
            "titled|TITLE=Stand by Me;ARTIST=Ann Other;DATE=1990 Label" \
            "unreleased|TITLE=Only Title;ARTIST=Someone" \
            "sentence|COMMENT=Lullaby - a small waltz, stored plane by plane" \
            "accented|COMMENT=Lullaby $(printf '\303\251') a small waltz, stored plane by plane" \
            "untitled|"; do
    name=${case%%|*} tags_wanted=$(printf '%s' "${case#*|}" | tr ';' '\n')
    expect 0 "$name.flac" "$tuntool" render -q --length 0.5 -o "$name.flac" "$name.tun"
    tags_read=$(metaflac --export-tags-to=- "$name.flac")
    [ "$tags_read" = "$tags_wanted" ] || fail "$name.flac: tags '$tags_read', expected '$tags_wanted'"
done
"$tuntool" render -q --length 0.5 --format flac -o - titled.tun 2>/dev/null >piped.flac
[ "$(metaflac --export-tags-to=- piped.flac | head -1)" = "TITLE=Stand by Me" ] || fail "a FLAC stream lacks the tags"
expect 0 "--tags on FLAC" "$tuntool" render -q --length 0.5 --tags -o tagged.flac titled.tun
cmp -s tagged.flac titled.flac || fail "--tags changed a FLAC file"

# ---- WAV: without --tags record mode's bytes ----
for name in imported titled; do
    "$playtun" "$name.tun" "$name-recorded.wav" >/dev/null 2>&1 || fail "$name: record mode failed"
    expect 0 "$name.wav" "$tuntool" render -q -o "$name.wav" "$name.tun"
    cmp -s "$name.wav" "$name-recorded.wav" || fail "$name.wav without --tags differs from record mode's"
done

# ---- WAV with --tags: the LIST chunk between the format chunk and the samples ----
# info ID TEXT: one INFO entry, its text ending in NUL and padded to an even size.
info() {
    size=$((${#2} + 1))
    printf '%s' "$1"
    printf "\\$(printf %03o $((size & 255)))\\$(printf %03o $((size >> 8)))\\000\\000"
    printf '%s\000' "$2"
    [ $((size % 2)) = 0 ] || printf '\000'
}
# le32 N: N as four little-endian bytes.
le32() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))\\$(printf %03o $(($1 >> 16 & 255)))\\$(printf %03o $(($1 >> 24)))"; }
for case in "imported|INAM|Cheese Around The Clock|IART|Carsten Berggreen (Scarzix)|ICRD|2013 (SRX/Offence)" \
            "unreleased|INAM|Only Title|IART|Someone" \
            "sentence|ICMT|Lullaby - a small waltz, stored plane by plane"; do
    name=${case%%|*}
    rest=${case#*|}
    : >entries.bin
    while [ -n "$rest" ]; do
        id=${rest%%|*} rest=${rest#*|}
        text=${rest%%|*}
        case $rest in *"|"*) rest=${rest#*|} ;; *) rest= ;; esac
        info "$id" "$text" >>entries.bin
    done
    { printf LIST; le32 $(($(wc -c <entries.bin) + 4)); printf INFO; cat entries.bin; } >chunk.bin
    chunk=$(wc -c <chunk.bin)
    expect 0 "$name.wav --tags" "$tuntool" render -q --length 0.5 --tags -o "$name-tagged.wav" "$name.tun"
    "$tuntool" render -q --length 0.5 -o "$name-plain.wav" "$name.tun"
    tagged=$name-tagged.wav plain=$name-plain.wav
    [ "$(wc -c <"$tagged")" = $(($(wc -c <"$plain") + chunk)) ] || fail "$name: --tags did not add just the chunk"
    dd if="$tagged" bs=1 skip=36 count="$chunk" 2>/dev/null | cmp -s - chunk.bin ||
        fail "$name: the LIST chunk: $(dd if="$tagged" bs=1 skip=36 count="$chunk" 2>/dev/null | od -c | head -5)"
    { printf RIFF; le32 $(($(wc -c <"$tagged") - 8)); } | cmp -s -n 8 - "$tagged" ||
        fail "$name: the RIFF size is not the file's size - 8"
    cmp -s -i 8:8 -n 28 "$tagged" "$plain" ||
        fail "$name: the format chunk differs from the plain WAV's"
    [ "$(dd if="$tagged" bs=1 skip=$((36 + chunk)) count=4 2>/dev/null)" = data ] || fail "$name: no data chunk after the LIST chunk"
    sox "$tagged" -t s16 tagged.raw && sox "$plain" -t s16 plain.raw && cmp -s tagged.raw plain.raw && [ -s plain.raw ] ||
        fail "$name: sox decodes other samples from the tagged WAV"
done
"$tuntool" render -q --length 0.5 --tags -o - imported.tun 2>/dev/null | cat >piped.wav
cmp -s piped.wav imported-tagged.wav || fail "--tags through a pipe gave other bytes than the file"
expect 0 "--tags without a text" "$tuntool" render -q --tags -o untitled-tagged.wav untitled.tun
"$tuntool" render -q -o untitled.wav untitled.tun
cmp -s untitled-tagged.wav untitled.wav || fail "--tags added a chunk to a song without text"

# ---- stems: each file says which voice it holds ----
# song, stem, the tags metaflac reads back
mkdir stems
for case in "imported|2|TITLE=Cheese Around The Clock (voice 2);ARTIST=Carsten Berggreen (Scarzix);DATE=2013 (SRX/Offence);TRACKNUMBER=2" \
            "titled|1|TITLE=Stand by Me (voice 1);ARTIST=Ann Other;DATE=1990 Label;TRACKNUMBER=1" \
            "sentence|1|TITLE=voice 1;COMMENT=Lullaby - a small waltz, stored plane by plane;TRACKNUMBER=1"; do
    name=${case%%|*} rest=${case#*|}
    stem=${rest%%|*} tags_wanted=$(printf '%s' "${rest#*|}" | tr ';' '\n')
    expect 0 "$name stems" "$tuntool" render -q --length 0.5 --stems -o "stems/$name.flac" "$name.tun"
    tags_read=$(metaflac --export-tags-to=- "stems/$name-$stem.flac")
    [ "$tags_read" = "$tags_wanted" ] || fail "$name-$stem.flac: tags '$tags_read', expected '$tags_wanted'"
done
expect 0 "WAV stems --tags" "$tuntool" render -q --length 0.5 --stems --tags -o stems/titled.wav titled.tun
grep -q "Stand by Me (voice 1)" stems/titled-1.wav && grep -q ITRK stems/titled-1.wav ||
    fail "a WAV stem's INFO chunk lacks its voice"

# ---- a name for a format render does not write ----
for out in x.mp3 x.OGG x.opus; do
    "$tuntool" render -q --length 0.5 -o "$out" titled.tun 2>err.txt
    status=$?
    [ $status = 2 ] && grep -q "WAV (.wav) and FLAC (.flac)" err.txt || fail "-o $out: status $status, $(cat err.txt)"
    [ ! -e "$out" ] || fail "-o $out wrote a file"
done
expect 0 "--format wav -o x.mp3" "$tuntool" render -q --length 0.5 --format wav -o x.mp3 titled.tun
[ "$(dd if=x.mp3 bs=1 skip=8 count=4 2>/dev/null)" = WAVE ] || fail "--format wav did not write a WAV named x.mp3"

checks_done tuntool_tags
