#!/bin/sh
# zip_test.sh zip name source-dir: the Windows zip holds, under the folder
# "name", the 32-bit and the 64-bit program, a README.txt with Windows line
# ends that says where C:\out\ must exist, the examples and the dissector,
# these two as they are in the source. Skipped (77) without unzip and file.
set -u
zip=$1
name=$2
source=$3
for tool in unzip file; do
    command -v $tool >/dev/null || { echo "SKIP: no $tool (Debian package $tool)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

unzip -l "$zip" || fail "unzip cannot list $zip"
unzip -Z1 "$zip" | grep -v '/$' | sort >"$work/files"
printf '%s\n' README.txt examples/logo.bmp examples/sample_batch.txt examples/sample_document.txt \
    win32/varnoke.exe win64/varnoke.exe wireshark/varnoke.lua | sed "s|^|$name/|" | sort >"$work/wanted"
diff -u "$work/wanted" "$work/files" || fail "the zip does not hold what it should (+: extra, -: missing)"

unzip -q "$zip" -d "$work" || fail "unzip cannot unpack $zip"
top=$work/$name
file "$top/win32/varnoke.exe" | grep -q 'PE32 executable (GUI) Intel 80386' ||
    fail "win32/varnoke.exe: $(file -b "$top/win32/varnoke.exe")"
file "$top/win64/varnoke.exe" | grep -q 'PE32+ executable (GUI) x86-64' ||
    fail "win64/varnoke.exe: $(file -b "$top/win64/varnoke.exe")"
[ "$(grep -c "$(printf '\r')\$" "$top/README.txt")" -eq "$(wc -l <"$top/README.txt")" ] ||
    fail "README.txt has lines without CR LF"
grep -q 'make C:\\out' "$top/README.txt" || fail "README.txt does not say to make C:\\out"
for f in examples/logo.bmp examples/sample_batch.txt examples/sample_document.txt; do
    cmp "$top/$f" "$source/$f" || fail "$f differs from the source's"
done
cmp "$top/wireshark/varnoke.lua" "$source/tools/wireshark/varnoke.lua" || fail "the dissector differs"
echo "PASS: $(basename "$zip") holds both programs, README.txt, the examples and the dissector"
