#!/usr/bin/env bash
# Starts the desktop program under a virtual X display and saves pictures of its windows:
# screen.png (everything, promotional windows included), main-window.png, form3.png and
# form3-done.png (the progress window during and after a run) and about.png.
#
#   tools/screenshot.sh [build-folder] [output-folder]
#
# Needs xvfb-run; a window manager (openbox) is used when installed so that the pictures show
# the window frames and captions.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="${2:-$build/screenshots}"
program="$build/app/desktop/kestrelwick-screenshots"
if [ ! -x "$program" ]; then
    echo "$program not found: build the project first (cmake --build $build)" >&2
    exit 1
fi
mkdir -p "$out"
out="$(cd "$out" && pwd)"

# The browser engine of the promotional windows runs here without a GPU, and as root without
# its sandbox.
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---no-sandbox --disable-gpu}"
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
unset QT_QPA_PLATFORM

session=$(mktemp)
trap 'rm -f "$session"' EXIT
cat >"$session" <<SESSION
if command -v openbox >/dev/null; then openbox & sleep 1; fi
exec "$program" "$out"
SESSION
timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$session"
ls -1 "$out"/*.png
