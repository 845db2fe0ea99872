#!/bin/sh
# The manual pages as a reader meets them: in the checkout they name the
# project's version (never a placeholder), groff and man render them
# without a warning, `cmake --install` puts them in place with the version
# and the documents they point to, and every option that a program's
# --help names is in its page (an option added to a program but not to
# its page is caught here).
# Usage: man_pages.sh BUILD_DIR SOURCE_DIR VERSION PLAYTUN TUNTOOL
build=$1 source=$2 version=$3 playtun=$4 tuntool=$5
. "$source/tests/support/shell_checks.sh"
build=$(absolute "$build") source=$(absolute "$source")
playtun=$(absolute "$playtun") tuntool=$(absolute "$tuntool")
enter_work_folder

title_version() { sed -n '1s/^\.TH [A-Z]* 1 "[^"]*" "playtun \([^"]*\)".*/\1/p' "$1"; }

prefix=$work/prefix
cmake --install "$build" --component man --prefix "$prefix" >install.log 2>&1 || { cat install.log; exit 1; }
for page in playtun.1 tuntool.1; do
    [ "$(title_version "$source/man/$page")" = "$version" ] ||
        fail "man/$page names version '$(title_version "$source/man/$page")', the project is $version"
    grep -n '@[A-Z_]*@' "$source/man/$page" >placeholders.txt && fail "man/$page holds $(cat placeholders.txt)"
    groff -ww -man -z "$source/man/$page" 2>groff.txt
    [ -s groff.txt ] && fail "groff warns about $page: $(head -c 300 groff.txt)"
    MANWIDTH=80 man -l -Tutf8 "$source/man/$page" >/dev/null 2>man.txt
    [ -s man.txt ] && fail "man warns about $page: $(head -c 300 man.txt)"
    installed=$prefix/share/man/man1/$page
    [ -s "$installed" ] || fail "not installed: share/man/man1/$page"
    [ "$(title_version "$installed")" = "$version" ] || fail "the installed $page names '$(title_version "$installed")'"
done
for doc in score.md import.md; do
    [ -s "$prefix/share/doc/playtun/$doc" ] || fail "not installed: share/doc/playtun/$doc"
    grep -q "/usr/share/doc/playtun/$doc" "$source/man/tuntool.1" || fail "tuntool.1 does not point to $doc"
done

# page_text PAGE: the page's words with roff's escaped dashes and font
# changes taken out, so that options read as they are typed.
page_text() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$1"; }
# options: the options named at the start of --help lines.
options() { grep -oE '(^|[ ,[])--?[a-zA-Z][a-zA-Z0-9-]*' | sed 's/^[ ,[]//' | sort -u; }
check_help() {  # check_help PAGE COMMAND...
    page=$1
    shift
    "$@" --help >help.txt 2>&1 || fail "$* --help: status $?"
    grep -q "man $(basename "$page" .1)" help.txt || fail "$* --help does not point to its man page"
    page_text "$source/man/$page" >page.txt
    for option in $(options <help.txt); do
        grep -qF -- "$option" page.txt || fail "$* --help names $option, man/$page does not"
    done
}
check_help playtun.1 "$playtun"
check_help tuntool.1 "$tuntool"
check_help tuntool.1 "$tuntool" render
check_help tuntool.1 "$tuntool" import
checks_done man_pages
