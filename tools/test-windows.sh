#!/usr/bin/env bash
# Cross-builds the Qt-free libraries (settings, cad, engine, com) and their tests for 64-bit
# Windows with mingw-w64, then runs every test under Wine in a fresh, throw-away prefix where the
# fake host CAD is registered under "AutoCAD.Application". Then builds the Windows release (the
# whole program with Qt, and its installer: tools/windows/build-release.sh) and tests it installed
# under Wine (tools/windows/test-installer.sh). Ends with both summaries and fails when a test
# fails.
#
#   tools/test-windows.sh
#
# The build goes to build-windows/ beside the sources (KW_WINDOWS_BUILD overrides it); GoogleTest
# is cross-built there from Debian's /usr/src/googletest. Missing Debian packages are installed.
# The release's Windows tool chain (Qt among it) is built once into ~/.cache/Kestrelwick: on a
# machine without that cache the first run takes about 35 minutes more on two cores.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KW_WINDOWS_BUILD:-$root/build-windows}"
jobs="${KW_JOBS:-2}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
started=$SECONDS

say() { printf '== %s (%ds)\n' "$*" $((SECONDS - started)); }

# Runs a noisy step quietly; shows its output when it fails.
quiet() {
    local log="$build/last-step.log"
    if ! "$@" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "failed: $*" >&2
        exit 1
    fi
}

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v Xvfb >/dev/null || missing+=(xvfb)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    timeout 300 $sudo apt-get update -qq
    timeout 900 $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
mkdir -p "$build"

# The Wine prefix is made while the compiler works: wineboot mostly waits.
say "creating a Wine prefix"
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/kestrelwick-wine.XXXXXX")"
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb=""
cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
}
trap cleanup EXIT
# Windows are made by Wine's desktop process, which needs a display from its first start on; without
# one, a virtual X server stands in for the whole run.
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        export DISPLAY=":$n"
        break
    done
fi
# RpcSs must be set up before the first out-of-process activation.
(timeout 180 wineboot -i && timeout 60 wineserver -w) >"$build/wineboot.log" 2>&1 &
wineboot=$!

gtest="$build/googletest"
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    say "cross-building GoogleTest"
    quiet cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE= -DBUILD_GMOCK=OFF \
        -DCMAKE_INSTALL_PREFIX="$gtest/install"
    quiet timeout 600 cmake --build "$gtest/build" -j "$jobs" --target install
fi

say "cross-building Kestrelwick"
# No optimisation: the build is most of the time spent here, and the tests do not need speed.
quiet cmake -S "$root" -B "$build/kestrelwick" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE= -DKW_BUILD_QT=OFF -DKW_BUILD_TESTS=ON \
    -DGTest_DIR="$gtest/install/lib/cmake/GTest"
quiet timeout 900 cmake --build "$build/kestrelwick" -j "$jobs"

if ! wait "$wineboot"; then
    tail -n 60 "$build/wineboot.log"
    echo "failed: wineboot -i" >&2
    exit 1
fi
# One server for all the test processes that follow, until cleanup stops it.
timeout 10 wineserver -p

say "registering the fake host"
tests="$build/kestrelwick/tests/com"
quiet timeout 60 wine regsvr32 /s "$(winepath -w "$tests/kw_fake_cad.dll")"
quiet timeout 60 wine "$tests/kw_fake_cad_server.exe" /RegServer
quiet timeout 60 wine reg query 'HKCR\AutoCAD.Application\CLSID'

say "running the tests"
status=0
timeout 900 ctest --test-dir "$build/kestrelwick" -j "$jobs" --timeout 120 --output-on-failure \
    >"$build/ctest.log" 2>&1 || status=$?
grep -E -v '^ *(Start +[0-9]+:|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed)' "$build/ctest.log" || true
summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$build/ctest.log" || true)"
if [ -n "$summary" ]; then
    failed="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
    total="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")"
    skipped="$(grep -c -E '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$build/ctest.log" || true)"
    passed=$((total - failed - skipped))
else
    echo "ctest gave no summary (exit status $status)"
    [ "$status" -ne 0 ] || status=1
    passed=0 failed=1 skipped=0
fi

# The Windows release: the whole program cross-built with Qt, its installer, and the installed
# program used under Wine (tools/windows/). The tool chain is built once into a cache.
say "building the Windows release"
release_status=0
installer_summary="the Windows release was not built"
if installer="$(KW_JOBS="$jobs" bash "$root/tools/windows/build-release.sh" | tail -n 1)"; then
    say "testing the installer under Wine"
    timeout 900 wineserver -k >/dev/null 2>&1 || true
    bash "$root/tools/windows/test-installer.sh" "$installer" "${KW_LINUX_BUILD:-$root/build}" \
        "${KW_SCREENSHOT:-}" | tee "$build/installer.log" || release_status=1
    installer_summary="$(tail -n 1 "$build/installer.log")"
else
    release_status=1
fi
say "done"
echo "$installer_summary"
if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
else
    echo "$passed passed, $failed failed"
fi
[ "$release_status" -eq 0 ] || status=1
exit "$status"
