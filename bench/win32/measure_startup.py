#!/usr/bin/env python3
"""Start-up of Windows programs under Wine: process start to the window shown (mapped and
viewable on the X display), each program started in turn, alternating, ROUNDS times; each
window is then closed as a window manager would close it. Prints one line per program: name,
median, lowest, highest (seconds) and the runs; then one line per program of the CPU time its
process had used when the window was shown (all its threads, from /proc), which stays steadier
than wall-clock time when other work shares the machine.

Usage: measure_startup.py ROUNDS TITLE NAME=EXE[@DIR] ...   (DISPLAY and WINEPREFIX set)"""
import glob
import statistics
import subprocess
import sys
import time

from Xlib import X, display
from Xlib.protocol import event

rounds, title = int(sys.argv[1]), sys.argv[2]
programs = [arg.split("=", 1) for arg in sys.argv[3:]]
screen = display.Display()
root = screen.screen().root
net_name = screen.intern_atom("_NET_WM_NAME")
utf8 = screen.intern_atom("UTF8_STRING")


def shown_window():
    for window in root.query_tree().children:
        try:
            name = window.get_full_property(net_name, utf8)
            if name is not None and name.value.decode() == title and \
                    window.get_attributes().map_state == X.IsViewable:
                return window
        except Exception:  # a window that went away meanwhile
            pass
    return None


def cpu_seconds(pid):
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            total += int(open(path).read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total / 1e9


def start_once(exe, cwd):
    begin = time.perf_counter()
    process = subprocess.Popen(["wine", exe], cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    window = None
    while window is None:
        if time.perf_counter() - begin > 120 or process.poll() is not None:
            process.kill()
            raise SystemExit(f"{exe}: no window")
        time.sleep(0.002)
        window = shown_window()
    elapsed = time.perf_counter() - begin
    cpu[exe].append(cpu_seconds(process.pid))
    protocols = screen.intern_atom("WM_PROTOCOLS")
    delete = screen.intern_atom("WM_DELETE_WINDOW")
    window.send_event(event.ClientMessage(window=window, client_type=protocols,
                                          data=(32, [delete, X.CurrentTime, 0, 0, 0])),
                      event_mask=X.NoEventMask)
    screen.flush()
    process.wait(timeout=120)
    return elapsed


times = {name: [] for name, _ in programs}
cpu = {target.partition("@")[0]: [] for _, target in programs}
for name, target in programs:  # one start each to warm the caches, not counted
    exe, _, cwd = target.partition("@")
    start_once(exe, cwd or None)
for runs in cpu.values():
    runs.clear()
for _ in range(rounds):
    for name, target in programs:
        exe, _, cwd = target.partition("@")
        times[name].append(start_once(exe, cwd or None))
for name, runs in times.items():
    print(f"{name} {statistics.median(runs):.3f} {min(runs):.3f} {max(runs):.3f} "
          + " ".join(f"{t:.3f}" for t in runs))
for name, target in programs:
    runs = cpu[target.partition("@")[0]]
    print(f"{name}-cpu {statistics.median(runs):.3f} {min(runs):.3f} {max(runs):.3f}")
