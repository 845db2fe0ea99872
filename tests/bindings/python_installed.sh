#!/bin/sh
# The Python module as users install it: by `cmake --install` into the
# folder the interpreter searches under the configured prefix, and by
# `pip install` from a copy of bindings/python with no network. Each time
# examples/render.py renders songs with the installed module and library,
# and its WAV files hold record mode's samples.
# Usage: python_installed.sh BUILD_DIR SOURCE_DIR PLAYTUN PYTHON PREFIX PYTHON_DIR
build=$1 source=$2 playtun=$3 python=$4 configured_prefix=$5 python_dir=$6
. "$source/tests/support/shell_checks.sh"
build=$(absolute "$build") source=$(absolute "$source") playtun=$(absolute "$playtun")
enter_work_folder
export PYTHONDONTWRITEBYTECODE=1

prefix=$work/prefix
{ cmake --install "$build" --prefix "$prefix" --component tonera && cmake --install "$build" --prefix "$prefix" --component python; } >install.log 2>&1 || { cat install.log; exit 1; }
[ -f "$prefix/$python_dir/tonera/__init__.py" ] || fail "the module is not installed in $python_dir"
"$python" -c 'import sys; print("\n".join(p.rstrip("/") for p in sys.path))' >path.txt
grep -qx "$configured_prefix/$python_dir" path.txt ||
    fail "$python does not search $configured_prefix/$python_dir: $(tr '\n' ' ' <path.txt)"
libdir=$(dirname "$(find "$prefix" -name libtonera.so.0)")

cp -r "$source/bindings/python" pip-source
expect 0 "pip install" "$python" -m pip install --no-build-isolation --no-index --no-deps --target "$work/pip" ./pip-source
[ -f pip/tonera/__init__.py ] || fail "pip did not install the module"

for song in "$source/songs/lullaby.tun" "$source/songs/imported/scarzix-cheese-around-the-clock.tun"; do
    name=$(basename "$song" .tun)
    "$playtun" "$song" "$name.record.wav" >/dev/null 2>&1 || fail "$name: record mode failed"
    for installed in "$prefix/$python_dir" "$work/pip"; do
        expect 0 "render.py $name from $installed" env PYTHONPATH="$installed" LD_LIBRARY_PATH="$libdir" \
            "$python" "$source/examples/render.py" "$song" "$name.wav"
        size=$(($(stat -c %s "$name.wav") - 44))
        [ "$size" -gt 0 ] || { fail "$name: render.py wrote no samples"; continue; }
        # The same format and samples. Record mode writes whole blocks of
        # 1024 frames, stopping inside the last song frame or running on
        # past it: what both have is compared.
        cmp -s -i 20:20 -n 16 "$name.wav" "$name.record.wav" || fail "$name: render.py's format differs from record mode's"
        recorded=$(($(stat -c %s "$name.record.wav") - 44))
        common=$((size < recorded ? size : recorded))
        [ $((size - common)) -lt 4096 ] || fail "$name: record mode has $recorded bytes of samples, render.py $size"
        tail -c +45 "$name.record.wav" | head -c "$common" >expected.pcm
        tail -c +45 "$name.wav" | head -c "$common" | cmp -s - expected.pcm || fail "$name: render.py's samples differ from record mode's"
    done
done
expect 1 "render.py on a text" env PYTHONPATH="$work/pip" LD_LIBRARY_PATH="$libdir" \
    "$python" "$source/examples/render.py" "$source/songs/lullaby.txt" text.wav
grep -q "not a song file" err.txt || fail "render.py on a text: $(cat err.txt)"
expect 1 "the module without its library" env PYTHONPATH="$work/pip" TONERA_LIBRARY="$work/none.so" \
    "$python" -c "import tonera"
grep -q "TONERA_LIBRARY" err.txt || fail "a missing library is not named: $(cat err.txt)"

checks_done python_module_installed
