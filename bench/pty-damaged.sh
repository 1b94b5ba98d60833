#!/usr/bin/env bash
# Downloads over damaged links through a pseudo-terminal against kestrovane-sim paced at 57600 bit/s:
# 1000 records of 16 sensors at every block size, each link's time divided by the good link's at
# that size, and the records checked against those of the good link (the simulator's own, all of
# them): ./bench/pty-damaged.sh [BUILD_DIR] [ROUNDS]
# ROUNDS downloads of each kind are timed with different link seeds and their times summed.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rounds=${2:-1}
collect=$build/bin/kestrovane-collect
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
now="2026-12-07 12:00:00"
count=1000

links=("good link|{}"
    "1% spoiled|{\"spoiledPacket\": 0.01}"
    "2% spoiled|{\"spoiledPacket\": 0.02}"
    "5% spoiled|{\"spoiledPacket\": 0.05}"
    "10% spoiled|{\"spoiledPacket\": 0.10}"
    "1% lost|{\"lostPacket\": 0.01}"
    "5% cut short|{\"truncate\": 0.05}"
    "2% sp+1% lost+5% cut|{\"spoiledPacket\": 0.02, \"lostPacket\": 0.01, \"truncate\": 0.05}")

# Starts the simulator with these faults and link seed; waits for its pty.
start_sim() {
    jq --argjson f "$1" --argjson seed "$2" --argjson n "$count" \
        '.seed = $seed | .loggers[0].faults = $f | .loggers[0].generate.count = $n' \
        "$here/pty/one-logger.json" >"$work/scenario.json"
    rm -f "$work/ttySIM6"
    "$build/bin/kestrovane-sim" --link "$work/ttySIM6" --scenario "$work/scenario.json" \
        --fixed-now "$now" --log "$work/sim.log" >/dev/null &
    sim=$!
    for _ in $(seq 50); do [[ -L "$work/ttySIM6" ]] && break; sleep 0.1; done
}

stop_sim() {
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    sim=
}

# One download; prints its seconds, leaves the records in $work/records.
download() {
    rm -f "$work/archive.sqlite"
    local start end
    start=$(date +%s.%N)
    "$collect" "$here/pty/one-logger.cfg" --output "$work/out.orx" --block-size "$1" \
        --archive "$work/archive.sqlite" --port 6 --port-device "$work/ttySIM%d" --days 60 \
        --fixed-now "$now" >/dev/null 2>"$work/log" || { cat "$work/log" >&2; return 1; }
    end=$(date +%s.%N)
    grep '^[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9] ' "$work/out.orx" >"$work/records" || true
    sqlite3 "$work/archive.sqlite" 'select time, variant, voltage, hex(readings) from record order by time, variant' >"$work/archived" 2>/dev/null ||
        echo "?" >"$work/archived"
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

sizes=(512 1024 2048 4096)
declare -A good
printf '%d records of 16 sensors over a pty, time / good link'"'"'s (! where the records differ):\n%-22s' \
    "$count" "link"
for size in "${sizes[@]}"; do printf '%12s B' "$size"; done
printf '\n'
for entry in "${links[@]}"; do
    name=${entry%%|*}
    faults=${entry#*|}
    printf '%-22s' "$name"
    for size in "${sizes[@]}"; do
        total=0
        mark=" "
        for ((round = 0; round < rounds; round++)); do
            start_sim "$faults" $((7 + round))
            if ! t=$(download "$size"); then
                stop_sim
                mark="F"
                break
            fi
            stop_sim
            total=$(awk -v a="$total" -v b="$t" 'BEGIN { print a + b }')
            if [[ $name == "good link" ]]; then
                [[ $(wc -l <"$work/records") -eq $count ]] || mark="!"
                cp "$work/records" "$work/good-$size"
                cp "$work/archived" "$work/good-archived-$size"
            elif ! cmp -s "$work/records" "$work/good-$size" ||
                ! cmp -s "$work/archived" "$work/good-archived-$size"; then
                mark="!"
            fi
        done
        if [[ $name == "good link" ]]; then
            good[$size]=$total
            printf '%8.1f s %s ' "$total" "$mark"
        elif [[ $mark == F ]]; then
            printf '%10s   ' "failed"
        else
            awk -v t="$total" -v g="${good[$size]}" -v m="$mark" 'BEGIN { printf "%10.2f x%s ", t / g, m }'
        fi
    done
    printf '\n'
done
