#!/bin/sh
# deb_test.sh build-dir version lua-dir varnoke-sim guide.md: makes the Debian package
# with CPack from the build directory, checks its name, its control fields
# and that it holds every file where Debian expects it, runs lintian (no
# error) and desktop-file-validate on it, and unpacks it into a scratch root
# whose simulator answers --help as the built one does. Skipped (77) where a
# tool is missing.
set -u
build=$1
version=$2
lua_dir=$3
sim=$4
guide=$5

missing=""
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate file; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "SKIP: missing:$missing (Debian packages dpkg-dev lintian desktop-file-utils file;" \
        "tools/deps.sh package installs them)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack did not make the package"
}
deb=$work/out/varnoke_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$work/out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = varnoke ] && [ "$(field Version)" = "$version" ] ||
    fail "package $(field Package) $(field Version), not varnoke $version"
# The dependencies are those of the binaries, found by dpkg-shlibdeps.
for needed in libc6 libfltk1.3 libstdc++6 libx11-6; do
    field Depends | grep -q "\(^\|, \)$needed\( \|,\|$\)" ||
        fail "Depends lacks $needed: $(field Depends)"
done
field Maintainer | grep -q '^[^<]* <[^@>]*@[^>]*>$' || fail "Maintainer: $(field Maintainer)"
field Description | sed -n 2p | grep -q 'signature device' ||
    fail "the description does not say what the program is for: $(field Description)"

dpkg-deb -c "$deb" >"$work/listing" || fail "dpkg-deb cannot list the package"
for path in usr/bin/varnoke usr/bin/varnoke-sim usr/share/applications/varnoke.desktop \
    usr/share/icons/hicolor/scalable/apps/varnoke.svg \
    usr/share/icons/hicolor/48x48/apps/varnoke.png \
    usr/share/icons/hicolor/128x128/apps/varnoke.png \
    usr/share/man/man1/varnoke.1.gz usr/share/man/man1/varnoke-sim.1.gz \
    usr/share/doc/varnoke/copyright usr/share/doc/varnoke/changelog.gz \
    usr/share/doc/varnoke/guide.md usr/share/doc/varnoke/images/guide_window.png \
    usr/share/doc/varnoke/examples/logo.bmp usr/share/doc/varnoke/examples/sample_batch.txt \
    usr/share/doc/varnoke/examples/sample_document.txt "usr/$lua_dir/varnoke.lua"; do
    grep -q " \./$path\$" "$work/listing" || fail "the package lacks /$path"
done
# Every picture that the guide shows is in the package beside it.
for picture in $(sed -n 's/.*](\(images\/[^)]*\.png\)).*/\1/p' "$guide"); do
    grep -q " \./usr/share/doc/varnoke/$picture\$" "$work/listing" ||
        fail "the guide shows $picture, which the package lacks"
done
grep -Ev '^(drwxr-xr-x|-rwxr-xr-x|-rw-r--r--) root/root ' "$work/listing" &&
    fail "files above that are not root's or not of the usual modes"

# Where Debian's Wireshark loads global Lua plugins from.
if command -v tshark >/dev/null; then
    global=$(tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
    [ "$global" = "/usr/$lua_dir" ] ||
        fail "the dissector goes to /usr/$lua_dir, but tshark loads global Lua plugins from $global"
fi

lintian -I --fail-on error "$deb" >"$work/lintian" 2>&1
lintian_status=$?
echo "lintian $(basename "$deb"):"
grep -v '^running with root privileges' "$work/lintian"
[ $lintian_status -eq 0 ] || fail "lintian reports errors"

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb cannot unpack the package"
desktop-file-validate "$root/usr/share/applications/varnoke.desktop" ||
    fail "desktop-file-validate rejects the desktop entry"
grep -qx 'Exec=varnoke' "$root/usr/share/applications/varnoke.desktop" &&
    grep -qx 'Icon=varnoke' "$root/usr/share/applications/varnoke.desktop" ||
    fail "the desktop entry does not start varnoke with its icon"
for size in 48 128; do
    file "$root/usr/share/icons/hicolor/${size}x$size/apps/varnoke.png" |
        grep -q "PNG image data, $size x $size," || fail "the ${size}x$size icon is not $size x $size"
done
for program in varnoke varnoke-sim; do
    file "$root/usr/bin/$program" | grep -q 'ELF.*, stripped$' || fail "/usr/bin/$program is not stripped"
    zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q "^\.TH $(echo "$program" | tr a-z A-Z) 1 " ||
        fail "no man page $program(1)"
done
"$root/usr/bin/varnoke-sim" --help >"$work/help" || fail "the unpacked varnoke-sim --help failed"
"$sim" --help | cmp -s - "$work/help" || fail "the unpacked varnoke-sim --help differs from the built one's"
echo "PASS: $(basename "$deb"): $(grep -c '^-' "$work/listing") files in place, lintian without" \
    "error, the desktop entry valid, the unpacked simulator answers --help"
