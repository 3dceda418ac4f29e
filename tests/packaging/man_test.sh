#!/bin/sh
# man_test.sh varnoke.1 [PROGRAM PAGE]...: each program's man page describes
# exactly the options that its --help lists, each with the same value name
# (varnoke-sim, varnoke-cli); every page formats without a warning from groff.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
pages=$1
shift
checked=

# "--name VALUE" per option: from the help's "  --name VALUE  text" lines,
# and from the page's tagged paragraphs, whose tag line follows ".TP" as
# ".B \-\-name" or ".BI \-\-name " VALUE"".
while [ $# -ge 2 ]; do
    program=$1
    page=$2
    shift 2
    pages="$pages $page"
    name=$(basename "$program")
    "$program" --help >"$work/help" || { echo "FAIL: $program --help ended with $?"; exit 1; }
    sed -n 's/^  \(--[a-z-]*\)\( [A-Z][A-Z]*\)\{0,1\} .*/\1\2/p' "$work/help" | sort >"$work/from_help"
    awk 'tag && /^\.BI? \\-\\-/ { gsub(/\\-/, "-"); gsub(/"/, ""); $1 = ""; sub(/^ /, ""); print }
         { tag = $0 == ".TP" }' "$page" | sed 's/  */ /g' | sort >"$work/from_page"
    count=$(wc -l <"$work/from_help")
    [ "$count" -ge 10 ] || {
        echo "FAIL: only $count options read from $name --help:"
        cat "$work/help"
        exit 1
    }
    if ! diff -u "$work/from_help" "$work/from_page" >"$work/diff"; then
        echo "FAIL: the options of $page (+) are not those of $name --help (-):"
        cat "$work/diff"
        status=1
    fi
    checked="$checked $name ($count options)"
done

if command -v groff >/dev/null; then
    for page in $pages; do
        groff -t -man -ww -z "$page" 2>"$work/warnings"
        if [ -s "$work/warnings" ]; then
            echo "FAIL: groff warns about $page:"
            cat "$work/warnings"
            status=1
        fi
    done
else
    echo "groff is missing (Debian package groff-base): the pages' formatting is not checked"
fi
[ $status -eq 0 ] && echo "PASS: in step with --help:$checked; pages format cleanly"
exit $status
