#!/usr/bin/env python3
"""Turns the raw results of scripts/bench.sh into the figures of docs/performance.md.

Replaces what lies between each pair of marker lines of the document (start-up; Save and Load)
with the figures of the run, when the run measured them, and leaves the rest, the written
account of what was changed, as it is.
"""
import glob
import json
import os
import statistics
import sys

BEGIN = "<!-- bench figures: begin (written by scripts/bench.sh) -->"
END = "<!-- bench figures: end -->"
STORE_BEGIN = "<!-- store figures: begin (written by scripts/bench.sh) -->"
STORE_END = "<!-- store figures: end -->"

STARTUP_GOAL = 1.05
MEMORY_GOAL = 1.05
FLOOR_GOAL = 4.0  # a 10 MB Save against the durable replace of the same bytes, on the disk
PEAK_GOAL = 3.0  # peak memory of one Load or Save against the file's size
PLATFORM_NAMES = {"offscreen": "offscreen", "xcb": "Xvfb (xcb)"}
# bench_store's encoding argument.
ENCODINGS = {0: "Windows-1252", 1: "UTF-8", 2: "UTF-16LE", 3: "UTF-16BE"}


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


def ms(value):
    return f"{value:.3f}" if value < 1 else f"{value:.2f}" if value < 10 else f"{value:.1f}"


def case_args(name):
    """The arguments of a bench_store case, from its name ("BM_Save/file_mb:10/encoding:1/...")."""
    args = {}
    for part in name.split("/")[1:]:
        key, _, value = part.partition(":")
        if key not in ("iterations", "repeats"):
            args[key] = int(value)
    return name.split("/")[0][3:], args


def store_cases(path):
    """Each case's wall-clock and CPU times (ms), file size and peak memory, by op and arguments."""
    cases = {}
    for run in json.load(open(path))["benchmarks"]:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
        op, args = case_args(run["run_name"])
        key = (op, args.get("file_mb", 0), args.get("encoding", 0), args.get("file_info_keys", 0),
               args.get("op", 0))
        entry = cases.setdefault(key, {"real": [], "cpu": [], "bytes": run.get("file_bytes", 0),
                                       "peak": []})
        entry["real"].append(run["real_time"] * unit)
        entry["cpu"].append(run["cpu_time"] * unit)
        if "peak_bytes" in run:
            entry["peak"].append(run["peak_bytes"])
    return cases


