#!/usr/bin/env bash
# The per-user association: after the registration script, *.orx is our MIME type, ormix is its
# default, and xdg-open (no desktop environment, as on a bare laptop session) starts the program
# with the path intact, even when the build folder and the file's name hold spaces and Cyrillic.
set -euo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/home/data" XDG_CONFIG_HOME="$tmp/home/config"
export DISPLAY=:0 XDG_CURRENT_DESKTOP= DESKTOP_SESSION=
unset KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID 2>/dev/null || true
build="$tmp/сборка 1"
mkdir -p "$build/bin" "$HOME" "$tmp/Архив"
cat >"$build/bin/ormix" <<'STUB'
#!/bin/sh
printf '%s\n' "$@" >"$HOME/opened.txt"
STUB
chmod +x "$build/bin/ormix"

fail() { echo "FAIL: $*" >&2; exit 1; }
"$script" "$build" >/dev/null || fail "registration failed"
file="$tmp/Архив/скважина 3.orx"
printf '//[orx]\r\n' >"$file"
[ "$(xdg-mime query filetype "$file")" = application/x-kestrovane-orx ] || fail "*.orx is not our type"
[ "$(xdg-mime query default application/x-kestrovane-orx)" = ormix.desktop ] || fail "ormix is not the default"
xdg-open "$file" >/dev/null 2>&1 || fail "xdg-open refused the file"
for _ in $(seq 50); do
    [ -s "$HOME/opened.txt" ] && break
    sleep 0.1
done
[ "$(cat "$HOME/opened.txt" 2>/dev/null)" = "$file" ] || fail "ormix was not started with the file's path"
# Registering twice leaves one working entry.
"$script" "$build" >/dev/null || fail "second registration failed"
[ "$(grep -c '^Exec=' "$XDG_DATA_HOME/applications/ormix.desktop")" = 1 ] || fail "Exec line doubled"
echo "association works"
