#!/usr/bin/env bash
# Plots through a real print server: starts a cupsd of its own (own configuration, spool, socket;
# a system one is left alone), adds a queue on the cups-pdf backend, plots a drawing of three
# frames to it with kestrelwick-plot, waits for the jobs and checks the PDF files the queue wrote.
# With --paper auto each frame goes on the smallest paper of the queue that holds its sheet.
# Then a queue that refuses jobs must fail the plot with its name in the message. Stops the
# server it started.
#
# Usage: cups_plot_test.sh KESTRELWICK_PLOT DRAWING_WITH_THREE_A3_FRAMES [SHEETS_DRAWING_WRITER]
# Exit status 77 (skipped) only where cupsd cannot run: the cups-pdf backend runs as root only,
# and takes its per-queue configuration from /etc/cups.
set -euo pipefail

plot=$1
drawing=$2
sheetsWriter=${3:-}
frames=3
copies=2

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

if [ "$(id -u)" -ne 0 ]; then
    skip "not root: the cups-pdf backend runs only as root, and its queue configuration goes to /etc/cups"
fi
for tool in cupsd lpadmin lpstat cupsreject pdfinfo; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup-debian.sh installs it)"
done
backend=/usr/lib/cups/backend/cups-pdf
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[ -x "$backend" ] && [ -r "$ppd" ] ||
    fail "the cups-pdf backend is missing (printer-driver-cups-pdf, scripts/setup-debian.sh)"

work=$(mktemp -d /tmp/kw-cups.XXXXXX)
chmod 755 "$work"
queue="kwtest$$"
# cups-pdf reads cups-pdf-<name>.conf when the device URI is cups-pdf:/<name>.
queueConf="/etc/cups/cups-pdf-$queue.conf"
cupsdPid=""
cleanup() {
    if [ -n "$cupsdPid" ]; then
        kill "$cupsdPid" 2>/dev/null || true
        wait "$cupsdPid" 2>/dev/null || true
    fi
    rm -f "$queueConf"
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work"/{root/ppd,spool,cache,state,log,out}
mkdir -m 1770 "$work/tmp"
chgrp lp "$work/tmp"
socket="$work/cups.sock"
cat >"$work/cups-files.conf" <<EOF
ServerRoot $work/root
RequestRoot $work/spool
CacheDir $work/cache
StateDir $work/state
TempDir $work/tmp
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
User lp
Group lp
SystemGroup root
EOF
cat >"$work/cupsd.conf" <<EOF
Listen $socket
LogLevel info
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$queueConf" <<EOF
Out $work/out
AnonDirName $work/out
Spool $work/pdfspool
Log $work/log
EOF
# CUPS makes the copies itself for this queue, so that they become pages of the PDF it writes.
sed 's/^\*DefaultPageSize:/*cupsManualCopies: True\n&/' "$ppd" >"$work/cups-pdf.ppd"

cupsd -f -c "$work/cupsd.conf" -s "$work/cups-files.conf" >"$work/log/cupsd.out" 2>&1 &
cupsdPid=$!
export CUPS_SERVER="$socket"
for _ in $(seq 100); do
    [ -S "$socket" ] && lpstat -r >/dev/null 2>&1 && break
    kill -0 "$cupsdPid" 2>/dev/null || break
    sleep 0.1
done
if ! lpstat -r >/dev/null 2>&1; then
    cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null >&2 || true
    fail "cupsd did not start"
fi
lpadmin -p "$queue" -E -v "cups-pdf:/$queue" -P "$work/cups-pdf.ppd" 2>/dev/null ||
    fail "lpadmin could not add the queue $queue"

# A plot saves the drawing with its plot settings: plot a copy. It also stores its values in
# the settings file, which later runs start from: a settings folder of its own.
cp "$drawing" "$work/plan.dxf"
drawing="$work/plan.dxf"
export KESTRELWICK_SETTINGS_DIR="$work/settings"
options=(--device "$queue" --paper "ISO A3 横向 (420.00 x 297.00 毫米)" --kind polyline
    --layer 图框 --length 380 --allowance 5 --copies "$copies")
if ! "$plot" "${options[@]}" "$drawing" >"$work/plot.out" 2>"$work/plot.err"; then
    cat "$work/plot.out" "$work/plot.err" >&2
    fail "kestrelwick-plot to $queue failed"
fi

# Each frame is its own job; wait until every one is done.
for _ in $(seq 600); do
    pending=$(lpstat -o "$queue" 2>/dev/null | wc -l)
    written=$(find "$work/out" -name '*.pdf' | wc -l)
    [ "$pending" -eq 0 ] && [ "$written" -ge "$frames" ] && break
    sleep 0.1
done
mapfile -t pdfs < <(find "$work/out" -name '*.pdf' | sort)
if [ "${#pdfs[@]}" -ne "$frames" ]; then
    grep -v '^D' "$work/log/error_log" >&2 || true
    fail "the queue wrote ${#pdfs[@]} PDF files, not one per frame ($frames)"
fi
for pdf in "${pdfs[@]}"; do
    info=$(pdfinfo "$pdf")
    pages=$(sed -n 's/^Pages: *//p' <<<"$info")
    size=$(sed -n 's/^Page size: *//p' <<<"$info")
    [ "$pages" = "$copies" ] || fail "$pdf has $pages pages, not $copies copies of one page"
    # A3 in either orientation: a printer may lay a landscape page on a portrait sheet.
    case "$size" in
    *"(A3)"*) ;;
    *) fail "$pdf has the page size $size, not A3" ;;
    esac
