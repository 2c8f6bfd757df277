#!/usr/bin/env bash
# Installs the Windows release under Wine as a user would, in a throw-away prefix, and uses it:
# the silent install, kestrelwick-plot.exe listing and plotting the README's sample and a DWG
# (pages compared with this Linux build's pages of the same frames, ink within a few pixels),
# the desktop program's main window, its whole runs in each scope against the fake host CAD
# registered under the host's ProgID, the settings kept per user, and the silent uninstall.
#
#   tools/windows/test-installer.sh INSTALLER LINUX_BUILD [SCREENSHOT.png]
#
# LINUX_BUILD is a build folder of this tree for Linux (kestrelwick-plot and kw_ink_compare). The
# desktop program's driver and the fake are taken from the release's build folder beside the
# installer (KW_DESKTOP_COM_TESTS names another folder).
# Prints "ok - …" or "FAIL - …" per check and ends with a count; exits 1 when a check failed.
set -uo pipefail

installer="$(realpath "$1")"
linux="$(realpath "$2")"
screenshot="${3:-}"
# The release's test programs (the desktop program against the fake host, and the fake).
through_com="${KW_DESKTOP_COM_TESTS:-$(dirname "$installer")/build/tests/desktop_com}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
version="$(sed -n 's/^project(Kestrelwick VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
sample="$root/tests/data/drawing/frames/frames_r2000_gbk.dxf"
dwg="$root/../shared/testdata/AutoCAD_CAXA_python-lisp/blocks/A4图框.dwg"

work="$(mktemp -d "${TMPDIR:-/tmp}/kestrelwick-installer.XXXXXX")"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8
xvfb=""
cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 150 190); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        export DISPLAY=":$n"
        break
    done
fi

passed=0
failed=0
ok() { echo "ok - $*"; passed=$((passed + 1)); }
fail() { echo "FAIL - $*"; failed=$((failed + 1)); }
check() { # check NAME COMMAND…
    local name="$1"
    shift
    if "$@" >"$work/check.log" 2>&1; then ok "$name"; else fail "$name"; tail -n 20 "$work/check.log"; fi
}
win() { timeout "${KW_WINE_TIMEOUT:-180}" wine "$@"; }
winpath() { winepath -w "$1" 2>/dev/null; }

timeout 180 wineboot -i >/dev/null 2>&1
# Node.js and Qt want Windows 8.1 or later; a new prefix says Windows 7.
timeout 60 wine winecfg -v win10 >/dev/null 2>&1
timeout 60 wineserver -w

# --- install ---------------------------------------------------------------------------------
win "$installer" /S >/dev/null 2>&1
timeout 120 wineserver -w
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrelwick'
location="$(win reg query "$key" /v InstallLocation 2>/dev/null | tr -d '\r' |
    sed -n 's/.*InstallLocation[[:space:]]*REG_SZ[[:space:]]*//p')"
inst="$(winepath -u "$location" 2>/dev/null)"
if [ -n "$location" ] && [ -f "$inst/kestrelwick-plot.exe" ] && [ -f "$inst/kestrelwick.exe" ]; then
    ok "the installer installs silently into $location"
else
    fail "the installer installs silently (InstallLocation '$location')"
    echo "$passed passed, $failed failed"
    exit 1
fi
case "$location" in
*"Program Files"*) ok "an administrator's install goes to Program Files" ;;
*) fail "an administrator's install goes to Program Files ($location)" ;;
esac
display="$(win reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r')"
check "Apps & features lists version $version" grep -q "$version" <<<"$display"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrelwick"
check "the Start menu has the program and its guide" \
    test -f "$menu/Kestrelwick.lnk" -a -f "$menu/Kestrelwick 使用说明.lnk"
(cd "$inst" && find . -type f | sort) >"$work/installed.txt"

# --- kestrelwick-plot.exe ----------------------------------------------------------------------
plot="$inst/kestrelwick-plot.exe"
check "kestrelwick-plot.exe --version says $version" \
    bash -c "timeout 60 wine '$plot' --version | tr -d '\r' | grep -qx 'kestrelwick-plot $version'"

