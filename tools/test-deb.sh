#!/usr/bin/env bash
# Tests the Debian package as a user meets it: makes the .deb with cpack from a build folder,
# installs it with apt-get, plots the README's sample with the installed kestrelwick-plot (found in
# PATH, run from another folder), lists the frames of a DWG drawing, then removes the package and
# checks that nothing of it is left.
#
#   tools/test-deb.sh [BUILD_FOLDER]        (default: build)
#
# Installing needs root: as any other user it says so and ends with status 77 (skipped). It
# refuses to run where a kestrelwick package is installed already, which it would remove.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source/build}" && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "test-deb.sh: installing a package needs root; not tested"
    exit 77
fi
if dpkg-query -W -f '${Status}' kestrelwick 2>/dev/null | grep -q installed; then
    echo "test-deb.sh: a kestrelwick package is installed on this machine; remove it first" >&2
    exit 1
fi

work=$(mktemp -d)
installed=0
cleanup() {
    if [ "$installed" -eq 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq kestrelwick >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# The package: its name carries the project's version, its dependencies the computed ones.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >cpack.log 2>&1) || {
    cat "$work/cpack.log" >&2
    fail "cpack could not make the package"
    exit 1
}
deb="$work/package/kestrelwick_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/package" >&2; fail "no package named $(basename "$deb")"; exit 1; }
echo "package: $(basename "$deb"), $(du -h "$deb" | cut -f1)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for wanted in nodejs fonts-noto-cjk libqt6core6 libqt6widgets6 libc6; do
    grep -q "\b$wanted\b" <<<"$depends" || fail "Depends lacks $wanted"
done

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log" >&2
    fail "apt-get could not install the package"
    exit 1
}
installed=1
dpkg -L kestrelwick | sort >"$work/files"
for wanted in /usr/bin/kestrelwick /usr/bin/kestrelwick-plot \
    /usr/share/kestrelwick/TEMPLATE/acad.dwt /usr/share/kestrelwick/dwg2dxf/kw-dwg2dxf.mjs \
    /usr/share/kestrelwick/dwg2dxf/node_modules /usr/share/kestrelwick/Kestrelwick.chm \
    /usr/share/kestrelwick/help/index.html /usr/share/kestrelwick/help/style.css \
    /usr/share/kestrelwick/pages/ad.html /usr/share/applications/kestrelwick.desktop \
    /usr/share/icons/hicolor/48x48/apps/kestrelwick.png \
    /usr/share/man/man1/kestrelwick-plot.1.gz; do
    grep -qx "$wanted" "$work/files" || fail "the package does not install $wanted"
done
# roff writes the option's hyphens as \-
zcat /usr/share/man/man1/kestrelwick-plot.1.gz | grep -qF -- '\-\-layer' ||
    fail "the manual page does not describe --layer"
grep -q '^Exec=kestrelwick$' /usr/share/applications/kestrelwick.desktop ||
    fail "the desktop entry does not start kestrelwick"

# A user's session: a home of its own, the program from PATH, the drawing in another folder.
export HOME="$work/home"
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_STATE_HOME KESTRELWICK_SETTINGS_DIR
mkdir -p "$HOME" "$work/run"
cd "$work/run"
[ "$(command -v kestrelwick-plot)" = /usr/bin/kestrelwick-plot ] ||
    fail "kestrelwick-plot in PATH is $(command -v kestrelwick-plot || echo nothing)"
