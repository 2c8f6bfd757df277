#!/usr/bin/env bash
# Measures the two DWG readers of the npm registry on every DWG of ../shared/testdata:
#   libredwg  dwg2dxf/kw-dwg2dxf.mjs (LibreDWG's own DXF writer; the converter the program runs)
#   libdxfrw  bench/dwg_candidates/libdxfrw.mjs (libdxfrw's reader and DXF writer)
# Per DWG and reader: exit status, wall time, peak memory (RSS of the node process); for a DWG with
# a DXF twin (same base name, same folder) whether the frame lists of `kestrelwick-plot --list`
# (--kind block --block '*' and --kind polyline --layer '*') and the entity counts per layout and
# type agree. Ends with a summary per DWG release and reader.
#
#   bench/dwg_candidates.sh [BUILD_DIR]        (default: build; needs kestrelwick-plot and
#                                               dxf_entity_counts built, `npm ci` in dwg2dxf/)
# Environment: KW_BENCH_DIR    where the results go (default: /tmp/kw_dwg_bench)
#              KW_DWG_TIMEOUT  seconds per conversion (default 120)
# Installs the second reader with `npm ci` in bench/dwg_candidates/ when it is missing.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=${KW_BENCH_DIR:-/tmp/kw_dwg_bench}
limit=${KW_DWG_TIMEOUT:-120}
data=../shared/testdata
plot=$build/app/plot/kestrelwick-plot
counts=$build/bench/dxf_entity_counts
for tool in "$plot" "$counts"; do
    [ -x "$tool" ] || { echo "missing $tool: build it first" >&2; exit 2; }
done
[ -d dwg2dxf/node_modules ] || (cd dwg2dxf && npm ci --no-audit --no-fund >/dev/null)
[ -d bench/dwg_candidates/node_modules ] ||
    (cd bench/dwg_candidates && npm ci --no-audit --no-fund >/dev/null)
declare -A script=([libredwg]=dwg2dxf/kw-dwg2dxf.mjs [libdxfrw]=bench/dwg_candidates/libdxfrw.mjs)
readers=(libredwg libdxfrw)
rm -rf "$work" && mkdir -p "$work/out" "$work/home"
results=$work/results.tsv
printf 'file\trelease\tbytes\treader\tstatus\tseconds\tpeak_kb\tblocks\tpolylines\tcounts\n' >"$results"

# Frames of one drawing without the path column; HOME keeps the settings file out of the way.
frames() {
    HOME=$work/home "$plot" --list "$@" 2>/dev/null | cut -f2-
}

# Whether two frame lists agree: the same pages, each number within 1e-9 of its size (a DXF
# writer prints a double with 15 to 17 digits, so the last one may differ).
same_frames() {
    awk 'NR == FNR { a[FNR] = $0; n = FNR; next }
         a[FNR] == $0 { m = FNR; next }
         { m = FNR; j = split(a[FNR], x, /[ \t]/); k = split($0, y, /[ \t]/)
           if (j != k) exit 1
           for (i = 1; i <= k; i++) { d = x[i] - y[i]; s = (x[i] < 0 ? -x[i] : x[i]) + 1
               if ((d < 0 ? -d : d) > 1e-9 * s) exit 1 } }
         END { if (n != m) exit 1 }' "$1" "$2"
}

while IFS= read -r -d '' dwg; do
    rel=${dwg#"$data"/}
    release=$(head -c 6 "$dwg" | tr -c 'A-Za-z0-9.' '?')
    size=$(stat -c %s "$dwg")
    twin=${dwg%.*}.dxf
    [ -f "$twin" ] || twin=""
    if [ -n "$twin" ]; then
        frames --kind block --block '*' "$twin" >"$work/twin_blocks"
        frames --kind polyline --layer '*' "$twin" >"$work/twin_polylines"
        "$counts" "$twin" >"$work/twin_counts" 2>/dev/null
    fi
    for reader in "${readers[@]}"; do
        out=$work/out/$reader/${rel%.*}.dxf
        mkdir -p "$(dirname "$out")"
        /usr/bin/time -o "$work/time" -f '%e %M' timeout -s KILL "$limit" \
            node "${script[$reader]}" "$dwg" "$out" 2>"$out.stderr" >/dev/null
        status=$?
        read -r seconds peak <<<"$(tail -n 1 "$work/time")"
        [ "$status" -eq 137 ] && status=timeout
        blocks=- polylines=- same=-
        if [ -n "$twin" ] && [ "$status" = 0 ]; then
            frames --kind block --block '*' "$out" >"$work/blocks"
            frames --kind polyline --layer '*' "$out" >"$work/polylines"
            same_frames "$work/twin_blocks" "$work/blocks" && blocks=same || blocks=DIFF
            same_frames "$work/twin_polylines" "$work/polylines" && polylines=same || polylines=DIFF
            "$counts" "$out" 2>/dev/null | cmp -s - "$work/twin_counts" && same=same || same=DIFF
        fi
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$rel" "$release" "$size" "$reader" \
            "$status" "$seconds" "$peak" "$blocks" "$polylines" "$same" >>"$results"
    done
done < <(find "$data" -iname '*.dwg' -print0 | sort -z)

echo "per file: $results"
awk -F'\t' 'NR > 1 {
        key = $2 "\t" $4; files[key]++; if ($5 == 0) ok[key]++
        if ($8 != "-") { twins[key]++; if ($8 == "same" && $9 == "same") fr[key]++; if ($10 == "same") ct[key]++ }
        if ($5 == 0 && $6 > maxs[$4]) maxs[$4] = $6
        if ($7 > maxm[$4]) maxm[$4] = $7
        if ($5 == 0) { sum[$4] += $6; n[$4]++ }
    }
    END {
        printf "release\treader\tconverted\ttwins: frames same\ttwins: counts same\n"
        for (k in files) printf "%s\t%d/%d\t%d/%d\t%d/%d\n", k, ok[k], files[k], fr[k], twins[k], ct[k], twins[k] | "sort"
        close("sort")
        for (r in maxs) printf "%s: mean %.2f s, slowest %.2f s, peak memory %d MB\n", r, sum[r] / n[r], maxs[r], maxm[r] / 1024
    }' "$results"
