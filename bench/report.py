#!/usr/bin/env python3
"""Turns the raw results of scripts/bench.sh into the figures of docs/performance.md.

Replaces what lies between the two marker lines of the document and leaves the rest, the
written account of what was changed, as it is.
"""
import glob
import json
import os
import statistics
import sys

BEGIN = "<!-- bench figures: begin (written by scripts/bench.sh) -->"
END = "<!-- bench figures: end -->"

STARTUP_GOAL = 1.05
MEMORY_GOAL = 1.05
LARGE_GOAL_MS = 100.0
PLAIN_GOAL_MS = 1.0
PLATFORM_NAMES = {"offscreen": "offscreen", "xcb": "Xvfb (xcb)"}
# bench_store's encoding argument: the same text in each of the file's encodings.
ENCODINGS = {0: "ANSI", 1: "UTF-8", 2: "UTF-16LE"}
UTF16_GOAL = 2.0  # UTF-16LE within this factor of UTF-8 at 10 MB of text


def encoding_of(name):
    for part in name.split("/"):
        if part.startswith("encoding:"):
            return int(part.split(":")[1])
    return 0


def spread(values, scale=1.0, digits=1):
    values = [v * scale for v in values]
    return (f"{statistics.median(values):.{digits}f}",
            f"{min(values):.{digits}f} - {max(values):.{digits}f}")


def mean_cpu(rounds):
    total = sum(n for _, n in rounds)
    return sum(mean * n for mean, n in rounds) / total if total else float("nan")


def size_text(size):
    if size < 1024 * 1024:
        return f"{size:.0f} bytes"
    return f"{size / 1048576:.2f} MB"


def verdict(ok):
    return "within goal" if ok else "**above goal**"


def read_load(path):
    try:
        lines = open(path).read().split("\n")
    except OSError:
        return "?"
    lines = [line for line in lines if line.strip()]
    return " / ".join(lines[:1] + lines[1:2]) if lines else "?"


def startup_section(work, lines):
    platforms = sorted({os.path.basename(p).split(".")[1]
                        for p in glob.glob(os.path.join(work, "startup.*.json"))},
                       key=lambda p: list(PLATFORM_NAMES).index(p) if p in PLATFORM_NAMES else 99)
    if not platforms:
        return
    lines += ["## Start-up and peak memory", "",
              "Whole processes from exec to the end after the window's first paint; hyperfine "
              "rounds alternate the order of the two programs. Peak memory is the maximum "
              "resident set (/usr/bin/time %M) over runs alternating between them.", "",
              "| platform | program | runs | median ms | min - max ms | CPU ms (user + system, mean) "
              "| peak RSS median KB | min - max KB | load (1/5/15 min) before / after |",
              "|---|---|---|---|---|---|---|---|---|"]
    ratios = []
    for platform in platforms:
        times = {"app": [], "floor": []}
        cpu = {"app": [], "floor": []}  # hyperfine gives the mean of each round only
        for path in sorted(glob.glob(os.path.join(work, f"startup.{platform}.*.json"))):
            for result in json.load(open(path))["results"]:
                kind = "app" if result["command"].endswith("bench_startup_app") else "floor"
                times[kind] += result["times"]
                cpu[kind].append((result["user"] + result["system"], len(result["times"])))
        memory = {}
        for kind in ("app", "floor"):
            try:
                memory[kind] = [int(v) for v in open(
                    os.path.join(work, f"memory.{platform}.{kind}")).read().split()]
            except OSError:
                memory[kind] = []
        load = read_load(os.path.join(work, f"load.startup.{platform}"))
        for kind, name in (("app", "program (bench_startup_app)"),
                           ("floor", "floor (bench_startup_floor)")):
            median, rng = spread(times[kind], 1000.0)
            mem_median, mem_rng = spread(memory[kind], 1.0, 0) if memory[kind] else ("?", "?")
            lines.append(f"| {PLATFORM_NAMES.get(platform, platform)} | {name} | "
                         f"{len(times[kind])} | {median} | {rng} | {mean_cpu(cpu[kind]) * 1000:.1f} "
                         f"| {mem_median} | {mem_rng} | {load} |")
        time_ratio = statistics.median(times["app"]) / statistics.median(times["floor"])
        min_ratio = min(times["app"]) / min(times["floor"])
        mem_ratio = (statistics.median(memory["app"]) / statistics.median(memory["floor"])
                     if memory["app"] and memory["floor"] else float("nan"))
        cpu_ratio = mean_cpu(cpu["app"]) / mean_cpu(cpu["floor"])
        ratios.append((platform, time_ratio, min_ratio, cpu_ratio, mem_ratio))
    lines += ["", "| platform | start-up, ratio of medians | ratio of minima | ratio of CPU time "
              "| goal | peak memory, ratio of medians | goal |", "|---|---|---|---|---|---|---|"]
    for platform, time_ratio, min_ratio, cpu_ratio, mem_ratio in ratios:
        lines.append(f"| {PLATFORM_NAMES.get(platform, platform)} | {time_ratio:.3f} | "
                     f"{min_ratio:.3f} | {cpu_ratio:.3f} | {verdict(time_ratio <= STARTUP_GOAL)} "
                     f"(at most {STARTUP_GOAL}) | {mem_ratio:.3f} | "
                     f"{verdict(mem_ratio <= MEMORY_GOAL)} (at most {MEMORY_GOAL}) |")
    lines.append("")


