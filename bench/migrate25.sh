#!/usr/bin/env bash
# End-to-end benchmark of `qmsupport migrate25` on a big generated installation from before
# 2.5, against a floor measured in the same run: staging with hard links, one load and save of
# every XML file, one decode per background reference and embedded image, one encode per
# stored image. Each is run three times (BENCH_RUNS sets another count) on a fresh copy of the
# plant and its median is quoted; wall time and peak memory come from /usr/bin/time -v.
#   bench/migrate25.sh [BUILD_DIR]     (default build/release; it must hold the benchmarks)
set -euo pipefail
. "$(dirname "$0")/measure.sh"
prepare migrate25 "${1:-}"

largest=$(find "$work/pristine/Cfg" -name '*.x*' -type f -printf '%s\n' | sort -n | tail -1)
printf 'installation: %s files, largest XML file %s bytes\n' \
    "$(find "$work/pristine" -type f | wc -l)" "$largest"
measure floor "$build/bench/bench_migrate25_plant" floor "$work/plant"
floor=$median
floor_peak=$(cat "$work/floor.peak")
measure migrate25 "$build/qmsupport" migrate25 "$work/plant" --quiet --backup=link \
    --report "$work/report.json"
migrate=$median
awk -v m="$migrate" -v f="$floor" 'BEGIN {
    printf "migrate25 / floor: %.2f (target: at most 3)\n", m / f
}'
# The largest image is a 1920 x 1080 background, decoded at 4 bytes a pixel.
printf 'memory target: %s KB (largest file + largest image + 200 MB); floor peak %s KB\n' \
    $(((largest + 1920 * 1080 * 4) / 1024 + 200 * 1024)) "$floor_peak"
echo "floodfill: each of the 200 pages with a background holds one floodfill control"
rm -rf "$work"
