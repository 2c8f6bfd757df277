#!/usr/bin/env bash
# Plots every frame of tiled drawings as its own page and times it against Debian's LibreCAD
# rendering each whole drawing once to one PDF page (dxf2pdf), side by side in one run:
#   kestrelwick-plot (the whole program: built-in CAD, runs, PDF device; when it plots),
#   plot_pages (the painter alone) and `librecad dxf2pdf -a`.
# Reports wall time, pages and peak memory of each.
#
#   bench/compare_librecad.sh [BUILD_DIR] [DRAWING.dxf ...]
#
# Without drawings it makes two with bench/gen_tiled_dxf from ../shared/testdata: a sheet set of
# 20 A3 sheets (~0.4 MB) and 285 sheets of the TGL title-block drawing (~71 MB, ~295 000
# entities), in KW_BENCH_DIR (default /tmp/kw_bench). LibreCAD comes from Debian (librecad);
# installing it is the benchmark's own need, not CI's.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
work=${KW_BENCH_DIR:-/tmp/kw_bench}
mkdir -p "$work"
drawings=("$@")
if [ ${#drawings[@]} -eq 0 ]; then
    templates=../shared/testdata/qcad/libraries/templates/metric/dl3dl
    "$build/bench/gen_tiled_dxf" "$templates/Vorlage_Qcad_Din6771-1_quer_A3.dxf" \
        "$work/sheets20.dxf" --tiles 20 >/dev/null
    "$build/bench/gen_tiled_dxf" "$templates/TGL31031_1.dxf" "$work/tgl73mb.dxf" \
        --size-mb 73 >/dev/null
    drawings=("$work/sheets20.dxf" "$work/tgl73mb.dxf")
fi
if ! command -v librecad >/dev/null; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get install -y -qq librecad >/dev/null
fi
export QT_QPA_PLATFORM=offscreen

measure() { # label, output folder, command...
    local label=$1 out=$2
    shift 2
    rm -rf "$out"
    mkdir -p "$out"
    local stats
    # time writes to a file of its own: the command's output and messages are not measured.
    /usr/bin/time -o "$out.time" -f '%e %U %S %M' "$@" >/dev/null 2>&1 || true
    stats=$(tail -1 "$out.time")
    local wall user system peak cpu
    read -r wall user system peak <<<"$stats"
    cpu=$(echo "$user + $system" | bc -l)
    local pages
    pages=$(find "$out" -name '*.pdf' | wc -l)
    printf '  %-22s %8.2f s wall %8.2f s CPU  %5d pages  peak %6.0f MiB\n' "$label" "$wall" "$cpu" \
        "$pages" "$(echo "$peak / 1024" | bc -l)"
}

for drawing in "${drawings[@]}"; do
    size=$(stat -c %s "$drawing")
    printf '%s (%.1f MB)\n' "$(basename "$drawing")" "$(echo "$size / 1000000" | bc -l)"
    if "$build/app/plot/kestrelwick-plot" --help 2>&1 | grep -q -- --output; then
        measure kestrelwick-plot "$work/out-kw" "$build/app/plot/kestrelwick-plot" \
            --kind polyline --layer 图框 --output "$work/out-kw" "$drawing"
    fi
    measure plot_pages "$work/out-pages" "$build/bench/plot_pages" "$drawing" "$work/out-pages"
    measure "librecad dxf2pdf" "$work/out-librecad" librecad dxf2pdf -a -t "$work/out-librecad" \
        "$drawing"
done