def store_section(work, lines):
    kinds = [k for k in ("disk", "memory") if os.path.exists(os.path.join(work, f"store.{k}.json"))]
    if not kinds:
        return
    lines += ["## Save and Load", "",
              "Google Benchmark cases of bench_store. Save is Ok's work: the controls' texts "
              "turned into a job, its 23 keys put, and the commit (re-read under the lock, "
              "temporary file written and flushed, renamed, directory synced). Load is a fresh "
              "store reading the job back, as at start-up. Config.dat holds the job alone, or "
              "the job between two halves of 1 MB or 10 MB of foreign sections (as text: twice "
              "the bytes in UTF-16LE), the same text in each of the file's encodings (ANSI "
              "code page, UTF-8 after its mark, UTF-16LE after its mark). Wall-clock "
              "time of one operation over the repetitions.", "",
              "| file system | case | encoding | file size | median ms | min - max ms | load before / after |",
              "|---|---|---|---|---|---|---|"]
    summary = []
    for kind in kinds:
        data = json.load(open(os.path.join(work, f"store.{kind}.json")))
        fs = open(os.path.join(work, f"fs.{kind}")).read().strip()
        load = read_load(os.path.join(work, f"load.store.{kind}"))
        cases = {}
        for run in data["benchmarks"]:
            if run.get("run_type") != "iteration" or run.get("error_occurred"):
                continue
            unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
            name = run["run_name"]
            entry = cases.setdefault(name, {"times": [], "bytes": run.get("file_bytes", 0)})
            entry["times"].append(run["real_time"] * unit)
        for op in ("Save", "Load"):
            for encoding, encoding_name in ENCODINGS.items():
                points = []
                for name, entry in sorted(cases.items(), key=lambda item: item[1]["bytes"]):
                    if not name.startswith(f"BM_{op}/") or encoding_of(name) != encoding:
                        continue
                    median, rng = spread(entry["times"], 1.0, 3)
                    lines.append(f"| {kind} ({fs}) | {op} | {encoding_name} | "
                                 f"{size_text(entry['bytes'])} | {median} | {rng} | {load} |")
                    points.append((entry["bytes"], statistics.median(entry["times"])))
                if len(points) == 3:
                    summary.append((kind, fs, op, encoding, points))
    lines += ["", "Growth with the file: time per MB of text between the job alone and 1 MB, "
              "and between 1 MB and 10 MB; equal slopes mean a linear cost. UTF-16LE is "
              "compared with UTF-8 holding the same text.", "",
              "| file system | case | encoding | job alone ms | ms per MB, 0 to 1 MB | "
              "ms per MB, 1 to 10 MB | 10 MB ms | goals |", "|---|---|---|---|---|---|---|---|"]
    at_10mb = {(kind, op, encoding): points[2][1]
               for kind, _, op, encoding, points in summary}
    for kind, fs, op, encoding, ((b0, t0), (b1, t1), (b2, t2)) in summary:
        # Per MB of text: a UTF-16LE file holds its text in twice the bytes.
        per = 2 if encoding == 2 else 1
        slope1 = (t1 - t0) / ((b1 - b0) / per / 1048576)
        slope2 = (t2 - t1) / ((b2 - b1) / per / 1048576)
        goals = [f"10 MB {verdict(t2 < LARGE_GOAL_MS)} (under {LARGE_GOAL_MS:.0f} ms)"]
        if (kind == "memory" or op == "Load") and encoding == 0:
            goals.append(f"job alone {verdict(t0 < PLAIN_GOAL_MS)} (under {PLAIN_GOAL_MS:.0f} ms)")
        if encoding == 2 and (kind, op, 1) in at_10mb:
            ratio = t2 / at_10mb[(kind, op, 1)]
            goals.append(f"{ratio:.2f} x UTF-8 {verdict(ratio <= UTF16_GOAL)} "
                         f"(at most {UTF16_GOAL:.0f} x)")
        lines.append(f"| {kind} ({fs}) | {op} | {ENCODINGS[encoding]} | {t0:.3f} | "
                     f"{slope1:.2f} | {slope2:.2f} | {t2:.1f} | {'; '.join(goals)} |")
    lines.append("")


def machine_section(work, lines):
    machine = {}
    for line in open(os.path.join(work, "machine")):
        key, _, value = line.rstrip("\n").partition("=")
        machine[key] = value
    lines += [f"Measured {machine.get('date', '?')} at commit {machine.get('commit', '?')} on "
              f"{machine.get('cpu', '?')}, {machine.get('nproc', '?')} CPUs, "
              f"{machine.get('memory', '?')} memory; {machine.get('os', '?')}, kernel "
              f"{machine.get('kernel', '?')}; Qt {machine.get('qt', '?')}; "
              f"{machine.get('compiler', '?')}, build type {machine.get('build_type', '?')} "
              f"({machine.get('flags', '?')}); {machine.get('hyperfine', '?')}; "
              f"Google Benchmark {machine.get('benchmark', '?')}.", ""]


def main():
    work, document = sys.argv[1], sys.argv[2]
    lines = [BEGIN, ""]
    machine_section(work, lines)
    startup_section(work, lines)
    store_section(work, lines)
    lines.append(END)
    generated = "\n".join(lines) + "\n"
    try:
        text = open(document).read()
    except OSError:
        text = ""
    if BEGIN in text and END in text:
        head = text[:text.index(BEGIN)]
        tail = text[text.index(END) + len(END):].lstrip("\n")
        text = head + generated + ("\n" + tail if tail else "")
    else:
        text = "# Performance\n\n" + generated if not text else text.rstrip("\n") + "\n\n" + generated
    with open(document, "w") as out:
        out.write(text)


if __name__ == "__main__":
    main()
