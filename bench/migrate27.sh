#!/usr/bin/env bash
# End-to-end benchmark of `qmsupport migrate27` on a big generated installation, against a
# floor measured in the same run (staging with hard links, and one load and save of every XML
# file with the library) and a `cp -a` of the installation. Each is run three times on a fresh
# copy of the plant and its median is quoted; wall time and peak memory come from
# /usr/bin/time -v.
#   bench/migrate27.sh [BUILD_DIR]     (default build/release; it must hold the benchmarks)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
work="$build/bench-migrate27"
rm -rf "$work"
mkdir -p "$work"
"$build/bench/bench_migrate27_plant" generate "$work/pristine"
sync

run_once() {  # LABEL COMMAND...: one run on a fresh copy of the plant, under /usr/bin/time -v
    local label=$1
    shift
    rm -rf "$work/plant" "$work/plant".* "$work/copy"
    cp -a "$work/pristine" "$work/plant"
    sync
    /usr/bin/time -v "$@" >"$work/$label.out" 2>"$work/$label.time" || {
        local status=$?
        # 3 is a migration with warnings, which the generated plant may give.
        [ "$status" -eq 3 ] || { cat "$work/$label.time" >&2; exit 1; }
    }
    local wall
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/$label.time")
    echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$label.time" >"$work/$label.peak"
}

median=0
measure() {  # LABEL COMMAND...: the median wall time of three runs, in $median
    local label=$1
    local times=()
    for _ in 1 2 3; do
        times+=("$(run_once "$@")")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
    printf '%-12s median wall %6.2f s of %s  peak memory %s KB\n' "$label" "$median" \
        "${times[*]}" "$(cat "$work/$label.peak")"
}

largest=$(find "$work/pristine/Cfg" -type f -printf '%s\n' | sort -n | tail -1)
printf 'installation: %s files, largest XML file %s bytes\n' \
    "$(find "$work/pristine" -type f | wc -l)" "$largest"
measure floor "$build/bench/bench_migrate27_plant" floor "$work/plant"
floor=$median
measure cp-a cp -a "$work/plant" "$work/copy"
copy=$median
measure link "$build/qmsupport" migrate27 "$work/plant" --quiet --backup=link \
    --report "$work/report.json"
link=$median
measure copy "$build/qmsupport" migrate27 "$work/plant" --quiet --report "$work/report.json"
default=$median
awk -v l="$link" -v d="$default" -v f="$floor" -v c="$copy" 'BEGIN {
    printf "link form / floor: %.2f (target: at most 2)\n", l / f
    printf "default form: %.2f s; floor + 1.5 x cp -a: %.2f s (target: at most that)\n", d, f + 1.5 * c
}'
printf 'memory target: %s KB (2 x largest file + 200 MB)\n' \
    $((2 * largest / 1024 + 200 * 1024))
rm -rf "$work"
