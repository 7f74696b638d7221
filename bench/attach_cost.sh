#!/bin/sh
# CPU cost of keeping the strip attached, under Wine: Tavrowen2.exe's CPU time
# over a stretch detached (no Task Manager, a discovery every 150 ms) and a
# stretch attached (the stand-in open, the watch timers every 150 ms), each as
# a share of one core. bench_attach_cost.exe runs the stretches; the times are
# read here from /proc (utime + stime), because Wine's GetProcessTimes gives
# only the caller's own times. Beside the program: the stand-in Task Manager,
# which answers the watch, and the prefix's wineserver, which carries every
# message between the programs.
#   attach_cost.sh BUILD_DIR [SECONDS_PER_STRETCH (default 60)]
set -eu
build_dir=$(cd "${1:?usage: attach_cost.sh BUILD_DIR [SECONDS]}" && pwd)
seconds="${2:-60}"
root=$(cd "$(dirname "$0")/.." && pwd)
bench_name=bench_attach_cost
. "$root/bench/bench_prefix.sh"
prefix="$TAVROWEN_WINE_PREFIX"
log="$prefix.log"
rm -f "$log"

export TAVROWEN_RUN_TIMEOUT=$((seconds * 2 + 180))
sh "$root/tests/wine_run.sh" "$build_dir/bin/bench_attach_cost.exe" "$seconds" >"$prefix.out" 2>&1 &
runner=$!

ticks=$(getconf CLK_TCK)

# The process of this prefix whose command line holds $1.
find_process() {
    for dir in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$dir/cmdline" | grep -q "$1" || continue
        tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qx "WINEPREFIX=$prefix" || continue
        echo "${dir#/proc/}"
        return
    done
}

# utime + stime of a process, in clock ticks.
cpu_ticks() {
    sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | awk '{print $12 + $13}'
}

now() {
    awk '{print $1}' /proc/uptime
}

wait_for_line() {
    while ! grep -q "$1" "$log" 2>/dev/null; do
        kill -0 "$runner" 2>/dev/null || return 1
        sleep 0.1
    done
}

report() {
    # name, process ticks before, after, wall before, after
    awk -v name="$1" -v a="$2" -v b="$3" -v t0="$4" -v t1="$5" -v hz="$ticks" 'BEGIN {
        cpu = (b - a) / hz; wall = t1 - t0;
        printf "%s: %.2f s in %.1f s = %.2f%% of one core\n", name, cpu, wall, 100 * cpu / wall }'
}

figures=""
for phase in detached attached; do
    wait_for_line "phase $phase begin" || break
    program=$(find_process 'Tavrowen2.exe')
    server=$(find_process 'wineserver')
    manager=$(find_process 'taskmgr.exe')
    t0=$(now); p0=$(cpu_ticks "$program"); s0=$(cpu_ticks "$server"); m0=$(cpu_ticks "$manager")
    wait_for_line "phase $phase end" || break
    t1=$(now); p1=$(cpu_ticks "$program"); s1=$(cpu_ticks "$server"); m1=$(cpu_ticks "$manager")
    figures="$figures$(report "Tavrowen2.exe, $phase" "$p0" "$p1" "$t0" "$t1")
"
    [ -n "$manager" ] && figures="$figures$(report "  Task Manager (stand-in), $phase" "$m0" "$m1" "$t0" "$t1")
"
    figures="$figures$(report "  wineserver, $phase" "$s0" "$s1" "$t0" "$t1")
"
done
wait "$runner" && status=0 || status=$?
grep -v '^phase ' "$prefix.out"
printf 'CPU time over %s s per stretch, from /proc:\n%s' "$seconds" "$figures"
rm -f "$prefix.out"
exit "$status"
