#!/usr/bin/env bash
# Builds a libFuzzer target with clang, AddressSanitizer and UBSan, and runs it for a bounded time
# on its corpus. Exit status non-zero on a crash, hang or leak.
#
#   tests/fuzz/fuzz.sh [TARGET] [SECONDS] [BUILD_DIR]      (defaults: dxf_reader 60 /tmp/kw_fuzz)
#
# Targets (every reader of bytes the program did not write, and the painter):
#   dxf_reader      DXF files (ASCII and binary)
#   proxy_graphics  the proxy graphics of custom objects (the 310 chunks joined)
#   painter         a DXF loaded, painted into a small image and hit-tested
#   shx_font        shape fonts: regular, unicode and big fonts
#   plot_style_table  .ctb and .stb plot style tables
#   run_log         the run log that --resume and --merge-logs read
#   list_file       list files of drawings
#   settings_file   Kestrelwick.ini
#   title_fields    TitleFields.ini
#
# KW_FUZZ_TIMEOUT sets the seconds one input may take before it counts as a hang (default 10); on
# a loaded shared machine, or under nice, a wall-clock limit that short measures the load.
#
# Needs Debian's clang and libclang-rt-14-dev. The corpus, in BUILD_DIR/corpus/TARGET (kept from
# run to run): for the DXF targets every DXF under ../shared/testdata up to 64 KB when that folder
# exists, else tests/data/drawing; for the others the files fuzz_seeds writes after each format.
# Always the earlier findings: tests/data/drawing/fuzz for the DXF targets, tests/data/fuzz/TARGET
# for the others. New findings are written to BUILD_DIR/findings/TARGET.
set -euo pipefail
cd "$(dirname "$0")/../.."
target=dxf_reader
if [ $# -gt 0 ] && ! [[ $1 =~ ^[0-9]+$ ]]; then
    target=$1
    shift
fi
seconds=${1:-60}
build=${2:-/tmp/kw_fuzz}
case $target in
dxf_reader | proxy_graphics | painter | shx_font | plot_style_table | run_log | list_file | settings_file | title_fields) ;;
*)
    echo "fuzz.sh: no target $target" >&2
    exit 2
    ;;
esac
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKW_FUZZ=ON -DKW_SANITIZE=ON -DKW_BUILD_QT=ON >/dev/null
cmake --build "$build" --target "fuzz_$target" fuzz_seeds
corpus="$build/corpus/$target"
mkdir -p "$corpus" "$build/findings/$target"
rm -rf "$build/seeds"
# The proxy graphics seeds are the streams of the drawings of ../shared/testdata.
proxy_drawings=()
if [ "$target" = proxy_graphics ] && [ -d ../shared/testdata ]; then
    while IFS= read -r -d '' file; do proxy_drawings+=("$file"); done < <(
        find ../shared/testdata -path ../shared/testdata/fuzz -prune -o -type f -iname '*.dxf' \
            -size -2M -print0)
fi
"$build/tests/fuzz/fuzz_seeds" "$build/seeds" "${proxy_drawings[@]}"
copy_in() { # files found by `find` ... into the corpus under names of their path's hash
    while IFS= read -r -d '' file; do
        cp "$file" "$corpus/$(echo "$file" | md5sum | cut -c1-16).${file##*.}"
    done
}
case $target in
dxf_reader | painter)
    source_dir=../shared/testdata
    [ -d "$source_dir" ] || source_dir=tests/data/drawing
    find "$source_dir" tests/data/drawing/fuzz -type f \( -iname '*.dxf' -o -iname '*.dxfb' \) \
        -size -64k -print0 | copy_in
    ;;
*)
    source_dir="fuzz_seeds and tests/data/fuzz/$target"
    find "$build/seeds/fuzz_$target" -type f -print0 | copy_in
    ;;
esac
if [ -d "tests/data/fuzz/$target" ]; then
    find "tests/data/fuzz/$target" -type f ! -name README.md -print0 | copy_in
fi
echo "corpus: $(ls "$corpus" | wc -l) inputs from $source_dir"
# Run in an empty folder: external references of the inputs are looked up next to them. The
# painter draws shape fonts from the seed fonts (named as the drawings' styles name them).
mkdir -p "$build/run"
suppressions="$PWD/tests/fuzz/lsan.supp"
cd "$build/run"
export KW_FUZZ_FONTS="$build/seeds/fuzz_shx_font"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$suppressions" \
    "$build/tests/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" \
    -timeout="${KW_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -max_len=262144 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target/"
