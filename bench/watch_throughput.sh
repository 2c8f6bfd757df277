#!/usr/bin/env bash
# The watched folder against a plain batch: the same drawings (made as batch_plot.sh makes them,
# from the DXF files of ../shared/testdata, each tiled into a sheet of framed copies) plotted by
# `kestrelwick-plot -j 1` over the folder, and by `kestrelwick-plot --watch` from the moment they
# are moved into the watched folder until the last one is filed. Prints pages per minute of each
# and the watch's time as a share of the batch's.
#
#   bench/watch_throughput.sh [BUILD_DIR] [TILES] [SETTLE]
#
# BUILD_DIR defaults to build/, TILES (frames per drawing) to 1, SETTLE (--settle) to 2 seconds.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
tiles="${2:-1}"
settle="${3:-2}"
plot="$build/app/plot/kestrelwick-plot"
generate="$build/bench/gen_tiled_dxf"
testdata="$root/../shared/testdata"
for tool in "$plot" "$generate"; do
    [ -x "$tool" ] || { echo "watch_throughput.sh: $tool is missing" >&2; exit 1; }
done

work="$(mktemp -d)"
watcher=""
trap '[ -n "$watcher" ] && kill -9 "$watcher" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state" KESTRELWICK_SETTINGS_DIR="$work/settings"
mkdir -p "$work/drawings" "$work/settings" "$work/in"

n=0
while IFS= read -r -d '' source; do
    n=$((n + 1))
    "$generate" "$source" "$work/drawings/d$(printf '%03d' $n).dxf" --tiles "$tiles" \
        >/dev/null 2>&1 || rm -f "$work/drawings/d$(printf '%03d' $n).dxf"
done < <(find "$testdata" -iname '*.dxf' -not -path '*/fuzz/*' -print0 | sort -z)
drawings=$(find "$work/drawings" -name '*.dxf' | wc -l)
echo "drawings: $drawings ($tiles frames each)"

now() { date +%s.%N; }
frames=(--kind polyline --layer 图框 --no-progress)

start=$(now)
"$plot" "${frames[@]}" -j 1 --output "$work/batch" --log "$work/batch.jsonl" "$work/drawings" \
    >/dev/null 2>&1 || true
batch=$(echo "$(now) - $start" | bc -l)
batchPages=$(grep -c '"status":"plotted"' "$work/batch.jsonl" || true)

"$plot" "${frames[@]}" --watch "$work/in" --settle "$settle" --output "$work/watch" \
    >"$work/watch.out" 2>/dev/null &
watcher=$!
sleep 1
start=$(now)
mv "$work/drawings"/*.dxf "$work/in/"
while [ -n "$(find "$work/in" -maxdepth 1 -name '*.dxf' -print -quit)" ]; do
    sleep 0.05
done
watch=$(echo "$(now) - $start" | bc -l)
kill -TERM "$watcher"
wait "$watcher" || true
watcher=""
watchPages=$(grep -c '"status":"plotted"' "$work/in/kestrelwick-watch.jsonl" || true)

printf 'batch -j 1: %d pages in %.1f s (%.0f pages/min)\n' "$batchPages" "$batch" \
    "$(echo "$batchPages * 60 / $batch" | bc -l)"
printf 'watch (--settle %s): %d pages in %.1f s (%.0f pages/min), %.1f %% of the batch time\n' \
    "$settle" "$watchPages" "$watch" "$(echo "$watchPages * 60 / $watch" | bc -l)" \
    "$(echo "100 * $watch / $batch" | bc -l)"
# The time the pages themselves took, by the logs: what the two runs share, without the settle
# time and the polling, and less sensitive to the machine's other load.
sum() { grep -o '"seconds":[0-9.e+-]*' "$1" | cut -d: -f2 | awk '{ s += $1 } END { print s }'; }
printf 'time in pages by the logs: batch %.1f s, watch %.1f s\n' "$(sum "$work/batch.jsonl")" \
    "$(sum "$work/in/kestrelwick-watch.jsonl")"
