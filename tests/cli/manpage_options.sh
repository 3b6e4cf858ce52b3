#!/usr/bin/env bash
# manpage_options.sh PROGRAM PAGE: the manual page PAGE (roff) names every option and every
# command that `PROGRAM --help` prints, and names no option or command that the help does not.
set -euo pipefail
program=$1
page=$2

help=$(QT_QPA_PLATFORM=offscreen "$program" --help) || {
    echo "FAIL: $program --help ended with status $?" >&2
    exit 1
}

# Options: --word, and -x standing alone (not the hyphen inside "read-only" or an arrow "->").
options_in() {
    grep -oE -- '(^|[][ ,|("])--?[a-zA-Z][a-zA-Z-]*' | sed -E 's/^[^-]+//' | sort -u
}

# The page as text: \- is a hyphen, font changes, \& and comment lines are left out.
page_text=$(sed -e '/^\.\\"/d' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$page")

help_options=$(options_in <<<"$help")
page_options=$(options_in <<<"$page_text")

# Commands: the first word of each line of the help's "Commands:" list, and of each entry (the
# line after .TP) of the page's COMMANDS section.
help_commands=$(awk '/^Commands:/ { on = 1; next } on && /^$/ { exit }
    on && /^  [a-z]/ { print $1 }' <<<"$help" | sort -u)
page_commands=$(awk '/^\.SH/ { on = ($0 ~ /^\.SH "?COMMANDS"?$/); next }
    on && /^\.TP/ { entry = 1; next }
    on && entry { entry = 0; sub(/^\.[A-Z]+ +/, ""); gsub(/"/, ""); split($0, w, " "); print w[1] }' \
    <<<"$page_text" | sort -u)

status=0
compare() { # WHAT HELP_LIST PAGE_LIST
    local what=$1 in_help=$2 in_page=$3 missing extra
    if [ "$(wc -w <<<"$in_help")" -lt 2 ]; then
        echo "FAIL: found no $what in the help; has its layout changed?" >&2
        status=1
        return
    fi
    missing=$(comm -23 <(echo "$in_help") <(echo "$in_page"))
    extra=$(comm -13 <(echo "$in_help") <(echo "$in_page"))
    if [ -n "$missing" ]; then
        echo "FAIL: $what in the help but not in $page:" $missing >&2
        status=1
    fi
    if [ -n "$extra" ]; then
        echo "FAIL: $what in $page but not in the help:" $extra >&2
        status=1
    fi
    echo "$what:" $in_help
}
compare options "$help_options" "$page_options"
compare commands "$help_commands" "$page_commands"
exit $status
