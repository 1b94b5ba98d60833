#!/usr/bin/env bash
# The installer as a user meets it, in a fresh Wine prefix on a virtual display: a silent install
# for all users, the files, the Start menu, "Programs and Features" and *.orx; the installed program
# started and drawn (the screenshot is left in the work folder) and closed as Windows closes it,
# keeping its settings in %APPDATA%; then a silent uninstall that leaves the user's files.
set -euo pipefail
while [[ $# -gt 0 ]]; do
    case "$1" in
    --build) build=$2 ;;
    --wine) wine=$2 ;;
    --wineserver) wineserver=$2 ;;
    --work) work=$2 ;;
    esac
    shift 2
done
user=${USER:-$(id -un)}
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --build "$build" --target windows-installer >/dev/null
setup=$(ls "$build"/kestrovane-setup-*.exe)

rm -rf "$work" && mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
Xvfb -displayfd 3 -screen 0 1280x800x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w

"$wine" "$(winepath -w "$setup" 2>/dev/null || echo "$setup")" /S /AllUsers
"$wineserver" -w
dir="$WINEPREFIX/drive_c/Program Files/Kestrovane"
for f in kestrovane.exe ormix.exe kestrovane-collect.exe Uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
    sqlite3.dll libstdc++-6.dll platforms/qwindows.dll translations/qtbase_ru.qm Cfg/example.cfg; do
    [[ -f "$dir/$f" ]] || fail "not installed: $f"
done
ls "$dir"/sound/*.wav >/dev/null || fail "no notice sounds installed"
for f in Qt6Test.dll platforms/qoffscreen.dll; do
    [[ ! -e "$dir/$f" ]] || fail "installed though no program loads it: $f"
done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrovane"
for f in Kestrovane.lnk Ormix.lnk "Kestrovane (демонстрация).lnk"; do
    [[ -f "$menu/$f" ]] || fail "no Start menu entry $f"
done
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrovane'
"$wine" reg query "$key" /v UninstallString 2>/dev/null | grep -q 'Uninstall.exe' || fail "not in Programs and Features"
"$wine" reg query 'HKLM\Software\Classes\Kestrovane.orx\shell\open\command' 2>/dev/null | grep -qi 'ormix.exe' ||
    fail "*.orx does not open in Ormix"

# The installed program, started as from its Start menu entry.
"$wine" "C:\\Program Files\\Kestrovane\\kestrovane.exe" >"$work/kestrovane.log" 2>&1 &
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Kestrovane"' && break
    sleep 0.3
done
xwininfo -root -tree | grep -q '"Kestrovane"' || fail "the installed program showed no window"
sleep 3
import -window root "$work/installed-kestrovane.png"
echo "screenshot: $work/installed-kestrovane.png"
# Closed as Windows closes a program (WM_CLOSE): it writes its settings where an installed one keeps them.
"$wine" taskkill /IM kestrovane.exe >/dev/null 2>&1 || true
for _ in $(seq 100); do
    "$wine" tasklist 2>/dev/null | grep -qi kestrovane.exe || break
    sleep 0.3
done
"$wine" tasklist 2>/dev/null | grep -qi kestrovane.exe && fail "the program did not close on WM_CLOSE"
# Until the process has gone for good, Windows keeps its DLLs, and the uninstaller could not delete them.
timeout 60 "$wineserver" -w || fail "Wine did not settle after the close"
appdata="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Kestrovane"
[[ -f "$appdata/ProgSet.ini" ]] || fail "no settings in %APPDATA%\\Kestrovane"
grep -q $'\r$' "$appdata/ProgSet.ini" || fail "the settings file has no CR LF line ends"
[[ ! -e "$dir/ini" ]] || fail "the installed program wrote into its own folder"
docs=$(ls -d "$WINEPREFIX/drive_c/users/$user"/*/Kestrovane/Archive 2>/dev/null | head -1)
[[ -n "$docs" ]] || fail "no Kestrovane\\Archive in the documents folder"
echo "the user's own" >"$docs/mine.orx"

"$wine" "C:\\Program Files\\Kestrovane\\Uninstall.exe" /S /AllUsers
"$wineserver" -w
for _ in $(seq 50); do [[ -e "$dir/kestrovane.exe" ]] || break; sleep 0.2; done
[[ ! -e "$dir" ]] || fail "left in the program folder: $(cd "$dir" && find . -type f | head -5)"
[[ ! -e "$menu" ]] || fail "the Start menu entries stay"
"$wine" reg query "$key" >/dev/null 2>&1 && fail "still in Programs and Features"
[[ -f "$docs/mine.orx" && -f "$appdata/ProgSet.ini" ]] || fail "the uninstaller took the user's files"
echo "installer: installed, started, closed and uninstalled"
