#!/usr/bin/env bash
# End-to-end benchmark of `qmsupport migrate27` on a big generated installation, against a
# floor measured in the same run (staging with hard links, and one load and save of every XML
# file with the library). Wall time and peak memory come from /usr/bin/time -v.
#   bench/migrate27.sh [BUILD_DIR]     (default build/release; it must hold the benchmarks)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
work="$build/bench-migrate27"
rm -rf "$work"
mkdir -p "$work"
"$build/bench/bench_migrate27_plant" generate "$work/plant"
sync

measure() {  # LABEL COMMAND...: runs the command under /usr/bin/time -v
    local label=$1
    shift
    /usr/bin/time -v "$@" >"$work/$label.out" 2>"$work/$label.time"
    local wall peak
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/$label.time")
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$label.time")
    # m:ss.ss or h:mm:ss to seconds
    seconds=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    printf '%-10s wall %6.2f s  peak memory %s KB\n' "$label" "$seconds" "$peak"
}

largest=$(find "$work/plant/Cfg" -type f -printf '%s\n' | sort -n | tail -1)
printf 'installation: %s files, largest XML file %s bytes\n' \
    "$(find "$work/plant" -type f | wc -l)" "$largest"
measure floor "$build/bench/bench_migrate27_plant" floor "$work/plant"
floor=$seconds
measure migrate27 "$build/qmsupport" migrate27 "$work/plant" --quiet \
    --report "$work/report.json"
awk -v m="$seconds" -v f="$floor" 'BEGIN { printf "migration / floor: %.2f (target: at most 3)\n", m / f }'
printf 'memory target: %s KB (2 x largest file + 200 MB)\n' \
    $((2 * largest / 1024 + 200 * 1024))
rm -rf "$work"
