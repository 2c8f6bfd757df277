#!/usr/bin/env bash
# The batch bench of kestrelwick-plot: a folder of at least 200 drawings made from the DXF files
# of ../shared/testdata, each tiled by gen_tiled_dxf into a sheet of framed copies, plotted to PDF
# with one worker and with two. Prints pages per minute for each run, the peak memory of the
# serial run (one process plotting every drawing in turn) and of one worker process fed every
# drawing, as a parallel run feeds its workers.
#
#   bench/batch_plot.sh [BUILD_DIR] [TILES]
#
# BUILD_DIR defaults to build/, TILES (frames per drawing) to 4. Needs the build's
# kestrelwick-plot and gen_tiled_dxf, and /usr/bin/time.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
tiles="${2:-4}"
plot="$build/app/plot/kestrelwick-plot"
generate="$build/bench/gen_tiled_dxf"
testdata="$root/../shared/testdata"
for tool in "$plot" "$generate" /usr/bin/time; do
    [ -x "$tool" ] || { echo "batch_plot.sh: $tool is missing" >&2; exit 1; }
done
[ -d "$testdata" ] || { echo "batch_plot.sh: $testdata is missing" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state" KESTRELWICK_SETTINGS_DIR="$work/settings"
mkdir -p "$work/drawings" "$work/settings"

# Every DXF the generator can tile, each its own drawing; the frame fixtures as they are.
n=0
while IFS= read -r -d '' source; do
    n=$((n + 1))
    if ! "$generate" "$source" "$work/drawings/d$(printf '%03d' $n).dxf" --tiles "$tiles" \
        >/dev/null 2>&1; then
        rm -f "$work/drawings/d$(printf '%03d' $n).dxf"
    fi
done < <(find "$testdata" -iname '*.dxf' -not -path '*/fuzz/*' -print0 | sort -z)
drawings=$(find "$work/drawings" -name '*.dxf' | wc -l)
bytes=$(du -sb "$work/drawings" | cut -f1)
printf 'drawings: %d (%.1f MB, %d frames each, from %d files of ../shared/testdata)\n' \
    "$drawings" "$(echo "$bytes / 1000000" | bc -l)" "$tiles" "$n"
if [ "$drawings" -lt 200 ]; then
    echo "batch_plot.sh: fewer than 200 drawings could be made" >&2
    exit 1
fi

# One run: wall time, peak memory of the command's own process, pages from its log.
run() {
    local jobs="$1"
    local out="$work/out-j$jobs"
    /usr/bin/time -o "$work/j$jobs.time" -f '%e %M %U %S' "$plot" --kind polyline --layer 图框 \
        --no-progress -j "$jobs" --output "$out" --log "$work/j$jobs.jsonl" "$work/drawings" \
        >/dev/null 2>"$work/j$jobs.err" || true
    local stats
    stats=$(tail -1 "$work/j$jobs.time")
    local seconds peak user system
    read -r seconds peak user system <<<"$stats"
    local pages failed
    pages=$(grep -c '"status":"plotted"' "$work/j$jobs.jsonl" || true)
    failed=$(grep -c '"status":"failed"' "$work/j$jobs.jsonl" || true)
    printf -- '-j %d: %5d pages in %7.2f s = %7.0f pages/min (%.0f pages/h), %d failed; ' \
        "$jobs" "$pages" "$seconds" "$(echo "$pages * 60 / $seconds" | bc -l)" \
        "$(echo "$pages * 3600 / $seconds" | bc -l)" "$failed"
    printf 'peak %.0f MiB in the command%s; CPU %.1f s, workers included\n' \
        "$(echo "$peak / 1024" | bc -l)" "$([ "$jobs" -gt 1 ] && echo ' (workers apart)')" \
        "$(echo "$user + $system" | bc -l)"
    echo "$seconds" >"$work/j$jobs.seconds"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
run 1
run 2
printf 'speed-up -j 2 over -j 1: %.2f\n' \
    "$(echo "$(cat "$work/j1.seconds") / $(cat "$work/j2.seconds")" | bc -l)"

# What failed, and why (drawings the built-in CAD cannot read).
grep -h '"status":"failed"' "$work/j1.jsonl" | sed 's/.*"drawing":"\([^"]*\)".*"error":"\([^"]\{0,160\}\).*/  failed: \1: \2/' |
    sed "s|$work/drawings/||"

# A worker of a parallel run plots drawing after drawing: its peak over the whole set is the
# most any of the N workers holds.
find "$work/drawings" -name '*.dxf' | sort | sed 's/^\(.*\)$/*\t"\1"/' >"$work/jobs.txt"
/usr/bin/time -o "$work/w.time" -f '%M' "$plot" --kind polyline --layer 图框 \
    --output "$work/out-w" --worker <"$work/jobs.txt" >/dev/null 2>&1 || true
printf 'peak memory of one worker plotting all %d drawings in turn: %.0f MiB\n' "$drawings" \
    "$(echo "$(tail -1 "$work/w.time") / 1024" | bc -l)"
