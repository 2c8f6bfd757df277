#!/usr/bin/env bash
# Writes every frame of the 71.5 MB benchmark drawing (285 TGL sheets) as a drawing of its own
# (kestrelwick-plot --split) and plots the same frames to PDF, each timed with its peak memory;
# then checks three of the drawings with the peers: LibreCAD's dxf2pdf must make a PDF of each and
# ezdxf's audit must find no error the source does not have.
#
#   bench/split_drawings.sh [BUILD_DIR]
#
# Works in KW_BENCH_DIR (default /tmp/kw_bench). LibreCAD and ezdxf come from Debian (librecad,
# python3-ezdxf); a missing one is said and its check left out.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=${KW_BENCH_DIR:-/tmp/kw_bench}
mkdir -p "$work"
drawing="$work/tgl73mb.dxf"
if [ ! -f "$drawing" ]; then
    "$build/bench/gen_tiled_dxf" ../shared/testdata/qcad/libraries/templates/metric/dl3dl/TGL31031_1.dxf \
        "$drawing" --size-mb 73 >/dev/null
fi
export QT_QPA_PLATFORM=offscreen KESTRELWICK_SETTINGS_DIR="$work/settings" XDG_STATE_HOME="$work/settings"
mkdir -p "$work/settings"

measure() { # label, output folder, options...
    local label=$1 out=$2
    shift 2
    rm -rf "$out"
    /usr/bin/time -v nice -n 10 "$build/app/plot/kestrelwick-plot" "$@" --layer 图框 -j 1 \
        --output "$out" --log "$out.jsonl" "$drawing" >/dev/null 2>"$out.time"
    printf '%-8s %s files  wall %s  peak %s MB\n' "$label" "$(ls "$out" | wc -l)" \
        "$(grep 'Elapsed' "$out.time" | awk '{print $NF}')" \
        "$(grep 'Maximum resident' "$out.time" | awk '{print int($NF / 1024)}')"
}
measure split "$work/split" --split
measure plot "$work/pdf"

samples=("$work/split/tgl73mb-001.dxf" "$work/split/tgl73mb-137.dxf" "$work/split/tgl73mb-285.dxf")
if command -v librecad >/dev/null; then
    rm -rf "$work/librecad" && mkdir -p "$work/librecad"
    for sample in "${samples[@]}"; do
        timeout 120 librecad dxf2pdf -a -t "$work/librecad" "$sample" >/dev/null 2>&1 || true
        pdf="$work/librecad/$(basename "${sample%.dxf}").pdf"
        if [ -s "$pdf" ]; then echo "LibreCAD $(basename "$sample"): $(stat -c %s "$pdf") bytes of PDF"; else echo "LibreCAD $(basename "$sample"): no PDF"; fi
    done
else
    echo "librecad is not installed: its check is left out"
fi
if /usr/bin/python3 -c 'import ezdxf' 2>/dev/null; then
    # The source's own faults (the generator writes the frame layer's name escaped) are the bar.
    echo "ezdxf audit (errors fixes codes): source, then the samples"
    /usr/bin/python3 tests/output/audit_dxf.py "$drawing" "${samples[@]}"
else
    echo "python3-ezdxf is not installed: its check is left out"
fi