cp "$source/tests/data/drawing/frames/frames_r2000_gbk.dxf" .
if kestrelwick-plot --layer 图框 --length 380 --allowance 5 --output plots frames_r2000_gbk.dxf \
    >plot.out 2>plot.err; then
    for page in 1 2 3; do
        pdf="plots/frames_r2000_gbk-00$page.pdf"
        if [ ! -f "$pdf" ]; then
            fail "no $pdf"
            continue
        fi
        # The default paper is A3 landscape; the frames go left to right, sheet 1 to 3.
        size=$(pdfinfo "$pdf" | sed -n 's/^Page size: *\([0-9.]*\) x \([0-9.]*\) pts.*/\1 x \2/p')
        [ "$size" = "1190.55 x 841.89" ] || [ "$size" = "1191 x 842" ] ||
            fail "$pdf: page size $size, not A3 landscape"
        pdftotext "$pdf" - | grep -q "零件图 第${page}张" || fail "$pdf: no title text 零件图 第${page}张"
    done
    [ "$(ls plots | wc -l)" -eq 3 ] || fail "$(ls plots | wc -l) files plotted, not 3"
else
    cat plot.out plot.err >&2
    fail "the installed kestrelwick-plot did not plot the sample"
fi

# Settings are the user's: an installed program never writes beside itself, even as root.
kestrelwick-plot --save-settings --length 400 --output saved frames_r2000_gbk.dxf >/dev/null 2>&1 ||
    fail "plotting with --save-settings failed"
[ -f "$HOME/.config/Kestrelwick/Kestrelwick.ini" ] ||
    fail "--save-settings wrote no settings file in the user's folder"
head -1 "$HOME/.config/Kestrelwick/Kestrelwick.ini" 2>/dev/null | grep -q '^400' ||
    fail "the settings file does not hold the frame length 400"

# A DWG drawing through the installed converter (Node.js from PATH).
dwg="$source/../shared/testdata/AutoCAD_CAXA_python-lisp/blocks/A4图框.dwg"
[ -f "$dwg" ] || dwg=""
if [ -n "$dwg" ]; then
    if kestrelwick-plot --list --kind block --block 图框 "$dwg" >dwg.out 2>dwg.err; then
        [ "$(grep -c "$(printf '\t')1$(printf '\t')" dwg.out)" -eq 1 ] ||
            fail "listing the DWG gave no frame 1: $(cat dwg.out)"
    else
        cat dwg.out dwg.err >&2
        fail "the installed kestrelwick-plot could not list $dwg"
    fi
else
    echo "test-deb.sh: the shared DWG test drawing is not here; the DWG converter is tested on" \
        "tests/data/drawing/ezdxf/807_1.dwg instead"
    kestrelwick-plot --list --kind auto "$source/tests/data/drawing/ezdxf/807_1.dwg" >dwg.out 2>dwg.err ||
        { cat dwg.err >&2; fail "the installed kestrelwick-plot could not read a DWG drawing"; }
fi

# The desktop program starts (no display needed) and stays up until it is ended.
status=0
QT_QPA_PLATFORM=offscreen timeout 8 kestrelwick >desktop.log 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat desktop.log >&2; fail "kestrelwick ended with status $status at start-up"; }

# Nothing written into the installed folders beyond the package's own files.
find /usr/share/kestrelwick /usr/bin -newer "$work/files" \( -type f -o -type l \) -print |
    sort >"$work/written"
while read -r path; do
    fail "the program wrote $path"
done < <(comm -23 "$work/written" "$work/files")
[ ! -e /usr/bin/Kestrelwick.ini ] || fail "a settings file was written into /usr/bin"

cd "$work"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq kestrelwick >"$work/remove.log" 2>&1 || {
    cat "$work/remove.log" >&2
    fail "apt-get could not remove the package"
}
installed=0
while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then
        # A folder stays when another package uses it.
        if [ -d "$path" ] && [ ! -L "$path" ] && { dpkg -S "$path" >/dev/null 2>&1 || [ -n "$(ls -A "$path")" ]; }; then
            continue
        fi
        fail "left after removal: $path"
    fi
done <"$work/files"
[ ! -e /usr/share/kestrelwick ] || fail "/usr/share/kestrelwick is left after removal"

if [ "$failures" -ne 0 ]; then
    echo "test-deb.sh: $failures failures" >&2
    exit 1
fi
echo "test-deb.sh: the package installs, plots, lists a DWG and removes cleanly"
