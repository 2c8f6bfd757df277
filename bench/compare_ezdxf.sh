#!/usr/bin/env bash
# Times frame listing on large tiled drawings, side by side in one run:
#   kestrelwick-plot --list (the whole program, when built), dxf_list_frames (the drawing library
#   alone) and Debian's ezdxf (readfile + query + bounding boxes of the same frames).
# Checks that all of them find the same frames, and reports wall time, CPU time and peak memory.
#
#   bench/compare_ezdxf.sh [BUILD_DIR] [SIZE_MB ...]        (defaults: build 10 100)
#
# Environment: KW_BENCH_INPUT  the real drawing that is tiled (ASCII DXF; default: the ACadSharp
#                              R2018 sample of ../shared/testdata)
#              KW_BENCH_DIR    where the generated drawings go (default: /tmp/kw_bench)
#              KW_BENCH_LAYER  the frame layer (default 图框; before release 2007 the generator
#                              writes it as \U+ escapes, which ezdxf 0.18 does not decode in
#                              layer names: use an ASCII name such as FRAME for such inputs)
# Installs python3-ezdxf (Debian) when it is missing; this is the benchmark's own need, not CI's.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 100)
input=${KW_BENCH_INPUT:-../shared/testdata/ACadSharp/samples/sample_AC1032_ascii.dxf}
work=${KW_BENCH_DIR:-/tmp/kw_bench}
python=/usr/bin/python3
layer=${KW_BENCH_LAYER:-图框}

if ! $python -c 'import ezdxf' 2>/dev/null; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get install -y -qq python3-ezdxf >/dev/null
fi
for tool in "$build/bench/gen_tiled_dxf" "$build/bench/dxf_list_frames"; do
    [ -x "$tool" ] || { echo "missing $tool: build the project first (cmake --build $build)" >&2; exit 1; }
done
plot="$build/app/plot/kestrelwick-plot"
[ -x "$plot" ] || plot=""
mkdir -p "$work"

cat > "$work/ezdxf_list.py" <<'PY'
import sys, time
import ezdxf
from ezdxf import bbox

path, layer = sys.argv[1], sys.argv[2]
start = time.perf_counter()
doc = ezdxf.readfile(path)
read = time.perf_counter()
layouts = [doc.modelspace()] + [doc.layouts.get(name) for name in doc.layouts.names_in_taborder()
                                if name != "Model"]
lines = []
for layout in layouts:
    for entity in layout.query(f'LWPOLYLINE[layer=="{layer}"]i'):
        box = bbox.extents([entity])
        lines.append(f"{box.extmin.x!r} {box.extmin.y!r} {box.extmax.x!r} {box.extmax.y!r}")
done = time.perf_counter()
sys.stdout.write("\n".join(lines) + ("\n" if lines else ""))
sys.stderr.write(f"ezdxf readfile {read - start:.2f} s, query + bbox {done - read:.2f} s\n")
PY

# Runs a command, its output (frame lines) to $2; prints "wall cpu peakKB".
measure() {
    local out=$1
    shift
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" > "$out" 2> "$work/stderr.txt" || {
        cat "$work/stderr.txt" >&2
        return 1
    }
    awk '{printf "%s %.2f %s", $1, $2 + $3, $4}' "$work/time.txt"
}

printf "%-28s %9s  %-18s %7s %7s %9s %6s %7s\n" file MB tool wall_s cpu_s peak_MB xsize frames
for size in "${sizes[@]}"; do
    file="$work/tiled_${size}mb.dxf"
    "$build/bench/gen_tiled_dxf" "$input" "$file" --size-mb "$size" --layer "$layer" > "$work/gen.txt"
    bytes=$(stat -c %s "$file")
    mb=$(awk -v b="$bytes" 'BEGIN{printf "%.1f", b/1e6}')
    declare -A cpu=()
    reference=""
    tools=(dxf_list_frames ezdxf)
    [ -n "$plot" ] && tools=(kestrelwick-plot "${tools[@]}")
    for tool in "${tools[@]}"; do
        case $tool in
        kestrelwick-plot) result=$(measure "$work/$tool.out" "$plot" --list --kind polyline --layer "$layer" "$file")
                          cut -f3 "$work/$tool.out" > "$work/$tool.frames" ;;
        dxf_list_frames)  result=$(measure "$work/$tool.out" "$build/bench/dxf_list_frames" "$file" "$layer")
                          cp "$work/$tool.out" "$work/$tool.frames" ;;
        ezdxf)            result=$(measure "$work/$tool.out" $python "$work/ezdxf_list.py" "$file" "$layer")
                          cp "$work/$tool.out" "$work/$tool.frames" ;;
        esac
        read -r wall cpu_s peak <<< "$result"
        cpu[$tool]=$cpu_s
        frames=$(wc -l < "$work/$tool.frames")
        printf "%-28s %9s  %-18s %7s %7s %9.1f %6.2f %7s\n" "$(basename "$file")" "$mb" "$tool" \
            "$wall" "$cpu_s" "$(awk -v k="$peak" 'BEGIN{print k/1024}')" \
            "$(awk -v k="$peak" -v b="$bytes" 'BEGIN{print k*1024/b}')" "$frames"
        # The same numbers, whatever their text form ("420" or "420.0").
        awk '{for (i = 1; i <= NF; i++) printf "%.17g%s", $i, (i < NF ? " " : "\n")}' \
            "$work/$tool.frames" | sort > "$work/$tool.sorted"
        if [ -z "$reference" ]; then
            reference=$tool
        elif ! cmp -s "$work/$reference.sorted" "$work/$tool.sorted"; then
            echo "  MISMATCH: $tool does not list the frames $reference lists" >&2
            diff "$work/$reference.sorted" "$work/$tool.sorted" | head -5 >&2
        fi
    done
    awk -v a="${cpu[ezdxf]}" -v b="${cpu[dxf_list_frames]}" \
        'BEGIN{printf "  ezdxf / dxf_list_frames CPU time: %.1fx\n", a/b}'
    if [ -n "$plot" ]; then
        awk -v a="${cpu[ezdxf]}" -v b="${cpu[kestrelwick-plot]}" \
            'BEGIN{printf "  ezdxf / kestrelwick-plot CPU time: %.1fx\n", a/b}'
    fi
    unset cpu
done
echo "load average during the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
