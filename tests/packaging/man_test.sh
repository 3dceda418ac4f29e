#!/bin/sh
# man_test.sh varnoke-sim varnoke.1 varnoke-sim.1: the simulator's man page
# describes exactly the options that its --help lists, each with the same
# value name; both pages format without a warning from groff.
set -u
sim=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# "--name VALUE" per option: from the help's "  --name VALUE  text" lines,
# and from the page's tagged paragraphs, whose tag line follows ".TP" as
# ".B \-\-name" or ".BI \-\-name " VALUE"".
"$sim" --help >"$work/help" || { echo "FAIL: $sim --help ended with $?"; exit 1; }
sed -n 's/^  \(--[a-z-]*\)\( [A-Z][A-Z]*\)\{0,1\} .*/\1\2/p' "$work/help" | sort >"$work/from_help"
awk 'tag && /^\.BI? \\-\\-/ { gsub(/\\-/, "-"); gsub(/"/, ""); $1 = ""; sub(/^ /, ""); print }
     { tag = $0 == ".TP" }' "$2" | sed 's/  */ /g' | sort >"$work/from_page"
[ "$(wc -l <"$work/from_help")" -ge 40 ] || {
    echo "FAIL: only $(wc -l <"$work/from_help") options read from --help:"
    cat "$work/help"
    exit 1
}
if ! diff -u "$work/from_help" "$work/from_page" >"$work/diff"; then
    echo "FAIL: the options of $2 (+) are not those of --help (-):"
    cat "$work/diff"
    status=1
fi

if command -v groff >/dev/null; then
    for page in "$@"; do
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
[ $status -eq 0 ] && echo "PASS: $(wc -l <"$work/from_help") options in step with --help; pages format cleanly"
exit $status
