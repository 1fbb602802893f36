#!/usr/bin/env bash
# cmake --install into a staging folder (DESTDIR): every file is there and passes its validator.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr
id=io.github.torvix.Torvix
expected=(
    bin/torvix
    lib/torvix/private/libtorvix-program.so
    lib/torvix/private/libtorvix-window.so
    share/applications/torvix.desktop
    share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/torvix.svg
    share/icons/hicolor/32x32/apps/torvix.png
    share/icons/hicolor/48x48/apps/torvix.png
    share/man/man1/torvix.1.gz
    share/doc/torvix/copyright
    share/doc/torvix/changelog.gz
)
for f in "${expected[@]}"; do [[ -f $root/$f ]] || fail "missing $f"; done
# Nothing else: a stray file would land on every user's system.
extra=$(cd "$root" && find . -type f | sed 's|^\./||' | sort | comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[[ -z $extra ]] || fail "files not expected: $extra"
[[ -x $root/bin/torvix ]] || fail "bin/torvix is not executable"
"$root/bin/torvix" --version | grep -qx "torvix [0-9.]*" || fail "installed program gives no version"

desktop-file-validate "$root/share/applications/torvix.desktop" || fail "desktop-file-validate"
grep -qx 'Name=トルビクス' "$root/share/applications/torvix.desktop" || fail "desktop Name"
grep -qx 'Icon=torvix' "$root/share/applications/torvix.desktop" || fail "desktop Icon"
grep -qx 'Categories=System;Monitor;' "$root/share/applications/torvix.desktop" || fail "desktop Categories"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -q "<release version=\"$("$root/bin/torvix" --version | cut -d' ' -f2)\"" \
    "$root/share/metainfo/$id.metainfo.xml" || fail "metainfo release is not the program's version"

# The PNGs have their directory's size, and the SVG draws the same picture.
for size in 32 48; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/torvix.png
    [[ $(identify -format '%wx%h' "$png") == "${size}x${size}" ]] || fail "$png is not ${size}x${size}"
    rsvg-convert -w "$size" -h "$size" "$root/share/icons/hicolor/scalable/apps/torvix.svg" \
        -o "$stage/svg$size.png"
    # Normalized root-mean-square difference; anti-aliasing alone stays far below 0.05.
    rmse=$({ compare -metric RMSE "$png" "$stage/svg$size.png" null: 2>&1 || true; } | sed 's/.*(\(.*\))/\1/')
    awk -v e="$rmse" 'BEGIN { exit !(e < 0.05) }' || fail "SVG and ${size}px icon differ (RMSE $rmse)"
done

# The manual page: formats without a warning and names every option of --help, and the modes
# the program has.
man=$stage/torvix.1
gzip -dc "$root/share/man/man1/torvix.1.gz" >"$man"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$man" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "man page warnings: $warnings"
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$man" 2>/dev/null | col -b)
for option in $("$root/bin/torvix" --help | grep -oE -- '--[a-z]+' | sort -u) --snapshot; do
    grep -q -- "$option" <<<"$text" || fail "man page lacks $option"
done
for section in NAME 書式 SYNOPSIS OPTIONS FILES インストールソフト名.txt MACアドレス.txt 特殊フォルダパス.txt; do
    grep -q -- "$section" <<<"$text" || fail "man page lacks $section"
done
zcat "$root/share/doc/torvix/changelog.gz" | head -1 | grep -q "^torvix (" || fail "changelog"
echo "install: ${#expected[@]} files, validators clean"