done
jobs=$(grep -c "^$queue " "$work/log/page_log" || true)
[ "$jobs" -eq "$frames" ] || fail "the server logged $jobs jobs, not $frames"

# Paper per frame: A3 1:1, A1 1:100, A1×1¼ 1:50, a portrait A2 1:20 and a frame of no sheet. The
# queue has A3, A1 and A2 (laid either way); of its papers ANSI E is the smallest that holds the
# 1051 × 594 sheet; the frame of no sheet keeps the A3 of the panel.
if [ -n "$sheetsWriter" ]; then
    rm -f "$work"/out/*.pdf
    "$sheetsWriter" "$work/sheets.dxf"
    if ! "$plot" --device "$queue" --paper auto "$work/sheets.dxf" >"$work/auto.out" 2>"$work/auto.err"; then
        cat "$work/auto.out" "$work/auto.err" >&2
        fail "kestrelwick-plot --paper auto to $queue failed"
    fi
    for _ in $(seq 600); do
        pending=$(lpstat -o "$queue" 2>/dev/null | wc -l)
        written=$(find "$work/out" -name '*.pdf' | wc -l)
        [ "$pending" -eq 0 ] && [ "$written" -ge 5 ] && break
        sleep 0.1
    done
    # Short side x long side in whole millimetres, one line per page, sorted.
    sizes=$(for pdf in "$work"/out/*.pdf; do
        pdfinfo "$pdf" | sed -n 's/^Page size: *\([0-9.]*\) x \([0-9.]*\) pts.*/\1 \2/p'
    done | awk '{ a = $1 * 25.4 / 72; b = $2 * 25.4 / 72; if (a > b) { t = a; a = b; b = t }
                 printf "%d x %d\n", a + 0.5, b + 0.5 }' | sort)
    expected=$(printf '%s\n' "297 x 420" "297 x 420" "420 x 594" "594 x 841" "864 x 1118" | sort)
    [ "$sizes" = "$expected" ] || fail "--paper auto gave the papers
$sizes
not
$expected"
fi

# A queue that refuses jobs: the plot fails and says which printer.
cupsreject "$queue"
if "$plot" "${options[@]}" "$drawing" >"$work/refused.out" 2>"$work/refused.err"; then
    fail "plotting to a queue that refuses jobs reported success"
fi
grep -q "$queue" "$work/refused.err" ||
    fail "the failure does not name the printer: $(cat "$work/refused.err")"

echo "refused as expected:"
cat "$work/refused.err"
echo "cups: $frames jobs of $copies copies each through $queue; a refusing queue fails the plot"
