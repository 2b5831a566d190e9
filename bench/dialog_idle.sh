#!/usr/bin/env bash
# CPU time of the running program while the job entry window stands open and idle, in the
# demo installation (offscreen unless a display is set).
# Usage: bench/dialog_idle.sh [IDLE_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
idle=${1:-20}
root=$(mktemp -d /tmp/qorvlog-dialog.XXXXXX)
trap 'kill $pid 2>/dev/null || true; rm -rf "$root"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
QORVLOG_DEMO="$root" QORVLOG_MESSAGES="$root/messages.txt" ./scripts/run > "$root.log" 2>&1 &
pid=$!
folder="$root/share/data/users/$(id -un)"
for _ in $(seq 100); do [ -f "$root/home/.local/share/Qorvex/qorvlog.ini" ] && break; sleep 0.1; done
sleep 1
cp "$root/samples/office-0003.prt" "$folder/.office.tmp"
mv "$folder/.office.tmp" "$folder/office-0003.prt" # the window opens and waits for input
sleep 2
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu)
sleep "$idle"
after=$(cpu)
awk -v t=$((after - before)) -v hz="$ticks" -v s="$idle" \
  'BEGIN { printf "window open: %.3f s of CPU time over %d s\n", t / hz, s }'
