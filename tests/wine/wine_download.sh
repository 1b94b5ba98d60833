#!/usr/bin/env bash
# The same group download twice, from the same scenario and fixed clock: kestrovane-collect.exe
# under Wine on a COM port that Wine maps to the simulator's pseudo-terminal, then the Linux
# kestrovane-collect on a fresh simulator. The two measurement files must be the same bytes.
set -euo pipefail
# The logs are read in English below.
export LC_ALL=C.UTF-8

while [ $# -gt 0 ]; do
    case "$1" in
    --wine) wine=$2 ;;
    --wineserver) wineserver=$2 ;;
    --exe) exe=$2 ;;
    --port-test) porttest=$2 ;;
    --linux-bin) linbin=$2 ;;
    --data) data=$2 ;;
    --work) work=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
: "${WINEPREFIX:?WINEPREFIX must be set}"
now="2026-12-07 12:00:00"
port=7
sim=$linbin/kestrovane-sim
for f in "$sim" "$linbin/kestrovane-collect" "$exe"; do
    [ -x "$f" ] || { echo "missing $f (build the Linux tree first)" >&2; exit 1; }
done

rm -rf "$work"
mkdir -p "$work"
simpid=""
stop_sim() {
    if [ -n "$simpid" ]; then
        kill "$simpid" 2>/dev/null || true
        wait "$simpid" 2>/dev/null || true
        simpid=""
    fi
}
cleanup() {
    stop_sim
    "$wineserver" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

start_sim() { # link log
    "$sim" --link "$1" --scenario "$data/download.json" --fixed-now "$now" --log "$2" >/dev/null &
    simpid=$!
    for _ in $(seq 100); do
        [ -L "$1" ] && return 0
        sleep 0.05
    done
    echo "kestrovane-sim did not come up" >&2
    exit 1
}

winpath() { # /a/b -> Z:\a\b
    local p=$1
    printf 'Z:%s' "${p//\//\\}"
}

# Wine reads its COM port mapping when its services start: write it, then restart the server.
start_sim "$work/com$port" "$work/sim-wine.log"
"$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$work/com$port" /f >/dev/null 2>&1
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
"$wine" cmd /c exit >/dev/null 2>&1 || true
link=$(readlink "$WINEPREFIX/dosdevices/com$port" || true)
[ "$link" = "$work/com$port" ] || { echo "Wine did not map COM$port (got '$link')" >&2; exit 1; }

# The Win32 serial layer on the pty first: a port in use, lines a pty lacks, time limits.
KV_WINE_COM_PORT=$port timeout 120 "$wine" "$porttest" --gtest_filter='WinePty*' \
    >"$work/port-test.log" 2>&1 || { cat "$work/port-test.log"; exit 1; }
grep -q '\[  PASSED  \] [1-9]' "$work/port-test.log" || { cat "$work/port-test.log"; exit 1; }
stop_sim

start_sim "$work/com$port" "$work/sim-wine.log"
rc=0
timeout 180 "$wine" "$exe" "$(winpath "$data/download.cfg")" \
    --output "$(winpath "$work/wine.orx")" --port "$port" --fixed-now "$now" 2>"$work/wine.log" || rc=$?
stop_sim
[ $rc -eq 0 ] || { cat "$work/wine.log"; echo "kestrovane-collect.exe failed with $rc" >&2; exit 1; }

start_sim "$work/lin$port" "$work/sim-linux.log"
rc=0
timeout 180 "$linbin/kestrovane-collect" "$data/download.cfg" --output "$work/linux.orx" \
    --port "$port" --port-device "$work/lin%d" --fixed-now "$now" 2>"$work/linux.log" || rc=$?
stop_sim
[ $rc -eq 0 ] || { cat "$work/linux.log"; echo "kestrovane-collect failed with $rc" >&2; exit 1; }

# Both runs say how many records they took; the file must hold that many record lines.
# A log that is not a terminal has the time before each line.
records=$(sed -n 's/^\(.*[^0-9]\)\{0,1\}\([0-9][0-9]*\) records\{0,1\} downloaded.*/\2/p' "$work/linux.log")
lines=$(grep -c $'^[0-9][0-9]\\.[0-9][0-9]\\.[0-9][0-9] .*V.*([0-9]*)\r$' "$work/linux.orx" || true)
[ -n "$records" ] && [ "$records" -gt 0 ] && [ "$records" = "$lines" ] ||
    { echo "linux.orx: $lines record lines for $records records" >&2; exit 1; }
cmp "$work/wine.orx" "$work/linux.orx"
echo "wine.orx and linux.orx are the same ($records records, $(wc -c <"$work/linux.orx") bytes)"
