#!/usr/bin/env python3
"""Writes docs/performance.md and its plot from one run of the benchmarks.

Reads the in-process results (Google Benchmark JSON, every repetition kept),
takes the median CPU time per frame of each case, computes the ratios the
targets are stated in, and appends the whole-pipeline report when one was
made.
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.lines import Line2D  # noqa: E402

TYPES = ["RGB24", "RGB32", "YUY2", "YV12", "I420"]
SIZES = ["720x480", "1920x1080", "3840x2160"]
CASES = {
    "stamp": "Stampel, unshared frame (stamping alone)",
    "stamp_shared": "Stampel, shared frame (copy plus stamping)",
    "copy": "the host's copy alone (MakeWritable)",
    "passthrough": "source alone (pass-through)",
    "read": "reading the stamp back (stampel --check)",
}
STAMP_GROWTH_LIMIT = 1.2
SHARED_OVER_COPY_LIMIT = 1.1


def load(path):
    """Medians over the repetitions: CPU time per frame of each separate case,
    and of each paired case its ratio and the two sides' times per frame."""
    with open(path) as f:
        data = json.load(f)
    times = defaultdict(list)
    pairs = defaultdict(lambda: defaultdict(list))
    counters = {}
    errors = []
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        if b.get("error_occurred"):
            errors.append(f"{b['name']}: {b.get('error_message', 'failed')}")
            continue
        case, ptype, size = b["run_name"].split("/")
        if case.startswith("pair_"):
            for key in ("ratio", "first_ns", "second_ns"):
                pairs[(case, ptype, size)][key].append(b[key])
            continue
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        times[(case, ptype, size)].append(b["cpu_time"] * scale)
        prev = counters.get((case, ptype, size))
        allocs = b["allocs_per_frame"]
        counters[(case, ptype, size)] = {
            "allocs": max(allocs, prev["allocs"]) if prev else allocs,
            "pixels": b["pixels"],
            "bytes": b["bytes"],
        }
    medians = {k: statistics.median(v) for k, v in times.items()}
    paired = {k: {key: statistics.median(v) for key, v in d.items()} for k, d in pairs.items()}
    reps = max((len(v) for v in times.values()), default=0)
    return data["context"], medians, paired, counters, reps, errors


