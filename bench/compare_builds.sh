#!/bin/bash
# Two builds of the program, timed in turn on one drawing, so that whatever else the machine does
# falls on both alike: kestrelwick-plot plotting every frame on layer 图框, --list --kind auto,
# and bench/plot_pages. Prints one line per run (wall s, user s, system s, peak KiB); compare the
# minima.
#
#   bench/compare_builds.sh BEFORE_BUILD AFTER_BUILD DRAWING.dxf [ROUNDS]
set -euo pipefail
before=$1 after=$2 drawing=$3 rounds=${4:-3}
export QT_QPA_PLATFORM=offscreen
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() { # label, command...
    local label=$1
    shift
    rm -rf "$out/pages"
    mkdir -p "$out/pages"
    /usr/bin/time -o "$out/time" -f '%e %U %S %M' "$@" >/dev/null 2>&1 || true
    echo "$label $(tail -1 "$out/time")"
}
for ((round = 1; round <= rounds; round++)); do
    for side in before after; do
        build=$before
        [ "$side" = after ] && build=$after
        run "plot $side" "$build/app/plot/kestrelwick-plot" --kind polyline --layer 图框 \
            --output "$out/pages" "$drawing"
        run "list $side" "$build/app/plot/kestrelwick-plot" --list --kind auto "$drawing"
        run "pages $side" "$build/bench/plot_pages" "$drawing" "$out/pages"
    done
done