# The sample in a folder with a Chinese name, as drawings are kept.
mkdir -p "$work/图纸" "$work/win-pdf" "$work/linux-pdf"
cp "$sample" "$work/图纸/"
drawing="$(winpath "$work/图纸/frames_r2000_gbk.dxf")"
options=(--layer 图框 --length 380 --allowance 5)
win "$plot" --list "${options[@]}" "$drawing" 2>"$work/list.err" | tr -d '\r' | cut -f2- >"$work/win-list.txt"
"$linux/app/plot/kestrelwick-plot" --list "${options[@]}" "$work/图纸/frames_r2000_gbk.dxf" |
    cut -f2- >"$work/linux-list.txt"
if [ -s "$work/win-list.txt" ] && cmp -s "$work/win-list.txt" "$work/linux-list.txt"; then
    ok "kestrelwick-plot.exe --list finds the frames the Linux build finds ($(wc -l <"$work/win-list.txt"))"
else
    fail "kestrelwick-plot.exe --list finds the frames the Linux build finds"
    diff "$work/win-list.txt" "$work/linux-list.txt" | head
    tail -n 5 "$work/list.err"
fi

compare_pages() { # compare_pages NAME WINDOWS_DIR LINUX_DIR
    local name="$1" windows="$2" linux_pdfs="$3" count=0 bad=0 a b
    for a in "$windows"/*.pdf; do
        [ -e "$a" ] || continue
        b="$linux_pdfs/$(basename "$a")"
        count=$((count + 1))
        if [ ! -f "$b" ]; then bad=$((bad + 1)); echo "no Linux page $(basename "$a")"; continue; fi
        if [ "$(pdfinfo "$a" | grep -E '^(Pages|Page size)')" != "$(pdfinfo "$b" | grep -E '^(Pages|Page size)')" ]; then
            bad=$((bad + 1))
            echo "$(basename "$a"): pages or size differ"
            continue
        fi
        pdftoppm -r 60 -png -singlefile "$a" "$work/a" && pdftoppm -r 60 -png -singlefile "$b" "$work/b"
        if ! "$linux/tests/support/kw_ink_compare" "$work/a.png" "$work/b.png" 3 0.01; then
            bad=$((bad + 1))
            echo "$(basename "$a"): the ink differs"
        fi
    done
    if [ "$count" -gt 0 ] && [ "$bad" -eq 0 ] && [ "$count" -eq "$(find "$linux_pdfs" -name '*.pdf' | wc -l)" ]; then
        ok "$name: $count pages, each the Linux page's size and ink"
    else
        fail "$name: $count pages, $bad differ from the Linux build's"
    fi
}
win "$plot" "${options[@]}" --output "$(winpath "$work/win-pdf")" "$drawing" >"$work/plot.out" 2>&1
"$linux/app/plot/kestrelwick-plot" "${options[@]}" --output "$work/linux-pdf" "$work/图纸/frames_r2000_gbk.dxf" >/dev/null 2>&1
compare_pages "kestrelwick-plot.exe plots the sample" "$work/win-pdf" "$work/linux-pdf"
check "the Chinese title text of the Windows pages is text" \
    bash -c "pdftotext '$work/win-pdf/frames_r2000_gbk-001.pdf' - | grep -q '图'"

# A DWG: converted by the shipped Node.js and LibreDWG, listed and plotted.
if [ -f "$dwg" ]; then
    mkdir -p "$work/dwg" "$work/win-dwg" "$work/linux-dwg"
    cp "$dwg" "$work/dwg/a4.dwg"
    dwg_options=(--kind block --block 图框)
    win "$plot" --list "${dwg_options[@]}" "$(winpath "$work/dwg/a4.dwg")" 2>"$work/dwg.err" |
        tr -d '\r' | cut -f2- >"$work/win-dwg.txt"
    "$linux/app/plot/kestrelwick-plot" --list "${dwg_options[@]}" "$work/dwg/a4.dwg" 2>/dev/null |
        cut -f2- >"$work/linux-dwg.txt"
    if [ -s "$work/win-dwg.txt" ] && cmp -s "$work/win-dwg.txt" "$work/linux-dwg.txt"; then
        ok "kestrelwick-plot.exe lists a DWG through the shipped Node.js"
    else
        fail "kestrelwick-plot.exe lists a DWG through the shipped Node.js"
        tail -n 5 "$work/dwg.err"
    fi
    win "$plot" "${dwg_options[@]}" --output "$(winpath "$work/win-dwg")" "$(winpath "$work/dwg/a4.dwg")" >/dev/null 2>&1
    "$linux/app/plot/kestrelwick-plot" "${dwg_options[@]}" --output "$work/linux-dwg" "$work/dwg/a4.dwg" >/dev/null 2>&1
    compare_pages "kestrelwick-plot.exe plots a DWG" "$work/win-dwg" "$work/linux-dwg"
else
    fail "the DWG of the shared test data is missing: $dwg"
fi

# Settings of an installed program go to the user's folder, never beside the program.
win "$plot" "${options[@]}" --save-settings --output "$(winpath "$work/win-pdf")" "$drawing" >/dev/null 2>&1
appdata="$(winepath -u "$(win cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)"
check "an installed program keeps its settings in %APPDATA%\\Kestrelwick" \
    test -f "$appdata/Kestrelwick/Kestrelwick.ini" -a ! -e "$inst/Kestrelwick.ini"

# --- the desktop program -----------------------------------------------------------------------
( cd "$work" && timeout 120 wine "$inst/kestrelwick.exe" >/dev/null 2>&1 ) &
desktop=$!
shown=""
for _ in $(seq 120); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Kestrelwick V${version%.*}\""; then shown=1; break; fi
    sleep 0.5
done
if [ -n "$shown" ]; then
    ok "kestrelwick.exe shows its main window"
    if [ -n "$screenshot" ]; then
        sleep 3
        xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$screenshot" 2>/dev/null || true
    fi
else
    fail "kestrelwick.exe shows its main window"
fi
timeout 30 wineserver -k >/dev/null 2>&1
wait "$desktop" 2>/dev/null

# --- the desktop program against the host CAD through COM -------------------------------------
# The fake host registered as the host CAD, and the installed desktop program driven through its
# windows: the catalogues, then a whole run in each of the three scopes (tests/desktop_com). The
# driver is built with the release and runs from the installed folder, beside the program's files.
if [ -f "$through_com/kw_desktop_through_com.exe" ] && [ -f "$through_com/kw_fake_cad_server.exe" ]; then
    win "$through_com/kw_fake_cad_server.exe" /RegServer >/dev/null 2>&1
    cp "$through_com/kw_desktop_through_com.exe" "$inst/"
    ( cd "$work" && win "$inst/kw_desktop_through_com.exe" ) >"$work/com.log" 2>"$work/com.err"
    status=$?
    timeout 60 wineserver -w
    rm -f "$inst/kw_desktop_through_com.exe"
    win "$through_com/kw_fake_cad_server.exe" /UnregServer >/dev/null 2>&1
    checks=0
    while IFS= read -r line; do
        case "$line" in
        "ok - "*) ok "through COM: ${line#ok - }"; checks=$((checks + 1)) ;;
        "FAIL - "*) fail "through COM: ${line#FAIL - }"; checks=$((checks + 1)) ;;
        "  "*) echo "$line" ;;
        esac
    done < <(tr -d '\r' <"$work/com.log")
    if [ "$checks" -eq 0 ]; then
        fail "the desktop program runs against the fake host (exit status $status)"
        tail -n 20 "$work/com.err"
    elif [ "$status" -ne 0 ] && ! grep -q '^FAIL' "$work/com.log"; then
        fail "the desktop program's runs against the fake host end cleanly (exit status $status)"
    fi
else
    fail "the desktop program's test against the fake host was not built ($through_com)"
fi

# --- uninstall ---------------------------------------------------------------------------------
win "$inst/uninstall.exe" /S >/dev/null 2>&1
timeout 120 wineserver -w
left="$( [ -d "$inst" ] && (cd "$inst" && find . -type f) )"
check "the uninstaller removes every file it installed ($(wc -l <"$work/installed.txt") files)" test -z "$left"
check "the uninstaller removes the Start menu entries" test ! -e "$menu"
check "the uninstaller removes the Apps & features entry" \
    bash -c "! timeout 60 wine reg query '$key' >/dev/null 2>&1"
check "the uninstaller leaves the user's settings alone" test -f "$appdata/Kestrelwick/Kestrelwick.ini"

echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
