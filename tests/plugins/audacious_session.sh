# Shared by the sessions that run Audacious headless on a private D-Bus
# session, driven with audtool, writing what it plays into WAV files with
# the file writer. Source it with HOME and XDG_CONFIG_HOME set to a folder of
# the session's own and the work folder as the working folder; the player's
# messages go to player.log. Needs fail() from shell_checks.sh.

# aud ARGS...: audtool, never waiting for ever.
aud() { timeout 10 audtool "$@"; }

# start_player PROGRAM: Audacious started headless and set up to write 16-bit
# WAV files and to resume a song at its start paused; fails after 10 s.
start_player() {
    "$1" --headless >>player.log 2>&1 &
    player_pid=$!
    for _ in $(seq 100); do aud --version >/dev/null 2>&1 && break; sleep 0.1; done
    aud --version >/dev/null 2>&1 || { fail "Audacious does not answer: $(tail -3 player.log)"; return 1; }
    # The output plugins are known a moment after the program answers.
    for _ in $(seq 100); do
        aud --plugin-enable filewriter on 2>/dev/null
        aud --plugin-is-enabled filewriter && break
        sleep 0.1
    done
    aud --plugin-is-enabled filewriter || { fail "the file writer cannot be enabled"; return 1; }
    aud --config-set output_bit_depth 16
    aud --config-set filewriter:fileext 0
    aud --config-set filewriter:filenamefromtags FALSE
    aud --config-set resume_playback_on_startup TRUE
}

# stop_player: Audacious ended as a user ends it (it saves its state then).
stop_player() {
    aud --shutdown
    for _ in $(seq 100); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$player_pid" 2>/dev/null; then
        fail "Audacious does not end"
        kill "$player_pid"
    fi
    wait "$player_pid" || fail "Audacious ended with status $?"
}

# wait_stopped SECONDS: waits until playback has stopped; fails after SECONDS.
wait_stopped() {
    for _ in $(seq $(($1 * 20))); do
        [ "$(aud --playback-status)" = stopped ] && return 0
        sleep 0.05
    done
    aud --playback-stop
    return 1
}

# play_to_file SONG FOLDER: the song played alone into FOLDER/NAME.wav.
play_to_file() {
    mkdir -p "$2"
    aud --playlist-clear
    aud --config-set filewriter:file_path "file://$(absolute "$2")"
    aud --playlist-addurl "$1"
    aud --playback-play
    wait_stopped 60
}
