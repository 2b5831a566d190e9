#!/usr/bin/env bash
# Idle cost and reaction time of the running program, in the demo installation:
#   CPU time used over IDLE seconds of waiting on the job folder (notification mode), and
#   the time from a job file appearing in the job folder to its data file being written.
# Usage: bench/idle_latency.sh [IDLE_SECONDS] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
idle=${1:-30}
jobs=${2:-20}
root=$(mktemp -d /tmp/qorvlog-bench.XXXXXX)
trap 'kill $pid 2>/dev/null || true; rm -rf "$root"' EXIT
QORVLOG_DEMO="$root" ./scripts/run > "$root.log" 2>&1 &
pid=$!
user=$(id -un)
folder="$root/share/data/users/$user"
for _ in $(seq 100); do [ -f "$root/home/.local/share/Qorvex/qorvlog.ini" ] && break; sleep 0.1; done
sleep 2
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
before=$(cpu)
sleep "$idle"
after=$(cpu)
awk -v t=$((after - before)) -v hz="$ticks" -v s="$idle" \
  'BEGIN { printf "idle: %.3f s of CPU time over %d s\n", t / hz, s }'
python3 - "$root/samples/plotter-0001.prt" "$folder" "$jobs" <<'PY'
import os, sys, time
sample, folder, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(sample, 'rb').read()
times = []
for i in range(n):
    name = f"lat{i:04d}"
    tmp = os.path.join(folder, "." + name + ".tmp")
    open(tmp, 'wb').write(data.replace(b"\r\n101\r\n", f"\r\n{500 + i}\r\n".encode(), 1))
    start = time.monotonic()
    os.rename(tmp, os.path.join(folder, name + ".prt"))
    dat = os.path.join(folder, name + ".dat")
    while not os.path.exists(dat):
        if time.monotonic() - start > 5:
            break
        time.sleep(0.0005)
    times.append((time.monotonic() - start) * 1000)
    time.sleep(0.3)
times.sort()
print(f"latency over {n} jobs: median {times[len(times)//2]:.1f} ms, worst {times[-1]:.1f} ms")
PY
