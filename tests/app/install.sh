#!/bin/sh
# Installs the build into a temporary prefix and checks what lands there:
# the two programs, the desktop entry, the icon and the AppStream metadata,
# that they name each other, that they validate where the validators are
# installed, and that the installed tessary-mkdb prepares a folder.
# usage: install.sh <cmake> <build folder>
set -eu
cmake=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

id=org.kesmar.Tessary
fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/tessary bin/tessary-mkdb; do
    [ -x "$prefix/$f" ] || fail "$f is not an installed program"
done
desktop=$prefix/share/applications/$id.desktop
icon=$prefix/share/icons/hicolor/scalable/apps/$id.svg
meta=$prefix/share/metainfo/$id.metainfo.xml
for f in "$desktop" "$icon" "$meta"; do
    [ -s "$f" ] || fail "$f is missing or empty"
done

# The entry starts the installed program and names the installed icon; the
# metadata launches the entry.
grep -qx 'Exec=tessary' "$desktop" || fail "desktop entry does not start tessary"
grep -qx "Icon=$id" "$desktop" || fail "desktop entry does not name the icon $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$meta" || fail "metadata does not launch $id.desktop"
grep -q "<id>$id</id>" "$meta" || fail "metadata id is not $id"
grep -q '<svg ' "$icon" || fail "icon is not an SVG"

if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate --no-net "$meta" >/dev/null || fail "appstreamcli validate"
fi

# The installed tessary-mkdb makes a card database and the export template,
# owner-only.
folder=$prefix/data
"$prefix/bin/tessary-mkdb" "$folder" >/dev/null
for f in cardinfo.mdb namecard-b.mdb; do
    [ "$(stat -c %a "$folder/$f")" = 600 ] || fail "$f is not mode 600"
done
echo "installed and checked in $prefix"
