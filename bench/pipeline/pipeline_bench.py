#!/usr/bin/env python3
"""How stampel compares, on a 1080p YUV4MPEG2 clip read from a file, with
cat copying the same file and with ffmpeg's drawtext filter writing the frame
number in a box. The three run interleaved, each writing to the same output
file; the medians and their ratios are printed.

    bench/pipeline/pipeline_bench.py [--stampel PATH] [--frames N] [--runs N] [--dir DIR]

It prints a Markdown table, for the output going into a file, into a pipe
and to /dev/null.

Targets: stampel/cat at most 1.5, drawtext/stampel at least 2."""

import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FONTS = ["/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    build = os.environ.get("STAMPEL_BUILD_DIR", os.path.join(ROOT, "build", "native"))
    parser.add_argument("--stampel", default=os.path.join(build, "stampel"))
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", default=os.path.join(ROOT, "build", "pipeline-bench"))
    args = parser.parse_args()

    os.makedirs(args.dir, exist_ok=True)
    clip = os.path.join(args.dir, "clip-1080p-%d.y4m" % args.frames)
    out = os.path.join(args.dir, "out.y4m")
    if not os.path.exists(clip):
        print("making %s" % clip, file=sys.stderr)
        subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                        "testsrc2=size=1920x1080:rate=25", "-frames:v", str(args.frames),
                        "-pix_fmt", "yuv420p", clip], check=True)
    font = next((f for f in FONTS if os.path.exists(f)), None)
    if font is None:
        sys.exit("pipeline_bench: no font for drawtext (install fonts-dejavu-core)")
    drawtext = ("drawtext=fontfile=%s:text='%%{frame_num}':fontsize=20:fontcolor=white:"
                "box=1:boxcolor=black:x=w-tw-4:y=h-th-4" % font)

    # Where the output goes. Into a file, cat copies in the kernel
    # (copy_file_range), which no program that looks at the frames can do.
    places = [("file", out), ("pipe", None), ("/dev/null", os.devnull)]

    def timed(command, place):
        start = time.perf_counter()
        if place is None:  # a pipe to a reader that throws the bytes away
            producer = subprocess.Popen(command, stdout=subprocess.PIPE)
            consumer = subprocess.Popen(["cat"], stdin=producer.stdout,
                                        stdout=subprocess.DEVNULL)
            producer.stdout.close()
            if consumer.wait() or producer.wait():
                sys.exit("pipeline_bench: %s failed" % command[0])
        else:
            with open(place, "wb") as sink:
                subprocess.run(command, stdout=sink, check=True)
        return time.perf_counter() - start

    contenders = [
        ("cat", ["cat", clip]),
        ("stampel", [args.stampel, "--quiet", clip]),
        ("drawtext", ["ffmpeg", "-v", "error", "-nostdin", "-i", clip, "-vf", drawtext,
                      "-f", "yuv4mpegpipe", "-"]),
    ]
    times = {(name, place): [] for name, _ in contenders for place, _ in places}
    for place, target in places:  # warm the page cache and the output file
        for name, command in contenders:
            timed(command, target)
    for _ in range(args.runs):
        for place, target in places:
            for name, command in contenders:
                times[(name, place)].append(timed(command, target))
    median = {key: statistics.median(t) for key, t in times.items()}

    # Markdown, so that the report of scripts/bench.sh can take it as it is.
    size = os.path.getsize(clip)
    print("1920x1080 4:2:0 YUV4MPEG2 clip of %d frames (%.0f MB) read from a file; "
          "%d interleaved runs, medians in seconds.\n" % (args.frames, size / 1e6, args.runs))
    print("| output | cat | stampel | drawtext | stampel/cat | drawtext/stampel |")
    print("|---|---|---|---|---|---|")
    for place, _ in places:
        c, s, d = (median[(name, place)] for name, _ in contenders)
        print("| %s | %.3f | %.3f | %.3f | %.2f | %.2f |" % (place, c, s, d, s / c, d / s))
    print("\nTargets: stampel/cat at most 1.5, drawtext/stampel at least 2. Into a file, cat "
          "copies inside the kernel (copy_file_range); stampel reads each frame into memory "
          "and writes it back, as any program that changes the frames must.")
    if os.path.exists(out):
        os.remove(out)


if __name__ == "__main__":
    main()
