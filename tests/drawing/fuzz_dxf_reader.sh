#!/usr/bin/env bash
# Builds the DXF reader's libFuzzer target with clang, AddressSanitizer and UBSan, and runs it for
# a bounded time on a corpus of the test drawings. Exit status non-zero on a crash, hang or leak.
#
#   tests/drawing/fuzz_dxf_reader.sh [SECONDS] [BUILD_DIR]      (defaults: 60 /tmp/kw_fuzz)
#
# KW_FUZZ_TIMEOUT sets the seconds one input may take before it counts as a hang (default 10); on
# a loaded shared machine, or under nice, a wall-clock limit that short measures the load.
#
# Needs Debian's clang and libclang-rt-14-dev. The corpus: every DXF under ../shared/testdata up
# to 64 KB when that folder exists, else tests/data/drawing, and always the earlier findings kept
# in tests/data/drawing/fuzz.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
build=${2:-/tmp/kw_fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKW_FUZZ=ON -DKW_SANITIZE=ON -DKW_BUILD_QT=OFF >/dev/null
cmake --build "$build" --target fuzz_dxf_reader
corpus="$build/corpus"
rm -rf "$corpus"
mkdir -p "$corpus"
source_dir=../shared/testdata
[ -d "$source_dir" ] || source_dir=tests/data/drawing
find "$source_dir" tests/data/drawing/fuzz -type f \( -iname '*.dxf' -o -iname '*.dxfb' \) -size -64k -print0 |
    while IFS= read -r -d '' file; do cp "$file" "$corpus/$(echo "$file" | md5sum | cut -c1-16).dxf"; done
echo "corpus: $(ls "$corpus" | wc -l) drawings from $source_dir"
# Run in an empty folder: external references of the inputs are looked up next to them.
mkdir -p "$build/run"
cd "$build/run"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/tests/drawing/fuzz_dxf_reader" "$corpus" -max_total_time="$seconds" -timeout="${KW_FUZZ_TIMEOUT:-10}" \
    -rss_limit_mb=2048 -max_len=262144 -print_final_stats=1
