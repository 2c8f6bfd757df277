#!/usr/bin/env bash
# The price of opening a DWG: `kestrelwick-plot --list` on each drawing with an empty cache (the
# conversion included) and then with the converted drawing in the cache, best of N runs each, and
# the converter alone (wall time and peak memory of the node process); then Documents.Open alone,
# without the program's start and the frame search (dwg_open).
#
#   bench/dwg_cache.sh [BUILD_DIR] [RUNS] [DWG ...]
#       (defaults: build, 3, the two largest DWGs of ../shared/testdata and example_2000.dwg)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
shift 2 || shift $# || true
drawings=("$@")
data=../shared/testdata/libredwg/test/test-data
[ ${#drawings[@]} -gt 0 ] ||
    drawings=("$data/2018/Dynblocks.dwg" "$data/2004/material.dwg" "$data/example_2000.dwg")
plot=$build/app/plot/kestrelwick-plot
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home"

seconds() { # wall seconds of a command, 3 decimals
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}
best() { tr ' ' '\n' | awk NF | sort -g | head -n 1; }

printf 'drawing\tMB\tconverter s\tconverter peak MB\tfirst open s\tcached open s\tspeed-up\n'
for dwg in "${drawings[@]}"; do
    mb=$(stat -c %s "$dwg" | awk '{printf "%.2f", $1 / 1048576}')
    /usr/bin/time -o "$work/time" -f '%e %M' node dwg2dxf/kw-dwg2dxf.mjs "$dwg" "$work/out.dxf" \
        2>/dev/null >/dev/null
    read -r convert peak <"$work/time"
    cold="" warm=""
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/cache"
        cold+="$(seconds env HOME="$work/home" XDG_CACHE_HOME="$work/cache" "$plot" --list "$dwg") "
        warm+="$(seconds env HOME="$work/home" XDG_CACHE_HOME="$work/cache" "$plot" --list "$dwg") "
    done
    cold=$(best <<<"$cold")
    warm=$(best <<<"$warm")
    printf '%s\t%s\t%s\t%d\t%s\t%s\t%.1f×\n' "${dwg#"$data"/}" "$mb" "$convert" $((peak / 1024)) \
        "$cold" "$warm" "$(awk -v a="$cold" -v b="$warm" 'BEGIN { print a / b }')"
done
echo
"$build/bench/dwg_open" dwg2dxf/kw-dwg2dxf.mjs "$runs" "${drawings[@]}"
