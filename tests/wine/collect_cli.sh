#!/usr/bin/env bash
# kestrovane-collect as a scheduled job runs it: --help and --version, a mistyped command line,
# and a group download from kestrovane-sim that must give the very file the tool has always written,
# run from a program folder whose settings keep the group's channel within their range.
set -euo pipefail

while [ $# -gt 0 ]; do
    case "$1" in
    --collect) collect=$2 ;;
    --sim) sim=$2 ;;
    --data) data=$2 ;;
    --work) work=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
fail() { echo "FAIL: $*" >&2; exit 1; }
# The texts checked below are the English ones; a Russian locale gets Russian.
export LC_ALL=C.UTF-8
rm -rf "$work"
mkdir -p "$work"

"$collect" --help >"$work/help.txt" || fail "--help exited with $?"
head -1 "$work/help.txt" | grep -q '^Usage: kestrovane-collect ' || fail "--help: $(head -1 "$work/help.txt")"
grep -q '^Exit status:' "$work/help.txt" || fail "--help names no exit codes"
# Into a file first: a pipe that closes after one line would end the program with SIGPIPE.
LC_ALL=ru_RU.UTF-8 "$collect" --help >"$work/help-ru.txt" || fail "--help (ru) exited with $?"
head -1 "$work/help-ru.txt" | grep -q '^Запуск: kestrovane-collect ' ||
    fail "--help under a Russian locale is not Russian"
"$collect" --version >"$work/version.txt" || fail "--version exited with $?"
grep -qx 'kestrovane-collect (Kestrovane) [0-9.]*' "$work/version.txt" || fail "--version: $(cat "$work/version.txt")"

rc=0
"$collect" --scenario-group "$data/download.cfg" --out "$work/x.orx" 2>"$work/usage.txt" || rc=$?
[ $rc -eq 2 ] || fail "a wrong option exited with $rc, not 2"
grep -q '^Usage: kestrovane-collect ' "$work/usage.txt" || fail "a wrong option gave no usage: $(cat "$work/usage.txt")"
[ ! -e "$work/x.orx" ] || fail "a wrong command line wrote a file"

now="2026-12-07 12:00:00"
"$sim" --link "$work/tty7" --scenario "$data/download.json" --fixed-now "$now" --log "$work/sim.log" >/dev/null &
simpid=$!
trap 'kill $simpid 2>/dev/null || true; wait $simpid 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -L "$work/tty7" ] && break
    sleep 0.05
done
# Channel 30 is beyond MaxChannel=20: the window would tune to 20, where the loggers are.
mkdir -p "$work/bin/ini"
cp "$collect" "$work/bin/"
printf '[Settings]\r\nMinChannel=16\r\nMaxChannel=20\r\n' >"$work/bin/ini/ProgSet.ini"
LC_ALL=C sed 's/^Channel 20/Channel 30/' "$data/download.cfg" >"$work/download.cfg"
rc=0
timeout 120 "$work/bin/$(basename "$collect")" "$work/download.cfg" --output "$work/out.orx" --port 7 \
    --port-device "$work/tty%d" --fixed-now "$now" 2>"$work/progress.txt" || rc=$?
[ $rc -eq 0 ] || { cat "$work/progress.txt"; fail "the download exited with $rc"; }
grep -q 'channel 20$' "$work/progress.txt" || fail "channel 30 not kept within 16..20: $(head -2 "$work/progress.txt")"
cmp "$data/download.orx" "$work/out.orx" || fail "the measurement file differs from download.orx"
echo "kestrovane-collect: help, version, usage error and download as expected"
