#!/usr/bin/env bash
# Runs a command on a virtual X display with a real window manager (openbox), so that its windows
# get frames and captions as on a desktop. Used by tests that measure a window with its frame.
#
#   tools/with-window-manager.sh COMMAND [ARGUMENT...]
#
# Needs xvfb-run and openbox (scripts/setup-debian.sh installs both); exits with the command's
# status.
set -euo pipefail
if ! command -v xvfb-run >/dev/null || ! command -v openbox >/dev/null; then
    echo "xvfb-run or openbox missing" >&2
    exit 1
fi
session=$(mktemp)
trap 'rm -f "$session"' EXIT
# The window manager is up once it has taken the display's root window; a fixed pause stands in.
cat >"$session" <<'SESSION'
openbox --sm-disable >/dev/null 2>&1 &
manager=$!
sleep 1
status=0
"$@" || status=$?
kill "$manager" 2>/dev/null || true
exit "$status"
SESSION
unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb
timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$session" "$@"
