# Shared by the end-to-end benchmarks (source it): runs a command on fresh copies of a
# generated installation under /usr/bin/time -v and takes the median wall time of three runs.
# The caller runs `prepare`, which sets `root`, `build` and `work` (the scratch folder, holding
# the installation as "pristine"). A command works on "$work/plant" and may write
# "$work/copy" and "$work/plant.*" beside it.

# BENCH_WORK names the folder that holds the scratch folder (default: the build folder), so
# that another file system can be measured.
prepare() {  # NAME [BUILD_DIR]: generates the plant of bench_NAME_plant in a fresh scratch folder
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    build=$(cd "${2:-$root/build/release}" && pwd)
    work="${BENCH_WORK:-$build}/bench-$1"
    rm -rf "$work"
    mkdir -p "$work"
    "$build/bench/bench_$1_plant" generate "$work/pristine"
    sync
}

run_once() {  # LABEL COMMAND...: one run on "$work/plant", under /usr/bin/time -v
    local label=$1
    shift
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
runs=${BENCH_RUNS:-3}
measure() {  # LABEL COMMAND...: the median wall time of $runs runs (default 3), in $median
    local label=$1
    local times=()
    for k in $(seq "$runs"); do
        cp -a "$work/pristine" "$work/plant-$k"
    done
    sync
    # ext4 without a journal, as on this kind of machine, steps over every inode freed in the
    # last 60 seconds (360 once its inode table block is dirty again, as creating files makes
    # it) whenever it creates a file, one by one from the start of the inode group: after
    # deletions, creating 20,000 files took up to ten times as long, at random. So nothing is
    # deleted until the benchmark is over; the copies are made and flushed first, and the runs
    # wait once (BENCH_SETTLE sets another time) for any deletion made before the benchmark.
    sleep "${BENCH_SETTLE:-61}"
    for k in $(seq "$runs"); do
        mv "$work/plant-$k" "$work/plant"
        times+=("$(run_once "$@")")
        local kept="$work/done-$label-$k"
        mkdir "$kept"
        mv "$work/plant" "$kept/"
        for left in "$work"/plant.* "$work/copy"; do
            if [ -e "$left" ]; then mv "$left" "$kept/"; fi
        done
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    printf '%-12s median wall %6.2f s of %s  peak memory %s KB\n' "$label" "$median" \
        "${times[*]}" "$(cat "$work/$label.peak")"
}
