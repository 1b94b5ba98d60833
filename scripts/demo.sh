#!/usr/bin/env bash
# Prepares BUILD_DIR/demo as a program folder, serves the demo group from kestrovane-sim on a
# pseudo-terminal, and runs the program against it; the simulator stops when the program exits.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
demo="$build/demo"
bin="$build/bin"

for exe in kestrovane kestrovane-sim; do
    if [[ ! -x "$bin/$exe" ]]; then
        echo "demo: $bin/$exe is missing; build first (./setup.sh demo)" >&2
        exit 1
    fi
done

mkdir -p "$demo/ini" "$demo/Cfg" "$demo/Archive"
cp -f "$bin/kestrovane" "$demo/"
[[ -d "$bin/sound" ]] && cp -rf "$bin/sound" "$demo/"
[[ -d "$bin/Cfg" ]] && cp -rf "$bin/Cfg/." "$demo/Cfg/"
cp -f "$repo/resources/demo/demo.cfg" "$demo/Cfg/"

# The program maps port N to PortDevice with %d replaced by N; the simulated modem is port 6.
ini="$demo/ini/ProgSet.ini"
if [[ -x "$bin/kv-ini-set" ]]; then
    "$bin/kv-ini-set" "$ini" Settings PortDevice "$demo/ttySIM%d"
    "$bin/kv-ini-set" "$ini" Settings Port 6
elif [[ ! -e "$ini" ]]; then
    printf '[Settings]\r\nPortDevice=%s\r\nPort=6\r\n' "$demo/ttySIM%d" >"$ini"
elif ! grep -q '^PortDevice=' "$ini"; then
    echo "demo: $ini exists without PortDevice; add PortDevice=$demo/ttySIM%d to [Settings]" >&2
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "demo: no display; run it under a virtual one: xvfb-run -a $0 $build" >&2
    exit 1
fi

"$bin/kestrovane-sim" --link "$demo/ttySIM6" --scenario "$repo/resources/demo/demo.json" \
    --log "$demo/sim.log" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT INT TERM

for _ in $(seq 50); do
    [[ -L "$demo/ttySIM6" ]] && break
    if ! kill -0 "$sim" 2>/dev/null; then
        echo "demo: the simulator did not start (see above)" >&2
        exit 1
    fi
    sleep 0.1
done

echo "demo: open Cfg/demo.cfg, switch \"модем\" on (port 6); simulator log: $demo/sim.log"
cd "$demo"
./kestrovane
