#!/usr/bin/env bash
# Builds the Windows libraries Kestrelwick needs and Debian does not ship for mingw-w64, from
# Debian's own source packages, into cache prefixes that later runs reuse:
#   qtbase (Core, Gui, Widgets, PrintSupport, Test), libjpeg-turbo (for qpdf), qpdf and
#   libxlsxwriter; zlib is Debian's binary libz-mingw-w64-dev.
#
#   tools/windows/build-deps.sh            prints the prefixes on its last line, ';'-separated
#
# Qt goes to ~/.cache/Kestrelwick/mingw-qt-<hash>, the rest to mingw-deps-<hash>
# (KW_DEPS_CACHE overrides the folder they are in). Qt's hash covers its release, its configure
# options, the toolchain file and the compiler; the other's this script, the toolchain file, the
# compiler and every source version. A change builds anew only what it touches: Qt alone takes
# most of an hour on two cores. Nothing is fetched but from Debian's archive: the
# sources come through apt with a deb-src entry of this script's own, the system's sources
# untouched.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
toolchain="$here/mingw-w64-shared.cmake"
jobs="${KW_JOBS:-$(nproc)}"
cache="${KW_DEPS_CACHE:-$HOME/.cache/Kestrelwick}"
started=$SECONDS
say() { printf '== build-deps: %s (%ds)\n' "$*" $((SECONDS - started)) >&2; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix)
command -v x86_64-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64-x86-64)
[ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || need+=(libz-mingw-w64-dev)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
command -v ninja >/dev/null || need+=(ninja-build)
command -v cmake >/dev/null || need+=(cmake)
command -v nasm >/dev/null || need+=(nasm)
[ -f /usr/lib/x86_64-linux-gnu/cmake/Qt6/Qt6Config.cmake ] || need+=(qt6-base-dev qt6-base-dev-tools)
if [ ${#need[@]} -gt 0 ]; then
    say "installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# apt with a source list of our own: the system's URIs, as deb-src.
mkdir -p "$cache"
apt_dir="$cache/apt"
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/archives/partial"
uris=$(grep -h -E '^(URIs:|deb )' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null \
    | grep -v security | sed -E 's/^URIs: *//; s/^deb (\[[^]]*\] )?([^ ]+).*/\2/' | head -n 1 || true)
uris="${uris:-http://deb.debian.org/debian}"
cat >"$apt_dir/sources.list.d/kestrelwick-src.sources" <<EOF
Types: deb-src
URIs: $uris
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
    -o "Debug::NoLocking=1" -o "APT::Sandbox::User=root")
say "reading Debian's source index"
apt-get "${apt_opts[@]}" update -qq >/dev/null
version() { apt-cache "${apt_opts[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1; }

packages=(qt6-base libjpeg-turbo qpdf libxlsxwriter)
stamp=""
for p in "${packages[@]}"; do stamp+="$p=$(version "$p");"; done
compiler="gcc=$(x86_64-w64-mingw32-g++-posix -dumpfullversion);"
stamp+="$compiler"

# Qt's configure options: the same release as the Linux build, its host tools taken from the
# system's Qt, the bundled third-party libraries, only the modules the program uses.
qt_options=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_openssl=OFF -DFEATURE_network=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_freetype=ON -DFEATURE_harfbuzz=ON)
qt_hash=$( (cat "$toolchain"; echo "qt6-base=$(version qt6-base);$compiler${qt_options[*]}") | sha256sum | cut -c1-16)
qt_prefix="$cache/mingw-qt-$qt_hash"
hash=$( (cat "$0" "$toolchain"; echo "$stamp") | sha256sum | cut -c1-16)
prefix="$cache/mingw-deps-$hash"
if [ -f "$prefix/.complete" ] && [ -f "$qt_prefix/.complete" ]; then
    say "reusing $qt_prefix and $prefix"
    echo "$qt_prefix;$prefix"
    exit 0
fi
work="$cache/work-$hash"
mkdir -p "$work"

fetch() { # fetch PACKAGE: unpacks the source into $work/PACKAGE-<version>, prints that path
    local p="$1" v dir
    v=$(version "$p")
    v="${v#*:}"
    dir=$(find "$work" -maxdepth 1 -type d -name "$p-${v%%-*}*" | head -n 1)
    if [ -z "$dir" ]; then
        (cd "$work" && apt-get "${apt_opts[@]}" source -qq "$p=$(version "$p")" >/dev/null 2>&1)
        dir=$(find "$work" -maxdepth 1 -type d -name "$p-${v%%-*}*" | head -n 1)
    fi
    [ -n "$dir" ] || { echo "build-deps: the source of $p did not unpack" >&2; exit 1; }
    echo "$dir"
}

timed() { # timed NAME COMMAND…: runs quietly into a log, shows its tail on failure
    local name="$1" t0=$SECONDS log="$work/$1.log"
    shift
    if ! "$@" >"$log" 2>&1; then
        tail -n 60 "$log" >&2
        echo "build-deps: $name failed (log: $log)" >&2
        exit 1
    fi
    say "$name done in $((SECONDS - t0)) s"
}

# The host's pkg-config files (zlib's among them) must not reach a Windows build.
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
export PKG_CONFIG_PATH=""
cmake_cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$prefix" -DKW_EXTRA_FIND_ROOT="$prefix" -DCMAKE_PREFIX_PATH="$prefix")

if [ ! -f "$qt_prefix/.complete" ]; then
    say "building qtbase into $qt_prefix"
    qt_src=$(fetch qt6-base)
    rm -rf "$qt_prefix"
    timed qtbase-configure cmake -S "$qt_src" -B "$work/qtbase-build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$qt_prefix" "${qt_options[@]}"
    say "building qtbase (the long step)"
    timed qtbase-build cmake --build "$work/qtbase-build" -j "$jobs"
    timed qtbase-install cmake --install "$work/qtbase-build"
    mkdir -p "$qt_prefix/licenses"
    cp "$qt_src/debian/copyright" "$qt_prefix/licenses/qtbase.copyright"
    echo "qt6-base=$(version qt6-base)" >"$qt_prefix/.complete"
fi
if [ -f "$prefix/.complete" ]; then
    echo "$qt_prefix;$prefix"
    exit 0
fi
say "building into $prefix ($stamp)"
rm -rf "$prefix"
mkdir -p "$prefix"

# libjpeg-turbo: qpdf's image filters need it.
jpeg_src=$(fetch libjpeg-turbo)
timed libjpeg-turbo-configure cmake -S "$jpeg_src" -B "$work/jpeg-build" "${cmake_cross[@]}" \
    -DENABLE_SHARED=ON -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF
timed libjpeg-turbo-build cmake --build "$work/jpeg-build" -j "$jobs" --target install

# qpdf, with its own native crypto (no GnuTLS or OpenSSL for Windows).
qpdf_src=$(fetch qpdf)
timed qpdf-configure cmake -S "$qpdf_src" -B "$work/qpdf-build" "${cmake_cross[@]}" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF -DREQUIRE_CRYPTO_NATIVE=ON \
    -DUSE_IMPLICIT_CRYPTO=OFF -DBUILD_DOC=OFF -DINSTALL_EXAMPLES=OFF -DINSTALL_MANUAL=OFF \
    -DZLIB_ROOT=/usr/x86_64-w64-mingw32 -DJPEG_ROOT="$prefix" \
    -DCMAKE_CXX_FLAGS="-include cstdint" # its AES header takes uint32_t from elsewhere
timed qpdf-build cmake --build "$work/qpdf-build" -j "$jobs" --target libqpdf
# The library's own folder: the DLL, its import library and the CMake package (the top folder's
# install also wants the compiler's DLLs from its packaging scripts; they ship anyway).
timed qpdf-install cmake --install "$work/qpdf-build/libqpdf"
timed qpdf-install-dev cmake --install "$work/qpdf-build" --component dev

# libxlsxwriter, with the minizip it carries.
xlsx_src=$(fetch libxlsxwriter)
timed libxlsxwriter-configure cmake -S "$xlsx_src" -B "$work/xlsx-build" "${cmake_cross[@]}" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF \
    -DZLIB_ROOT=/usr/x86_64-w64-mingw32
timed libxlsxwriter-build cmake --build "$work/xlsx-build" -j "$jobs" --target install

# The licences of what is shipped beside the program.
mkdir -p "$prefix/licenses"
for p in libjpeg-turbo:"$jpeg_src" qpdf:"$qpdf_src" libxlsxwriter:"$xlsx_src"; do
    cp "${p#*:}/debian/copyright" "$prefix/licenses/${p%%:*}.copyright"
done
echo "$stamp" >"$prefix/.complete"
rm -rf "$work"
say "built $qt_prefix ($(du -sh "$qt_prefix" | cut -f1)) and $prefix ($(du -sh "$prefix" | cut -f1))"
echo "$qt_prefix;$prefix"
