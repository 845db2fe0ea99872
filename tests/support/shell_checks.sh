# Shared by the shell sessions that use a program as a user would: a work
# folder that is removed on every way out, failures counted rather than
# ending the session at the first, and commands run with their output kept.
# Source it, make the paths given on the command line absolute with
# `absolute`, call `enter_work_folder`, and end with `checks_done NAME`.

# absolute PATH: the path made absolute, for sessions that change folders.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

# enter_work_folder: a new temporary folder as the working folder.
enter_work_folder() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cd "$work" || exit 1
}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect STATUS DESCRIPTION COMMAND...: runs the command, its standard
# output into out.txt and its standard error into err.txt.
expect() {
    want=$1 what=$2
    shift 2
    "$@" >out.txt 2>err.txt
    got=$?
    [ "$got" = "$want" ] || fail "$what: status $got, expected $want ($(cat out.txt err.txt | head -c 300))"
}

# checks_done NAME: the session's status.
checks_done() {
    [ "$failures" = 0 ] || exit 1
    echo "$1: all checks passed"
}
