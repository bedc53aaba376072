#!/usr/bin/env bash
# What the "Scan quality" window costs the program: the share of one core the program uses
# (user + system ticks of /proc/PID/stat) over 20 s of live scan at 18 turns a second from the
# paced simulator, first with the window closed, then open (Ctrl+Alt+S), on a virtual X
# display. Goal: open costs less than 3 points of a core more than closed.
# Usage: bench/quality_window_cpu.sh [PROGRAM [SIMULATOR]] [RUNS] (default: the release build's)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/app/trx81500}"
sim="${2:-build/sim/trx81500-sim}"
runs="${3:-3}"
[ -x "$program" ] && [ -x "$sim" ] ||
  { echo "no program: cmake --preset release && cmake --build --preset release" >&2; exit 1; }
echo "program: $program"
exec python3 - "$program" "$sim" "$runs" <<'PY'
import os, random, signal, subprocess, sys, tempfile, time

program, sim, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
work = tempfile.mkdtemp(prefix="trx-quality-cpu-")
state = os.path.join(work, "state")
with open(state, "w") as f:
    f.write("speed 180\n")  # 18.0 turns a second
# The program's own "Simulator" entry, started through a wrapper that adds the state file.
wrapper = os.path.join(work, "sim")
with open(wrapper, "w") as f:
    f.write(f'#!/bin/sh\nexec "{os.path.abspath(sim)}" --state "{state}" "$@"\n')
os.chmod(wrapper, 0o755)
display = f":{random.randint(100, 899)}"
env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(work, "config"),
           XDG_DATA_HOME=os.path.join(work, "data"), TRX81500_SIM=wrapper)
env.pop("QT_QPA_PLATFORM", None)

def cpu(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

def start():
    p = subprocess.Popen([program, "--port", "Simulator"], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    return p

def open_window(p):
    """Ctrl+Alt+S in the program's main window, and its "Scan quality" window is up."""
    wid = subprocess.run(["xdotool", "search", "--sync", "--pid", str(p.pid), "--onlyvisible",
                          "--name", "TRX"], env=env, capture_output=True, text=True).stdout.split()
    if not wid:
        raise SystemExit("no main window found")
    subprocess.run(["xdotool", "windowactivate", "--sync", wid[0]], env=env,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["xdotool", "key", "--window", wid[0], "ctrl+alt+s"], env=env)
    for _ in range(50):
        shown = subprocess.run(["xdotool", "search", "--pid", str(p.pid), "--onlyvisible",
                                "--name", "Scan quality"], env=env, capture_output=True,
                               text=True).stdout.split()
        if shown:
            return
        time.sleep(0.1)
    raise SystemExit("the Scan quality window did not open")

def stop(p):
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(5)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()

xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    time.sleep(1)
    for run in range(runs):
        # Two programs side by side over the same 20 s, so that the machine's other load
        # weighs on both alike: one with the window closed, one with it open.
        closed_p = start()
        open_p = start()
        try:
            time.sleep(4)  # past the start, the parameter set read and the first turns
            open_window(open_p)
            time.sleep(2)
            c0, o0, t0 = cpu(closed_p.pid), cpu(open_p.pid), time.monotonic()
            time.sleep(20)
            span = time.monotonic() - t0
            closed = 100 * (cpu(closed_p.pid) - c0) / span
            opened = 100 * (cpu(open_p.pid) - o0) / span
            if closed_p.poll() is not None or open_p.poll() is not None:
                raise SystemExit("a program ended")
            print(f"run {run + 1}: closed {closed:.1f} %, open {opened:.1f} % of a core: "
                  f"{opened - closed:+.1f} points")
        finally:
            stop(closed_p)
            stop(open_p)
finally:
    stop(xvfb)
PY