def store_section(work, lines):
    kinds = [k for k in ("disk", "memory") if os.path.exists(os.path.join(work, f"store.{k}.json"))]
    if not kinds:
        return
    lines += ["### Save and Load against the file's size", "",
              "Google Benchmark cases of bench_store, their repetitions interleaved at random. "
              "Median wall-clock ms of one operation (CPU ms in brackets). Save: 23 puts and the "
              "commit; Load: a fresh store and 23 gets. The ratios 10/1 and 50/10 are those of the "
              "medians; a linear cost gives at most 10 and 5 (less where a fixed cost, such as the "
              "flush, counts). The hostile files hold 100,000 or 1,000,000 other keys in "
              "\"FILE INFO\" (14.1 MB with a million in one-byte encodings, 28.2 MB in UTF-16).", "",
              "| file system | case | encoding | job alone | 1 MB | 10 MB | 50 MB | 10/1 | 50/10 "
              "| 100k keys | 1M keys | 1M/100k |", "|---|---|---|---|---|---|---|---|---|---|---|---|"]
    all_cases, notes = {}, []
    for kind in kinds:
        cases = store_cases(os.path.join(work, f"store.{kind}.json"))
        all_cases[kind] = cases
        fs = open(os.path.join(work, f"fs.{kind}")).read().strip()

        def cell(key):
            entry = cases.get(key)
            if not entry:
                return "?"
            return f"{ms(statistics.median(entry['real']))} ({ms(statistics.median(entry['cpu']))})"

        def ratio(a, b):
            if a in cases and b in cases:
                return f"{statistics.median(cases[a]['real']) / statistics.median(cases[b]['real']):.2f}"
            return "?"

        for op in ("Save", "Load"):
            for encoding, encoding_name in ENCODINGS.items():
                size = lambda mb, keys=0: (op, mb, encoding, keys, 0)
                lines.append(
                    f"| {kind} ({fs}) | {op} | {encoding_name} | {cell(size(0))} | {cell(size(1))} "
                    f"| {cell(size(10))} | {cell(size(50))} | {ratio(size(10), size(1))} "
                    f"| {ratio(size(50), size(10))} | {cell(size(0, 100000))} "
                    f"| {cell(size(0, 1000000))} | {ratio(size(0, 1000000), size(0, 100000))} |")
        try:
            where = f" in {open(os.path.join(work, f'dir.{kind}')).read().strip()} ({fs})"
        except OSError:
            where = ""
        notes.append(f"- {kind}: files{where}; load average (1/5/15 min) before / after the "
                     f"run: {read_load(os.path.join(work, f'load.store.{kind}'))}.")
    lines += [""] + notes + [""]

    lines += ["### Save of 10 MB against the floor", "",
              "The floor: the same file's bytes read, written to a temporary file beside it, "
              "flushed (fsync), renamed over it, the directory flushed, in plain POSIX calls; "
              "interleaved with the Saves in the same run. Median wall-clock ms.", "",
              "| file system | encoding | file size | Save | floor | Save / floor | goal |",
              "|---|---|---|---|---|---|---|"]
    for kind in kinds:
        cases = all_cases[kind]
        fs = open(os.path.join(work, f"fs.{kind}")).read().strip()
        for encoding, encoding_name in ENCODINGS.items():
            save, floor = cases.get(("Save", 10, encoding, 0, 0)), cases.get(("Floor", 10, encoding, 0, 0))
            if not save or not floor:
                continue
            ratio = statistics.median(save["real"]) / statistics.median(floor["real"])
            goal = verdict(ratio <= FLOOR_GOAL) if kind == "disk" else "(the goal is on the disk)"
            lines.append(f"| {kind} ({fs}) | {encoding_name} | {size_text(save['bytes'])} "
                         f"| {statistics.median(save['real']):.1f} "
                         f"| {statistics.median(floor['real']):.1f} | {ratio:.2f} "
                         f"| {goal} (at most {FLOOR_GOAL:.0f}) |")

    memory = [(kind, key, entry) for kind in kinds for key, entry in all_cases[kind].items()
              if key[0] == "PeakMemory" and entry["peak"]]
    if not memory:
        lines.append("")
        return
    lines += ["", "### Peak memory against the file's size", "",
              "One Load, or one Save (two, each by a store of its own, with a changed job and back), "
              "in a fresh process of its own: its highest resident set (VmHWM) less what it held "
              "before, in MB, and as a multiple of the file's size.", "",
              "| case | encoding | 1 MB | 10 MB | 50 MB | 100k keys | 1M keys | goal, sized files "
              "| goal, hostile files |", "|---|---|---|---|---|---|---|---|---|"]
    peaks = {key: (max(entry["peak"]), entry["bytes"]) for _, key, entry in memory}
    for op_index, op in ((0, "Load"), (1, "Save")):
        for encoding, encoding_name in ENCODINGS.items():
            cells, worst = [], {False: None, True: None}
            for mb, keys in ((1, 0), (10, 0), (50, 0), (0, 100000), (0, 1000000)):
                found = peaks.get(("PeakMemory", mb, encoding, keys, op_index))
                if not found:
                    cells.append("?")
                    continue
                peak, size = found
                worst[keys > 0] = max(worst[keys > 0] or 0.0, peak / size)
                cells.append(f"{peak / 1048576:.1f} ({peak / size:.2f} x)")
            goals = [f"{verdict(w <= PEAK_GOAL)} (at most {PEAK_GOAL:.0f} x)" if w is not None
                     else "?" for w in (worst[False], worst[True])]
            if cells.count("?") < len(cells):
                lines.append(f"| {op} | {encoding_name} | {' | '.join(cells + goals)} |")
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


def replace_block(text, begin, end, lines):
    generated = "\n".join([begin, ""] + lines + [end]) + "\n"
    if begin in text and end in text:
        head = text[:text.index(begin)]
        tail = text[text.index(end) + len(end):].lstrip("\n")
        return head + generated + ("\n" + tail if tail else "")
    return "# Performance\n\n" + generated if not text else text.rstrip("\n") + "\n\n" + generated


def main():
    work, document = sys.argv[1], sys.argv[2]
    try:
        text = open(document).read()
    except OSError:
        text = ""
    # Each block is written again only when this run measured it.
    for begin, end, section, pattern in ((BEGIN, END, startup_section, "startup.*.json"),
                                         (STORE_BEGIN, STORE_END, store_section, "store.*.json")):
        if glob.glob(os.path.join(work, pattern)):
            lines = []
            machine_section(work, lines)
            section(work, lines)
            text = replace_block(text, begin, end, lines)
    with open(document, "w") as out:
        out.write(text)


if __name__ == "__main__":
    main()
