#!/usr/bin/env bash
# A job that arrives while the job window is minimised reaches the user: on a virtual display
# with a window manager (openbox) and a notification service (dunst) on a private session bus,
# the window comes back with the attention hint (or the focus, where the window manager gives
# it) and one notification is shown, within 2 s.
# Usage: bench/attention.sh [SCREENSHOT.png]   (the screen with the notification, for the README)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in Xvfb openbox xprop xdotool dunst dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "attention: $tool is missing (./scripts/deps --desktop)"; exit 1; }
done
shot=${1:-}
root=$(mktemp -d /tmp/qorvlog-attention.XXXXXX)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$root"; }
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
unset QORVLOG_MESSAGES
for _ in $(seq 50); do xprop -root >/dev/null 2>&1 && break; sleep 0.1; done
eval "$(dbus-daemon --session --fork --print-address=1 --print-pid=1 |
  { read -r a; read -r p; echo "export DBUS_SESSION_BUS_ADDRESS='$a'; buspid=$p"; })"
pids+=("$buspid")
openbox >/dev/null 2>&1 & pids+=($!)
dunst >/dev/null 2>&1 & pids+=($!)
QORVLOG_DEMO="$root/demo" ./scripts/run >"$root/run.log" 2>&1 & pids+=($!)
folder="$root/demo/share/data/users/$(id -un)"
for _ in $(seq 300); do [ -f "$root/demo/home/.local/share/Qorvex/qorvlog.ini" ] && break; sleep 0.1; done
cp "$root/demo/samples/office-0003.prt" "$folder/"
win=""
for _ in $(seq 300); do win=$(xdotool search --onlyvisible --name '^QorvLog$' 2>/dev/null | head -1) && [ -n "$win" ] && break; sleep 0.1; done
[ -n "$win" ] || { echo "attention: the job window did not open"; cat "$root/run.log"; exit 1; }
xdotool windowminimize --sync "$win"
sleep 1.5 # past the window's own check of its first opening
sed 's/^103\r$/104\r/' "$root/demo/samples/office-0003.prt" >"$folder/office-0004.prt"
start=$(date +%s%N)
hint="" shown=0
while [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 2000 ]; do
  hint=$(xprop -id "$win" _NET_WM_STATE 2>/dev/null | grep -o '_NET_WM_STATE_DEMANDS_ATTENTION' || true)
  # A window manager that gives the restored window the focus takes the hint back at once.
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && hint=focused
  shown=$(dunstctl count displayed 2>/dev/null || echo 0)
  [ -n "$hint" ] && [ "$shown" -ge 1 ] && break
  sleep 0.05
done
ms=$(( ($(date +%s%N) - start) / 1000000 ))
mapped=$(xprop -id "$win" WM_STATE 2>/dev/null | grep -c 'Normal' || true)
echo "attention: after ${ms} ms: hint ${hint:-none}, window restored $mapped, notifications shown $shown"
[ -n "$shot" ] && { sleep 0.5; import -window root "$shot"; }
[ -n "$hint" ] && [ "$mapped" -ge 1 ] && [ "$shown" -ge 1 ]
