#!/usr/bin/env bash
# Builds the Debian package from the build folder with CPack, checks its fields and contents,
# installs it into a throwaway root with dpkg --root (never the system's dpkg database), runs the
# installed program, removes it cleanly and runs lintian on it.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(realpath "$1")
build=$(realpath "$2")
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: dpkg --root needs root" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
ms() { date +%s%3N; }

version=$("$build/src/torvix" --version | cut -d' ' -f2)
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$work/out/torvix_${version}_amd64.deb
[[ -f $deb ]] || fail "no $deb: $(ls "$work/out")"

# Fields: dependencies worked out from the program's libraries; the optional ones recommended.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == torvix && $(field Version) == "$version" && $(field Architecture) == amd64 ]] ||
    fail "control fields: $(dpkg-deb -f "$deb")"
for lib in libc6 libqt6core6 libqt6widgets6 libcups2 libldap-2.5-0 libsqlite3-0 libsystemd0 \
    libxcb1 libxcb-randr0 libwayland-client0; do
    field Depends | grep -q "\b$lib\b" || fail "Depends lacks $lib: $(field Depends)"
done
[[ $(field Recommends) == "fonts-ipafont-mincho, cups-client, xclip, wl-clipboard" ]] || fail "Recommends: $(field Recommends)"

# Contents: exactly these files, owned by root, the program stripped.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
sort >"$work/expected" <<LIST
./usr/bin/torvix
./usr/lib/torvix/private/libtorvix-program.so
./usr/lib/torvix/private/libtorvix-window.so
./usr/share/applications/torvix.desktop
./usr/share/doc/torvix/changelog.gz
./usr/share/doc/torvix/copyright
./usr/share/icons/hicolor/32x32/apps/torvix.png
./usr/share/icons/hicolor/48x48/apps/torvix.png
./usr/share/icons/hicolor/scalable/apps/torvix.svg
./usr/share/man/man1/torvix.1.gz
./usr/share/metainfo/io.github.torvix.Torvix.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" || fail "package contents"
dpkg-deb -c "$deb" | awk '$2 != "root/root" { bad = 1; print } END { exit bad }' || fail "owner not root"
dpkg-deb -x "$deb" "$work/x"
for elf in usr/bin/torvix usr/lib/torvix/private/libtorvix-program.so \
    usr/lib/torvix/private/libtorvix-window.so; do
    readelf -S "$work/x/$elf" | grep -q '\.symtab' && fail "$elf is not stripped"
done

# A throwaway root with its own dpkg database. Dependencies are the host's: the installed
# program runs from the root with the system's libraries.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
t0=$(ms)
dpkg --root="$root" --force-depends --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
t1=$(ms)
[[ $(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${db:Status-Abbrev}' torvix) == "ii " ]] ||
    fail "not installed in the throwaway root"
[[ $("$root/usr/bin/torvix" --version) == "torvix $version" ]] || fail "installed --version"
report=$(cd "$work" && LC_ALL=C.UTF-8 DISPLAY= WAYLAND_DISPLAY= "$root/usr/bin/torvix" \
    --report --machine "$src/tests/data/machines/office_pc.json")
grep -qx $'Text1\t2.394GHz\t#C0FFFF' <<<"$report" || fail "installed --report: $report"
grep -qx $'Text39\tOptiPlex 7060\t#C0FFFF' <<<"$report" || fail "installed --report: $report"

t2=$(ms)
dpkg --root="$root" --log=/dev/null -r torvix >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log" >&2; fail "dpkg -r"; }
t3=$(ms)
left=$(find "$root" -path "$root/var/lib/dpkg" -prune -o ! -type d -print)
[[ -z $left ]] || fail "left after removal: $left"
status=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${db:Status-Abbrev}' torvix 2>/dev/null || true)
[[ -z $status || $status == "un " ]] || fail "still registered after removal: '$status'"

# lintian: no errors; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

echo "package: $(stat -c %s "$deb") bytes, installed $(du -sk "$work/x" | cut -f1) KiB;" \
     "install $((t1 - t0)) ms, remove $((t3 - t2)) ms;" \
     "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors," \
     "$(grep -c '^W:' "$work/lintian.log" || true) warnings"
