#!/usr/bin/env bash
# Start-up and memory of the program, offscreen:
#  - time from starting the process until its main window was first painted (the program's
#    "trx.startup" diagnostic), the median of 10 starts;
#  - resident memory after 10 s of live scan from the bundled simulator ("--port Simulator");
#  - the share of one core the program uses and how often it wakes (its threads' context
#    switches per second), over 20 s with no port open and over 20 s of live scan from the
#    paced simulator (goals idle: at most 0.5 % and 20 wake-ups a second).
# Usage: bench/startup.sh [PROGRAM] (default: the release build's, then the package build's)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-}"
if [ -z "$program" ]; then
  for p in build/app/trx81500 build-package/app/trx81500; do
    [ -x "$p" ] && { program=$p; break; }
  done
fi
[ -n "$program" ] && [ -x "$program" ] ||
  { echo "no program: cmake --preset release && cmake --build --preset release" >&2; exit 1; }
echo "program: $program"
exec python3 - "$program" <<'PY'
import os, re, signal, statistics, subprocess, sys, time

program = sys.argv[1]
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_LOGGING_RULES="trx.startup.info=true")

def first_paint():
    """Seconds from spawning the program until it reports its first paint, and its own ms."""
    start = time.monotonic()
    p = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True)
    try:
        for line in p.stderr:
            m = re.search(r"main window painted (\d+) ms after start", line)
            if m:
                return time.monotonic() - start, int(m.group(1))
        raise SystemExit("the program ended before its first paint")
    finally:
        p.kill()
        p.wait()

def status_kib(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0

def io(pid, field):
    with open(f"/proc/{pid}/io") as f:
        return int(re.search(rf"^{field}: (\d+)", f.read(), re.M).group(1))

def cpu_and_wakeups(pid):
    """CPU seconds and context switches of every thread of the process so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    switches = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return cpu, switches

def stop(p):
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(5)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()

def rest_figures(args, what, seconds=20):
    p = subprocess.Popen([program] + args, env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    try:
        time.sleep(2)  # past the start and the first link supervision ticks
        if p.poll() is not None:
            raise SystemExit(f"the program ended ({what})")
        cpu0, sw0 = cpu_and_wakeups(p.pid)
        t0 = time.monotonic()
        time.sleep(seconds)
        cpu1, sw1 = cpu_and_wakeups(p.pid)
        span = time.monotonic() - t0
        print(f"{what}: {100 * (cpu1 - cpu0) / span:.2f} % of a core, "
              f"{(sw1 - sw0) / span:.0f} wake-ups/s over {span:.0f} s")
    finally:
        stop(p)

first_paint()  # warms the file cache, as a second start of the day would find it
runs = [first_paint() for _ in range(10)]
wall = sorted(r[0] for r in runs)
print(f"first paint: median {statistics.median(wall) * 1000:.0f} ms "
      f"(min {wall[0] * 1000:.0f}, max {wall[-1] * 1000:.0f}) from process start; "
      f"inside main() {statistics.median(r[1] for r in runs):.0f} ms")

p = subprocess.Popen([program, "--port", "Simulator"], env=env, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
try:
    time.sleep(1)
    sims = subprocess.run(["pgrep", "-P", str(p.pid), "-x", "trx81500-sim"],
                          capture_output=True, text=True).stdout.split()
    if p.poll() is not None or not sims:
        raise SystemExit("the program did not start its simulator")
    sim = int(sims[0])
    sent, read = io(sim, "wchar"), io(p.pid, "rchar")
    time.sleep(9)
    rss = status_kib(p.pid, "VmRSS")
    hwm = status_kib(p.pid, "VmHWM")
    sent, read = io(sim, "wchar") - sent, io(p.pid, "rchar") - read
    print(f"resident memory after 10 s of live scan: {rss / 1024:.1f} MiB "
          f"(peak {hwm / 1024:.1f} MiB); in the last 9 s the simulator sent {sent} bytes, "
          f"the program read {read}")
    if sent == 0 or read < sent:
        raise SystemExit("no live scan: the program did not read what the simulator sent")
finally:
    stop(p)

rest_figures([], "idle, no port open")
rest_figures(["--port", "Simulator"], "live scan from the simulator")
PY
