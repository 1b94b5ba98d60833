#!/usr/bin/env bash
# Makes Ormix the current user's handler of *.orx files, so that the main program's "open" after a
# save starts it: a MIME type with the glob *.orx, a .desktop file whose Exec names BUILD_DIR/bin/ormix (through a link),
# and the default association. Missing desktop tools are noted, not fatal.
set -u
if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
res="$here/../resources/ormix"
build=$(cd "$1" 2>/dev/null && pwd) || { echo "no such folder: $1" >&2; exit 2; }
exe="$build/bin/ormix"
if [ ! -x "$exe" ]; then
    echo "note: $exe is not built yet; the association will point at it once it is" >&2
fi
data="${XDG_DATA_HOME:-$HOME/.local/share}"
mkdir -p "$data/mime/packages" "$data/applications" || exit 1

cp "$res/kestrovane-orx.xml" "$data/mime/packages/kestrovane-orx.xml" || exit 1
# xdg-open without a desktop environment takes the Exec line's first word as the program, so a
# build folder with a space in its path would break it: Exec names a link of ours instead.
link="$data/kestrovane/ormix"
mkdir -p "$data/kestrovane" && ln -sfn "$exe" "$link" || exit 1
case "$link" in
*[[:space:]\"\\\`\$]*)
    quoted=$(printf '%s' "$link" | sed 's/[\\"`$]/\\&/g')
    exec_line="\"$quoted\" %F"
    ;;
*) exec_line="$link %F" ;;
esac
# The line goes through sed's replacement: its own | and & are escaped.
sed_line=$(printf '%s' "$exec_line" | sed 's/[|&\\]/\\&/g')
sed "s|^Exec=.*|Exec=$sed_line|" "$res/ormix.desktop" > "$data/applications/ormix.desktop" || exit 1
echo "installed $data/mime/packages/kestrovane-orx.xml"
echo "installed $data/applications/ormix.desktop (Exec: $link -> $exe)"

if command -v update-mime-database >/dev/null 2>&1; then
    update-mime-database "$data/mime" || echo "note: update-mime-database failed" >&2
else
    echo "note: update-mime-database not found (package shared-mime-info); *.orx stays unknown until it runs" >&2
fi
if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database "$data/applications" >/dev/null 2>&1 || true
fi
if command -v xdg-mime >/dev/null 2>&1; then
    xdg-mime default ormix.desktop application/x-kestrovane-orx || echo "note: xdg-mime default failed" >&2
    echo "handler of application/x-kestrovane-orx: $(xdg-mime query default application/x-kestrovane-orx 2>/dev/null)"
else
    echo "note: xdg-mime not found (package xdg-utils); set the default for *.orx in the desktop's settings" >&2
fi
exit 0
