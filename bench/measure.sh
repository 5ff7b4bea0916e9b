# Shared by the end-to-end benchmarks (source it): runs a command on a fresh copy of a
# generated installation under /usr/bin/time -v and takes the median wall time of three runs.
# The caller runs `prepare`, which sets `root`, `build` and `work` (the scratch folder, holding
# the installation as "pristine").

prepare() {  # NAME [BUILD_DIR]: generates the plant of bench_NAME_plant in a fresh scratch folder
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    build=$(cd "${2:-$root/build/release}" && pwd)
    work="$build/bench-$1"
    rm -rf "$work"
    mkdir -p "$work"
    "$build/bench/bench_$1_plant" generate "$work/pristine"
    sync
}

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
runs=${BENCH_RUNS:-3}
measure() {  # LABEL COMMAND...: the median wall time of $runs runs (default 3), in $median
    local label=$1
    local times=()
    for _ in $(seq "$runs"); do
        times+=("$(run_once "$@")")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    printf '%-12s median wall %6.2f s of %s  peak memory %s KB\n' "$label" "$median" \
        "${times[*]}" "$(cat "$work/$label.peak")"
}