def read_first(path, key):
    try:
        with open(path) as f:
            for line in f:
                if line.startswith(key):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def command_output(args):
    try:
        return subprocess.run(args, capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def cpu_caches():
    """The first CPU's caches as the kernel lists them."""
    base = "/sys/devices/system/cpu/cpu0/cache"
    found = []
    try:
        for entry in sorted(os.listdir(base)):
            if not entry.startswith("index"):
                continue

            def attr(name, entry=entry):
                with open(os.path.join(base, entry, name)) as f:
                    return f.read().strip()

            found.append(f"L{attr('level')} {attr('type').lower()} {attr('size')}")
    except OSError:
        pass
    if not found:
        size = read_first("/proc/cpuinfo", "cache size")
        if size != "unknown":
            found.append(f"{size} per core (as /proc/cpuinfo reports it)")
    return ", ".join(found)


def os_name():
    try:
        with open("/etc/os-release") as f:
            fields = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        return fields.get("PRETTY_NAME", platform.system()).strip('"')
    except OSError:
        return platform.system()


def machine(context):
    cpu = read_first("/proc/cpuinfo", "model name")
    cores = command_output(["nproc"])
    mem = read_first("/proc/meminfo", "MemTotal")
    try:
        mem = f"{int(mem.split()[0]) / 1024 / 1024:.1f} GiB"
    except (ValueError, IndexError):
        pass
    caches = ", ".join(
        f"L{c['level']} {c['type'].lower()} {c['size'] // 1024} KiB"
        for c in context.get("caches", [])
    ) or cpu_caches()
    compiler = command_output(["c++", "--version"]).splitlines()[0:1]
    bench_lib = command_output(["dpkg-query", "-W", "-f=${Version}", "libbenchmark-dev"])
    return [
        ("CPU", cpu),
        ("cores available (nproc)", cores),
        ("clock reported", f"{context.get('mhz_per_cpu', '?')} MHz"),
        ("caches", caches or "unknown"),
        ("memory", mem),
        ("system", f"{os_name()}, {platform.machine()}"),
        ("compiler", compiler[0] if compiler else "unknown"),
        ("Google Benchmark", bench_lib),
    ]


def fmt_time(ns):
    if ns is None:
        return "n/a"
    sign, ns = ("−" if ns < 0 else ""), abs(ns)
    if ns < 1e3:
        return f"{sign}{ns:.0f} ns"
    if ns < 1e6:
        return f"{sign}{ns / 1e3:.1f} µs"
    return f"{sign}{ns / 1e6:.2f} ms"


def ratio(a, b):
    return a / b if a is not None and b else None


def fmt_ratio(r):
    return "n/a" if r is None else f"{r:.2f}"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def plot(medians, counters, path):
    fig, ax = plt.subplots(figsize=(9, 6))
    colours = dict(zip(CASES, ["tab:red", "tab:purple", "tab:blue", "tab:grey", "tab:green"]))
    markers = dict(zip(TYPES, ["o", "s", "^", "D", "v"]))
    for case in CASES:
        for ptype in TYPES:
            points = [
                (counters[(case, ptype, s)]["pixels"], medians[(case, ptype, s)] / 1e3)
                for s in SIZES
                if (case, ptype, s) in medians
            ]
            if not points:
                continue
            xs, ys = zip(*points)
            ax.plot(xs, ys, color=colours[case], marker=markers[ptype], linewidth=1)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xticks([720 * 480, 1920 * 1080, 3840 * 2160])
    ax.set_xticklabels(SIZES)
    ax.minorticks_off()
    ax.set_xlabel("picture size")
    ax.set_ylabel("CPU time per frame (µs, median)")
    ax.set_title("Per-frame cost in process, by case and pixel type")
    ax.grid(True, which="major", alpha=0.3)
    # One legend for the cases (colours), one for the pixel types (markers).
    case_handles = [Line2D([], [], color=colours[c], label=c) for c in CASES]
    type_handles = [Line2D([], [], color="black", marker=markers[t], linestyle="", label=t)
                    for t in TYPES]
    # Both in the empty band between the pass-through and the stamping lines.
    first = ax.legend(handles=case_handles, fontsize=8, ncol=len(CASES), loc="lower left",
                      bbox_to_anchor=(0.01, 0.08))
    ax.add_artist(first)
    ax.legend(handles=type_handles, fontsize=8, ncol=len(TYPES), loc="lower left",
              bbox_to_anchor=(0.01, 0.15))
    fig.tight_layout()
    fig.savefig(path, dpi=100, bbox_inches="tight")
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--inprocess", required=True, help="benchmark JSON")
    parser.add_argument("--flags", required=True, help="flags the benchmark ran with")
    parser.add_argument("--pipeline", help="the whole-pipeline report (Markdown), if made")
    parser.add_argument("--pipeline-note", help="why there is no whole-pipeline report")
    parser.add_argument("--pipeline-command", help="the command that made the pipeline report")
    parser.add_argument("--out", required=True)
    parser.add_argument("--plot", required=True)
    args = parser.parse_args()

    context, med, paired, counters, reps, errors = load(args.inprocess)
    plot(med, counters, args.plot)

    def m(case, ptype, size):
        return med.get((case, ptype, size))

    def pair(case, ptype, size):
        return paired.get((case, ptype, size), {})

    growth_name = f"{SIZES[2]}_vs_{SIZES[0]}"
    growth_rows, growth = [], []
    for t in TYPES:
        times = [m("stamp", t, s) for s in SIZES]
        p = pair("pair_growth", t, growth_name)
        r = p.get("ratio")
        growth.append(r)
        growth_rows.append([t] + [fmt_time(x) for x in times] +
                           [fmt_ratio(ratio(times[2], times[0])),
                            f"{fmt_time(p.get('first_ns'))} → {fmt_time(p.get('second_ns'))}",
                            f"**{fmt_ratio(r)}**"])

    shared_rows, shared = [], []
    for t in TYPES:
        for s in SIZES:
            c, st = m("copy", t, s), m("stamp_shared", t, s)
            p = pair("pair_shared", t, s)
            r = p.get("ratio")
            shared.append(r)
            a, b = p.get("first_ns"), p.get("second_ns")
            shared_rows.append([t, s, fmt_time(c), fmt_time(st), fmt_ratio(ratio(st, c)),
                                fmt_time(a), fmt_time(b),
                                fmt_time(None if a is None or b is None else b - a),
                                f"**{fmt_ratio(r)}**"])

    alloc_rows, stamp_allocs = [], None
    for case in CASES:
        values = [counters[k]["allocs"] for k in counters if k[0] == case]
        worst = max(values) if values else None
        if case == "stamp":
            stamp_allocs = worst
        alloc_rows.append([CASES[case], "n/a" if worst is None else f"{worst:g}"])

    pass_rows = []
    for t in TYPES:
        row = [t]
        for s in SIZES:
            p, st = m("passthrough", t, s), m("stamp", t, s)
            row.append(f"{fmt_time(p)} / {fmt_time(st)}")
        pass_rows.append(row)

    def verdict(ok):
        return "met" if ok else "**missed**"

    valid_growth = [g for g in growth if g is not None]
    valid_shared = [r for r in shared if r is not None]
    worst_growth = max(valid_growth) if valid_growth else None
    worst_shared = max(valid_shared) if valid_shared else None
    targets = [
        ["stamping an unshared frame does not grow with the picture: 3840x2160 / 720x480",
         f"≤ {STAMP_GROWTH_LIMIT}", fmt_ratio(worst_growth) + " (paired, worst pixel type)",
         verdict(worst_growth is not None and worst_growth <= STAMP_GROWTH_LIMIT
                 and len(valid_growth) == len(TYPES))],
        ["a shared frame against the copy alone: stamp_shared / copy",
         f"≤ {SHARED_OVER_COPY_LIMIT}",
         fmt_ratio(worst_shared) + " (paired, worst type and size)",
         verdict(worst_shared is not None and worst_shared <= SHARED_OVER_COPY_LIMIT
                 and len(valid_shared) == len(TYPES) * len(SIZES))],
        ["allocations per frame in Stampel's GetFrame, unshared frames", "0",
         "n/a" if stamp_allocs is None else f"{stamp_allocs:g} (worst case)",
         verdict(stamp_allocs == 0)],
    ]

    out = []
    out.append("# Performance\n")
    out.append("Written by `scripts/bench.sh`, which builds the `bench` preset (optimised, with "
               "debug info), runs every benchmark below and writes this page and its plot. "
               "Do not edit it by hand: run the script again.\n")
    out.append("## Machine\n")
    out.append(table(["", ""], machine(context)) + "\n")
    out.append(f"Run on {context.get('date', 'unknown date')}. The machine is shared: other "
               "builds may run beside the benchmarks, so absolute times are noisy. Every case "
               f"ran {reps} times, interleaved at random with all the others; the figures are "
               "the medians of those repetitions, in CPU time of the benchmarking thread, and "
               "every ratio is taken between medians of the same run. The limits are checked "
               "on paired cases, which run both sides of a comparison alternately in one loop, "
               "so that both meet the same load; ratios of separate cases are shown beside "
               "them.\n")
    out.append("## Commands\n")
    out.append("```sh\nscripts/bench.sh\n```\n")
    out.append("which runs, after building:\n")
    out.append(f"```sh\nstampel_bench {args.flags}\n```\n")
    if args.pipeline_command:
        out.append(f"and for the whole pipeline:\n\n```sh\n{args.pipeline_command}\n```\n")
    out.append("Debian's Google Benchmark library warns that it was built as DEBUG: that is "
               "the library's own code around the timed loop, not the code under test, which "
               "the `bench` preset builds optimised.\n")
    out.append("`stampel_bench` (in `bench/`) loads the plugin module into the project's own "
               "host, calls `Stampel` through the registered script function and asks for "
               "frames through the filter's `GetFrame` slot, as a frame server does. Cases:\n")
    out.append("\n".join(f"- `{k}`: {v}." for k, v in CASES.items()))
    out.append(f"- `pair_growth`: `stamp` at {SIZES[2]} and at {SIZES[0]}, alternately in one "
               "loop.\n- `pair_shared`: `copy` and `stamp_shared` at one size, alternately in "
               "one loop.\n")
    out.append("Unshared frames come from a source that hands out one still picture, writable "
               "in place, and does no work of its own per frame; shared frames are held by the "
               "source too, so the host's `MakeWritable` copies them (`FramePool::Copy`, the "
               "frame's whole storage). Each frame shows six digits (a clip of 100000 frames). "
               "Allocations are counted by replacing the C library's allocation functions in "
               "the benchmark program, which covers `operator new` and the loaded module. "
               "Between frames the digit cells of the still picture stay in the processor's "
               "caches; frames that arrive cold cost a few dozen cache misses more, the same "
               "at every picture size.\n")
    if errors:
        out.append("**Cases that failed:**\n")
        out.append("\n".join(f"- {e}" for e in errors) + "\n")

    out.append("## Targets\n")
    out.append(table(["target", "limit", "measured", ""], targets) + "\n")

    out.append("## Stamping an unshared frame\n")
    out.append("CPU time per frame of `stamp` in separate runs, their ratio, and the paired run "
               "(both sizes alternately in one loop, batches of 64 frames, median wall time per "
               "frame of each side): the paired ratio is the one the limit is checked on.\n")
    out.append(table(["pixel type"] + SIZES + [f"{SIZES[2]} / {SIZES[0]}, separate",
                                               f"paired: {SIZES[0]} → {SIZES[2]}",
                                               f"{SIZES[2]} / {SIZES[0]}, paired"],
                     growth_rows) + "\n")
    out.append("## Shared frames against the copy alone\n")
    out.append("`copy` and `stamp_shared` in separate runs (CPU time per frame), then paired: "
               "one copy and one shared frame through Stampel alternately in one loop, median "
               "wall time per frame of each side; the paired ratio is the one the limit is "
               "checked on.\n")
    out.append(table(["pixel type", "size", "copy", "stamp_shared", "ratio, separate",
                      "paired copy", "paired stamp_shared", "difference", "ratio, paired"],
                     shared_rows) + "\n")
    out.append("## Allocations per frame\n")
    out.append(table(["case", "worst over pixel types and sizes"], alloc_rows) + "\n")
    out.append("## Pass-through against stamping\n")
    out.append("Source alone / Stampel over it, unshared frames:\n")
    out.append(table(["pixel type"] + SIZES, pass_rows) + "\n")
    out.append("## Reading stamps back against stamping\n")
    out.append("What `stampel --check` spends on a frame's cells (`read`, matching each cell "
               "against the font) beside what Stampel spends drawing them (`stamp`, unshared "
               "frames): read / stamp. Both touch only the cells, so neither grows with the "
               "picture.\n")
    read_rows = []
    for t in TYPES:
        read_rows.append([t] + [f"{fmt_time(m('read', t, s))} / {fmt_time(m('stamp', t, s))} = "
                                f"{fmt_ratio(ratio(m('read', t, s), m('stamp', t, s)))}"
                                for s in SIZES])
    out.append(table(["pixel type"] + SIZES, read_rows) + "\n")
    out.append("## Time per frame against picture size\n")
    out.append(f"![time per frame against picture size]({os.path.basename(args.plot)})\n")

    out.append("## Whole pipeline\n")
    if args.pipeline:
        with open(args.pipeline) as f:
            report = f.read().strip()
        out.append((report or "The timing script printed no report.") + "\n")
    else:
        out.append((args.pipeline_note or "Not run.") + "\n")

    with open(args.out, "w") as f:
        f.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
