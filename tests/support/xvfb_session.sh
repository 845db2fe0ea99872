# Shared by the tests that run a program in a real X window: a private Xvfb
# display, a work folder, and a clean-up that runs on every way out.
# Source it, then call `xvfb_session_start TOOL...`; put the PID of the
# program under test into `app_pid`.
#
# A program under test that is still running at the end gets SIGTERM, which
# ends playtun in order within a pass of its screen loop, and SIGKILL if it
# is still there a second later.

xvfb_pid=''
app_pid=''
work=''

# alive PID: the process exists and has not yet ended (a zombie has).
alive() {
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c 1)
    [ -n "$state" ] && [ "$state" != Z ]
}

xvfb_session_cleanup() {
    if [ -n "$app_pid" ]; then
        kill -TERM "$app_pid" 2>/dev/null
        tries=0
        while alive "$app_pid" && [ $tries -lt 10 ]; do
            sleep 0.1
            tries=$((tries + 1))
        done
        kill -KILL "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    # A dying server removes its socket files; wait so that they are not
    # taken from the next server that gets the same display number.
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        tries=0
        while alive "$xvfb_pid" && [ $tries -lt 50 ]; do
            sleep 0.1
            tries=$((tries + 1))
        done
        kill -KILL "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    [ -n "$work" ] && rm -rf "$work"
}

# xvfb_session_start TOOL...: skips the test (status 77) when a tool is
# missing, makes the work folder, starts Xvfb and exports DISPLAY.
xvfb_session_start() {
    for tool in Xvfb "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "$tool is not installed: skipped"
            exit 77
        fi
    done
    work=$(mktemp -d)
    trap xvfb_session_cleanup EXIT
    trap 'exit 1' HUP INT PIPE TERM

    # Xvfb picks a free display number itself and writes it to fd 3 once it
    # accepts connections, so tests running side by side never share one.
    # Without -noreset the server resets whenever its last client leaves
    # (the readiness probe below, a program that ended) and refuses a client
    # that connects meanwhile.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    tries=0
    while [ ! -s "$work/display" ] && [ $tries -lt 100 ] && kill -0 "$xvfb_pid" 2>/dev/null; do
        sleep 0.1
        tries=$((tries + 1))
    done
    display=":$(head -n 1 "$work/display" 2>/dev/null)"
    tries=0
    while [ "$display" != ":" ] && [ $tries -lt 50 ] && ! DISPLAY="$display" xdotool getdisplaygeometry >/dev/null 2>&1; do
        sleep 0.1
        tries=$((tries + 1))
    done
    if [ "$display" = ":" ] || [ $tries -ge 50 ]; then
        echo "could not start Xvfb"
        cat "$work/xvfb.log"
        exit 1
    fi
    export DISPLAY="$display"
}

# find_window: the window of the running program; SDL names its class
# after the program.
find_window() {
    timeout 10 xdotool search --sync --classname '^playtun$' | head -n 1
}

# title_is TEXT: the title of $window becomes TEXT within five seconds.
title_is() {
    tries=0
    while [ "$(xdotool getwindowname "$window" 2>/dev/null)" != "$1" ]; do
        tries=$((tries + 1))
        [ $tries -ge 50 ] && fail "the window's title is '$(xdotool getwindowname "$window" 2>&1)', not '$1'"
        sleep 0.1
    done
}

# ends_within SECONDS: waits for the program to end by itself; its status
# goes to $status.
ends_within() {
    tries=0
    while alive "$app_pid" && [ $tries -lt $(($1 * 10)) ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    alive "$app_pid" && fail "playtun did not end within $1 s"
    wait "$app_pid"
    status=$?
    app_pid=''
}

# quit_requests_end START TITLE CLOSE_WINDOW: SIGTERM, SIGINT and the
# window's close button (sent by the program CLOSE_WINDOW) each end the
# program within a second, with 143, 130 and 0. START is a command that
# starts the program in the background; its window must be titled TITLE.
quit_requests_end() {
    for request in TERM INT close; do
        $1
        app_pid=$!
        window=$(find_window)
        [ -n "$window" ] || fail "the playtun window did not appear before $request"
        title_is "$2"
        case $request in
            TERM) want=143 && kill -TERM "$app_pid" ;;
            INT) want=130 && kill -INT "$app_pid" ;;
            close) want=0 && { "$3" "$window" || fail "could not close the window"; } ;;
        esac
        ends_within 1
        [ "$status" -eq "$want" ] || fail "$request ended playtun with status $status, not $want"
    done
}

# absolute PATH: the path made absolute, for scripts that change folders.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
