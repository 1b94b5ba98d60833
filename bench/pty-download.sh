#!/usr/bin/env bash
# Download time over a pseudo-terminal against kestrovane-sim paced at 57600 bit/s, for every block
# size, against the line's own time: ./bench/pty-download.sh [BUILD_DIR] [COLLECTOR]
# COLLECTOR defaults to BUILD_DIR/bin/kestrovane-collect; the earlier kv-headless may be named
# instead, for figures from before a change.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
collect=${2:-$build/bin/kestrovane-collect}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/bin/kestrovane-sim" --link "$work/ttySIM6" --scenario "$here/pty/one-logger.json" --log "$work/sim.log" &
sim=$!
for _ in $(seq 50); do [[ -L "$work/ttySIM6" ]] && break; sleep 0.1; done

for size in 512 1024 2048 4096; do
    start=$(date +%s.%N)
    if [[ $(basename "$collect") == kv-headless ]]; then
        pos=$(( size == 4096 ? 0 : size == 2048 ? 1 : size == 1024 ? 2 : 3 ))
        args=(--scenario-group "$here/pty/one-logger.cfg" --out "$work/out.orx" --block-position "$pos")
    else
        args=("$here/pty/one-logger.cfg" --output "$work/out.orx" --block-size "$size" --archive "$work/archive.sqlite")
    fi
    "$collect" "${args[@]}" --port 6 --port-device "$work/ttySIM%d" --days 60 >/dev/null 2>"$work/log" ||
        { cat "$work/log" >&2; exit 1; }
    end=$(date +%s.%N)
    records=$(grep -c '^[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9] ' "$work/out.orx" || true)
    # 16 sensors: 42 bytes a record; framing adds 4 bytes in every 59 payload bytes; 10 bits a byte.
    awk -v s="$start" -v e="$end" -v n="$records" -v size="$size" 'BEGIN {
        bytes = n * 42; line = bytes * 63 / 59 * 10 / 57600;
        printf "pty block %4d B: %d records in %.1f s, data line time %.1f s (x%.3f)\n", size, n, e - s, line, (e - s) / line }'
done
