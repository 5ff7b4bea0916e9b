#!/usr/bin/env bash
# End-to-end benchmark of `qmsupport migrate27` on a big generated installation, against a
# floor measured in the same run (staging with hard links, and one load and save of every XML
# file with the library) and a `cp -a` of the installation. Each is run three times (BENCH_RUNS
# sets another count) on a fresh copy of the plant and its median is quoted; wall time and
# peak memory come from /usr/bin/time -v.
#   bench/migrate27.sh [BUILD_DIR]     (default build/release; it must hold the benchmarks)
set -euo pipefail
. "$(dirname "$0")/measure.sh"
prepare migrate27 "${1:-}"

largest=$(find "$work/pristine/Cfg" -type f -printf '%s\n' | sort -n | tail -1)
printf 'installation: %s files, largest XML file %s bytes\n' \
    "$(find "$work/pristine" -type f | wc -l)" "$largest"
measure floor "$build/bench/bench_migrate27_plant" floor "$work/plant"
floor=$median
measure cp-a cp -a "$work/plant" "$work/copy"
plain=$median
# The migration flushes what it wrote before it swaps the tree in; so does the floor.
measure cp-a+sync sh -c 'cp -a "$1" "$2" && sync' sh "$work/plant" "$work/copy"
copy=$median
measure link "$build/qmsupport" migrate27 "$work/plant" --quiet --backup=link \
    --report "$work/report.json"
link=$median
measure copy "$build/qmsupport" migrate27 "$work/plant" --quiet --report "$work/report.json"
default=$median
awk -v l="$link" -v d="$default" -v f="$floor" -v c="$copy" -v p="$plain" 'BEGIN {
    printf "link form / floor: %.2f (target: at most 2)\n", l / f
    printf "default form: %.2f s; target: at most floor + 1.5 x cp -a = %.2f s", d, f + 1.5 * p
    printf " (with cp -a flushed as the migration is: %.2f s)\n", f + 1.5 * c
}'
printf 'memory target: %s KB (2 x largest file + 200 MB)\n' \
    $((2 * largest / 1024 + 200 * 1024))
rm -rf "$work"
