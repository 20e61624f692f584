"""Tests of the stampel program, run as a user runs it: files and pipes in,
bytes out, compared with stampel_model's expectation.

    stampel_test.py GROUP --stampel PATH [--wine]

GROUP is one of formats, streams, errors, cli, ffmpeg, mapped; with --wine, the
Windows build runs under Wine, GROUP wine-FORMAT testing one format and
wine-prefix making the Wine prefix."""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

import stampel_model as model

RUN = []  # the command that starts stampel
TMP = ""
FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print("FAIL:", what)


# What Wine and a 32-bit emulator may add to standard error, not stampel's.
EMULATION_NOISE = re.compile(r"^(ERROR: ld\.so: |qemu: |wine client error)")


# Signs that Wine itself, not stampel, failed: a process of Wine's crashed
# under the emulator, or it started nothing.
WINE_FAILED = re.compile(r"qemu: uncaught target signal|wine client error|could not load")


def run(args, stdin=b"", timeout=300):
    wine = RUN[0] == "wine"
    # Under Wine, where 32-bit programs run emulated, Wine now and then hangs
    # or loses a process of its own: such a run is tried again.
    attempts = 3 if wine else 1
    for attempt in range(1, attempts + 1):
        try:
            p = subprocess.run(RUN + args, input=stdin, capture_output=True,
                               timeout=120 if wine else timeout)
        except subprocess.TimeoutExpired:
            if attempt == attempts:
                raise
            print("wine hung; once more", file=sys.stderr)
            continue
        err = p.stderr.decode(errors="replace")
        if wine and attempt < attempts and (WINE_FAILED.search(err) or
                                            (p.returncode and not p.stdout and not err)):
            print("wine failed (%s); once more" % err.strip()[:200], file=sys.stderr)
            continue
        break
    if wine:
        err = "".join(l for l in err.splitlines(True) if not EMULATION_NOISE.match(l))
    return p.returncode, p.stdout, err


def path(name):
    return os.path.join(TMP, name)


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)
    return path(name)


def read(name):
    with open(path(name), "rb") as f:
        return f.read()


def noise(size, seed):
    return random.Random(seed).randbytes(size)


def clip(fmt, w, h, frames, seed=1):
    return [noise(model.frame_bytes(fmt, w, h), seed * 1000 + n) for n in range(frames)]


def y4m(frames, header, frame_line=b"FRAME"):
    return header + b"\n" + b"".join(frame_line + b"\n" + f for f in frames)


def y4m_header(w, h, chroma="C420jpeg"):
    tags = ["W%d" % w, "H%d" % h, "F30000:1001", "It", "A1:1"]
    if chroma:
        tags.append(chroma)
    tags.append("XYSCSS=420JPEG")
    return ("YUV4MPEG2 " + " ".join(tags)).encode()


def options(offset, left):
    return (["--offset", str(offset)] if offset is not None else []) + (["--left"] if left else [])


def expect_ok(what, args, want, stdin=b"", out_name=None):
    rc, out, err = run(args, stdin)
    if out_name:
        out = read(out_name) if os.path.exists(path(out_name)) else b"<no output file>"
    check(rc == 0 and err == "", "%s: exit %d, stderr %r" % (what, rc, err))
    check(out == want, "%s: output differs from the expected bytes (%d against %d bytes)"
          % (what, len(out), len(want)))


# Raw formats: sizes chosen so that some rows pad in storage and some do not.
RAW_CASES = [
    ("rgb24", 33, 15),
    ("rgb32", 40, 16),
    ("yuy2", 46, 14),
    ("yv12", 50, 18),
    ("i420", 64, 16),
]
# YUV4MPEG2 chroma tags and the model format each is stamped by.
Y4M_CASES = [
    ("C420jpeg", "y4m420"),
    ("C420", "y4m420"),
    ("C420mpeg2", "y4m420"),
    ("C420paldv", "y4m420"),
    (None, "y4m420"),
    ("C422", "y4m422"),
]
# (offset, left): default, an offset that adds a digit, left, and a negative
# offset whose first frames show the sign.
PLACEMENTS = [(None, False), (95, False), (None, True), (-5, True)]


def test_formats():
    for i, (fmt, w, h) in enumerate(RAW_CASES):
        frames = clip(fmt, w, h, 12, seed=i)
        src = write("in.raw", b"".join(frames))
        for offset, left in PLACEMENTS:
            want = b"".join(model.stamp_all(frames, fmt, w, h, offset or 0, left))
            expect_ok("raw %s %dx%d offset %s left %s" % (fmt, w, h, offset, left),
                      ["--format", fmt, "--size", "%dx%d" % (w, h)] + options(offset, left)
                      + [src, path("out.raw")], want, out_name="out.raw")
    for i, (chroma, fmt) in enumerate(Y4M_CASES):
        w, h = 48, 20
        frames = clip(fmt, w, h, 11, seed=10 + i)
        header = y4m_header(w, h, chroma)
        src = write("in.y4m", y4m(frames, header))
        offset, left = PLACEMENTS[i % len(PLACEMENTS)]
        want = y4m(model.stamp_all(frames, fmt, w, h, offset or 0, left), header)
        expect_ok("YUV4MPEG2 %s offset %s left %s" % (chroma, offset, left),
                  options(offset, left) + [src, path("out.y4m")], want, out_name="out.y4m")


def test_streams():
    w, h = 40, 14
    frames = clip("i420", w, h, 10, seed=3)
    header = y4m_header(w, h)
    data = y4m(frames, header)
    want = y4m(model.stamp_all(frames, "y4m420", w, h), header)
    src = write("in.y4m", data)
    expect_ok("YUV4MPEG2 pipe to pipe", ["--frames", "10"], want, stdin=data)
    expect_ok("YUV4MPEG2 file to standard output", [src], want)
    with open(src, "rb") as f:
        p = subprocess.run(RUN + ["-", "-"], stdin=f, capture_output=True, timeout=120)
    check(p.returncode == 0 and p.stdout == want, "redirected file: frame count from its size")
    expect_ok("YUV4MPEG2 pipe to file", ["--frames", "10", "-", path("out.y4m")], want,
              stdin=data, out_name="out.y4m")

    # The count from a file's size decides the digits: 99 frames get 2, 100
    # get 3 (100 frames show 000 to 099).
    small = clip("i420", 32, 14, 100, seed=4)
    header = y4m_header(32, 14)
    for n in (99, 100):
        src = write("count.y4m", y4m(small[:n], header))
        expect_ok("count of %d frames from the file's size" % n, [src],
                  y4m(model.stamp_all(small[:n], "y4m420", 32, 14), header))
    raw = clip("rgb24", 32, 14, 100, seed=5)
    src = write("count.raw", b"".join(raw))
    expect_ok("count of 100 raw frames from the file's size",
              ["--format", "rgb24", "--size", "32x14", src],
              b"".join(model.stamp_all(raw, "rgb24", 32, 14)))

    # FRAME lines with parameters pass through and do not upset the count.
    frames = clip("i420", w, h, 10, seed=6)
    header = y4m_header(w, h).replace(b" It", b" Im")
    src = write("params.y4m", y4m(frames, header, b"FRAME Itsp Xnote"))
    expect_ok("FRAME parameters kept", [src],
              y4m(model.stamp_all(frames, "y4m420", w, h), header, b"FRAME Itsp Xnote"))

    # The largest offset that keeps every number and the digit count whole.
    wide = clip("i420", 112, 14, 5, seed=12)
    header = y4m_header(112, 14)
    expect_ok("largest offset", ["--offset", "2147483642", "--frames", "5"],
              y4m(model.stamp_all(wide, "y4m420", 112, 14, 2147483642), header),
              stdin=y4m(wide, header))

    raw = clip("yuy2", 40, 14, 3, seed=7)
    expect_ok("raw pipe to pipe", ["--format", "yuy2", "--size", "40x14", "--frames", "3"],
              b"".join(model.stamp_all(raw, "yuy2", 40, 14)), stdin=b"".join(raw))
    expect_ok("empty raw file: no frames", ["--format", "i420", "--size", "40x14",
                                             write("empty.raw", b"")], b"")


def test_errors():
    w, h = 40, 14
    frames = clip("i420", w, h, 5, seed=8)
    stamped = model.stamp_all(frames, "y4m420", w, h)
    header = y4m_header(w, h)
    good = y4m(frames, header)
    whole = lambda k: header + b"\n" + b"".join(b"FRAME\n" + f for f in stamped[:k])
    raw = clip("rgb24", 32, 14, 3, seed=9)
    raw_stamped = model.stamp_all(raw, "rgb24", 32, 14)
    missing = path("no-such-file.y4m")
    write("same.y4m", good)
    # (what, arguments, standard input, exit status, message, standard output)
    cases = [
        ("unknown option", ["--fast"], b"", 2, "unknown option '--fast' (see --help)", b""),
        ("offset not a number", ["--offset", "ten"], b"", 2,
         "--offset needs a whole number from -2147483648 to 2147483647, not 'ten'", b""),
        ("offset too large", ["--offset", "2147483648"], b"", 2,
         "--offset needs a whole number from -2147483648 to 2147483647, not '2147483648'", b""),
        ("offset without value", ["--offset"], b"", 2, "--offset needs a value", b""),
        ("offset past the largest frame number", ["--offset", "2147483643", "--frames", "5"],
         good, 2, "--offset 2147483643 with 5 frames takes the frame numbers past 2147483647", b""),
        ("negative frame count", ["--frames", "-1"], b"", 2,
         "--frames needs a frame count from 1 to 2147483647, not '-1'", b""),
        ("zero frame count", ["--frames", "0"], b"", 2,
         "--frames needs a frame count from 1 to 2147483647, not '0'", b""),
        ("frame count not a number", ["--frames", "many"], b"", 2,
         "--frames needs a frame count from 1 to 2147483647, not 'many'", b""),
        ("unknown header token", ["--frames", "1"], b"YUV4MPEG2 W40 H14 Q7\n", 1,
         "standard input: unknown YUV4MPEG2 header token 'Q7'", b""),
        ("garbled frame rate", ["--frames", "1"], b"YUV4MPEG2 W40 H14 F25:0\n", 1,
         "standard input: bad YUV4MPEG2 frame rate 'F25:0'", b""),
        ("garbled aspect ratio", ["--frames", "1"], b"YUV4MPEG2 W40 H14 A1\n", 1,
         "standard input: bad YUV4MPEG2 aspect ratio 'A1'", b""),
        ("garbled interlacing", ["--frames", "1"], b"YUV4MPEG2 W40 H14 Ix\n", 1,
         "standard input: bad YUV4MPEG2 interlacing 'Ix'", b""),
        ("plugin not a library", ["--plugin", write("text.so", b"not a library\n"),
                                  "--frames", "5"], good, 1,
         "cannot load plugin " + path("text.so"), b""),
        ("plugin without the entry point", ["--plugin", "libm.so.6", "--frames", "5"], good, 1,
         "plugin libm.so.6 has no AvisynthPluginInit2", b""),
        ("unknown format", ["--format", "nv12", "--size", "32x14"], b"", 2,
         "unknown --format 'nv12' (rgb24, rgb32, yuy2, yv12 or i420)", b""),
        ("format without size", ["--format", "rgb24"], b"", 2, "--format needs --size WxH", b""),
        ("size without format", ["--size", "32x14"], b"", 2, "--size needs --format", b""),
        ("size not a size", ["--format", "rgb24", "--size", "32by14"], b"", 2,
         "--size needs WIDTHxHEIGHT in pixels, such as 640x480, not '32by14'", b""),
        ("negative height", ["--format", "rgb24", "--size", "32x-14"], b"", 2,
         "--size needs WIDTHxHEIGHT in pixels, such as 640x480, not '32x-14'", b""),
        ("zero width", ["--format", "rgb24", "--size", "0x14"], b"", 2,
         "--size: width and height must be positive, not 0x14", b""),
        ("frame too large for 32-bit sizes", ["--format", "rgb32", "--size", "30000x20000"],
         b"", 2, "--size: frame size 30000x20000 is too large", b""),
        ("width past any frame", ["--format", "i420", "--size", "99999999999x2"], b"", 2,
         "--size: frame size 99999999999x2 is too large", b""),
        ("odd width for YV12", ["--format", "yv12", "--size", "33x14"], b"", 2,
         "--size: YV12 needs an even width, not 33", b""),
        ("odd height for I420", ["--format", "i420", "--size", "32x15", "--frames", "1"], b"", 2,
         "--size: 4:2:0 (stamped as I420) needs an even height, not 15", b""),
        ("odd width for YUY2", ["--format", "yuy2", "--size", "33x14"], b"", 2,
         "--size: YUY2 needs an even width, not 33", b""),
        ("three operands", ["a", "b", "c"], b"", 2, "too many operands: 'c' (see --help)", b""),
        ("pipe without --frames", [], good, 2,
         "standard input is no file, so its frame count is unknown: pass --frames N", b""),
        ("raw pipe without --frames", ["--format", "rgb24", "--size", "32x14"], b"x", 2,
         "standard input is no file, so its frame count is unknown: pass --frames N", b""),
        ("raw video without --format", ["--frames", "1"], b"\x10" * 64, 2,
         "standard input is not YUV4MPEG2; for raw video give --format and --size (see --help)",
         b""),
        ("empty input", ["--frames", "1"], b"", 1, "standard input is empty", b""),
        ("header cut short", ["--frames", "1"], b"YUV4MPEG2 W40 H14", 1,
         "standard input: the YUV4MPEG2 header is cut short", b""),
        ("unsupported chroma", ["--frames", "1"], y4m_header(w, h, "C444") + b"\n", 1,
         "standard input: YUV4MPEG2 chroma 'C444' is not supported "
         "(C420, C420jpeg, C420mpeg2, C420paldv or C422)", b""),
        ("no width", ["--frames", "1"], b"YUV4MPEG2 H14 C420\n", 1,
         "standard input: the YUV4MPEG2 header has no width (W)", b""),
        ("bad width", ["--frames", "1"], b"YUV4MPEG2 W4x0 H14\n", 1,
         "standard input: bad YUV4MPEG2 width 'W4x0'", b""),
        ("zero height", ["--frames", "1"], b"YUV4MPEG2 W40 H0\n", 1,
         "standard input: width and height must be positive, not 40x0", b""),
        ("odd width for 4:2:0", ["--frames", "1"], b"YUV4MPEG2 W41 H14\n", 1,
         "standard input: 4:2:0 (stamped as I420) needs an even width, not 41", b""),
        ("huge YUV4MPEG2 frame", ["--frames", "1"], b"YUV4MPEG2 W100000 H100000 C422\n", 1,
         "standard input: frame size 100000x100000 is too large", b""),
        ("final frame cut short", ["--frames", "5"], good[:-10], 1,
         "standard input: frame 4 is cut short (830 of 840 bytes)", whole(4)),
        ("FRAME line cut short", ["--frames", "5"], whole(2).replace(stamped[0], frames[0])
         .replace(stamped[1], frames[1]) + b"FRA", 1, "standard input: frame 2 is cut short",
         whole(2)),
        ("bad FRAME line", ["--frames", "5"], good.replace(b"FRAME", b"FRAMX", 2)
         .replace(b"FRAMX", b"FRAME", 1), 1, "standard input: frame 1 has no FRAME header",
         whole(1)),
        ("fewer frames than --frames", ["--frames", "7"], good, 1,
         "standard input ends after 5 of 7 frames",
         y4m(model.stamp_all(frames, "y4m420", w, h, count=7), header)),
        ("more frames than --frames", ["--frames", "3"], good, 1,
         "standard input holds more than 3 frames; pass --frames with its frame count",
         y4m(model.stamp_all(frames[:3], "y4m420", w, h), header)),
        ("raw frame cut short", ["--format", "rgb24", "--size", "32x14", "--frames", "3"],
         b"".join(raw)[:-1], 1, "standard input: frame 2 is cut short (1343 of 1344 bytes)",
         b"".join(raw_stamped[:2])),
        ("raw file of no whole frame count", ["--format", "rgb24", "--size", "32x14",
                                              write("odd.raw", b"".join(raw)[:-1])], b"", 1,
         "%s: its 4031 bytes are no whole number of 1344-byte frames; check --format and --size"
         % path("odd.raw"), b""),
        ("too narrow for the plugin", ["--format", "rgb24", "--size", "31x14", "--frames", "100"],
         b"", 1, "Stampel: video too small", b""),
        ("too low for the plugin", ["--format", "rgb24", "--size", "40x13", "--frames", "1"],
         b"", 1, "Stampel: video too small", b""),
        ("missing input", [missing], b"", 1,
         "cannot open %s: No such file or directory" % missing, b""),
        ("missing plugin", ["--plugin", path("none.so"), "--frames", "5"], good, 1,
         "cannot load plugin " + path("none.so"), b""),
        ("output cannot be written", [path("same.y4m"), "/dev/full"], b"", 1,
         "cannot write /dev/full: No space left on device", b""),
        ("output is the input", [path("same.y4m"), path("same.y4m")], b"", 1,
         "%s is the input; give another output" % path("same.y4m"), b""),
    ]
    for what, args, stdin, status, message, want in cases:
        rc, out, err = run(args, stdin)
        check(rc == status, "%s: exit %d, want %d (stderr %r)" % (what, rc, status, err))
        line = err.rstrip("\n")
        check(line.startswith("stampel: " + message) and "\n" not in line,
              "%s: stderr %r, want 'stampel: %s'" % (what, err, message))
        check(out == want, "%s: standard output is %d bytes, want %d" % (what, len(out), len(want)))
    check(read("same.y4m") == good, "output is the input: the input was changed")

    # A refused clip creates no output file.
    rc, _, _ = run(["--format", "rgb24", "--size", "11x14", write("tiny.raw", b"\0" * 462),
                    path("refused.raw")])
    check(rc == 1 and not os.path.exists(path("refused.raw")),
          "refused clip: exit %d, output file %s" % (rc, os.path.exists(path("refused.raw"))))


def test_cli():
    rc, out, err = run(["--help"])
    check(rc == 0 and out.startswith(b"usage: stampel [--offset N]") and err == "",
          "--help: exit %d, %r" % (rc, out[:40]))
    rc, out, err = run(["--version"])
    check(rc == 0 and re.fullmatch(rb"stampel \d+\.\d+\.\d+\n", out) and err == "",
          "--version: exit %d, %r" % (rc, out))

    # Video is neither read from nor written to a terminal.
    import pty
    leader, follower = pty.openpty()
    for what, streams, message in (
            ("input", dict(stdin=follower, stdout=subprocess.PIPE),
             "standard input is a terminal: give INPUT or pipe video in (see --help)"),
            ("output", dict(stdin=subprocess.PIPE, stdout=follower),
             "standard output is a terminal: give OUTPUT or pipe the video on")):
        p = subprocess.Popen(RUN + ["--format", "rgb24", "--size", "32x14", "--frames", "1"],
                             stderr=subprocess.PIPE, **streams)
        if p.stdin:
            p.stdin.write(b"\0" * 1344)
            p.stdin.close()
        err = p.stderr.read().decode()
        check(p.wait(timeout=120) == 2 and err == "stampel: %s\n" % message,
              "terminal %s: exit %s, %r" % (what, p.returncode, err))
    os.close(leader)
    os.close(follower)

    # The progress line shows on a terminal only, and not with --quiet.
    w, h = 40, 14
    frames = clip("i420", w, h, 30, seed=11)
    src = write("in.y4m", y4m(frames, y4m_header(w, h)))
    for quiet in (False, True):
        leader, follower = pty.openpty()
        p = subprocess.run(RUN + (["--quiet"] if quiet else []) + [src, path("out.y4m")],
                           stderr=follower, timeout=120)
        os.close(follower)
        shown = b""
        try:
            while True:
                chunk = os.read(leader, 4096)
                if not chunk:
                    break
                shown += chunk
        except OSError:
            pass
        os.close(leader)
        if quiet:
            check(p.returncode == 0 and shown == b"", "--quiet on a terminal: %r" % shown)
        else:
            check(p.returncode == 0 and re.search(rb"stampel: 30/30 frames, [0-9.]+ fps", shown)
                  and shown.endswith(b"\n"), "progress on a terminal: %r" % shown)


def run_into(args, place, stdin=b""):
    """Runs stampel with its output into place: "file" (an OUTPUT operand),
    "pipe", "append" (standard output, a file opened for appending after a
    line already in it) or "null" (/dev/null). Returns the exit status, the
    bytes that reached the place and standard error."""
    out = path("placed.out")
    if os.path.exists(out):
        os.remove(out)
    if place == "file":
        rc, _, err = run(args + [out], stdin)
        return rc, read("placed.out") if os.path.exists(out) else b"", err
    if place == "pipe":
        return run(args, stdin)
    with open(out if place == "append" else os.devnull, "ab") as sink:
        if place == "append":
            sink.write(b"kept\n")
            sink.flush()
        p = subprocess.run(RUN + args, input=stdin, stdout=sink, stderr=subprocess.PIPE,
                           timeout=300)
    got = read("placed.out")[len(b"kept\n"):] if place == "append" else None
    return p.returncode, got, p.stderr.decode(errors="replace")


def test_mapped():
    """File input, which the tool maps and, into a file or a pipe, copies
    inside the kernel but for the rows the digits go into: every layout and
    every kind of output give the bytes of the streaming path (pipe in), the
    input is left as it was, and bad input stops at the same frame."""
    w, h = 52, 18
    cases = []  # (what, arguments before INPUT, frames, input bytes, expected output)
    for i, (fmt, _, _) in enumerate(RAW_CASES):
        frames = clip(fmt, w, h, 12, seed=40 + i)
        cases.append(("raw " + fmt, ["--format", fmt, "--size", "%dx%d" % (w, h)]
                      + options(3, i % 2), 12, b"".join(frames),
                      b"".join(model.stamp_all(frames, fmt, w, h, 3, i % 2))))
    for fmt, chroma in (("y4m420", "C420jpeg"), ("y4m422", "C422")):
        frames = clip(fmt, w, h, 12, seed=50)
        header = y4m_header(w, h, chroma)
        cases.append(("YUV4MPEG2 " + chroma, [], 12, y4m(frames, header, b"FRAME Ixyz"),
                      y4m(model.stamp_all(frames, fmt, w, h), header, b"FRAME Ixyz")))
    # 1080p 4:2:0 frames past one window of the mapping, one of them across
    # its end.
    big = clip("y4m420", 1920, 1080, 23, seed=51)
    header = y4m_header(1920, 1080)
    cases.append(("YUV4MPEG2 1080p over two windows", [], 23, y4m(big, header),
                  y4m(model.stamp_all(big, "y4m420", 1920, 1080), header)))
    for what, args, count, data, want in cases:
        src = write("mapped.in", data)
        rc, out, err = run(args + ["--frames", str(count)], data)
        check(rc == 0 and out == want, "%s: pipe in: exit %d %r" % (what, rc, err))
        for place in ("file", "pipe", "append", "null"):
            rc, out, err = run_into(args + [src], place)
            check(rc == 0 and err == "" and (out is None or out == want),
                  "%s into %s: exit %d %r, %s bytes of %d" %
                  (what, place, rc, err, None if out is None else len(out), len(want)))
        check(read("mapped.in") == data, "%s: the input was changed" % what)

    # Standard input redirected from a file read part-way: the frames from
    # where it stands.
    frames = clip("i420", w, h, 4, seed=52)
    src = write("mapped.in", b"".join(frames))
    size = model.frame_bytes("i420", w, h)
    with open(src, "rb") as f:
        f.seek(size)
        p = subprocess.run(RUN + ["--format", "i420", "--size", "%dx%d" % (w, h), "--frames", "3",
                                  "-", path("placed.out")], stdin=f, capture_output=True,
                           timeout=120)
    check(p.returncode == 0 and read("placed.out") ==
          b"".join(model.stamp_all(frames[1:], "i420", w, h)),
          "input file read part-way: exit %d %r" % (p.returncode, p.stderr))

    # Bad input in a mapped file: the frames before it whole, nothing of it.
    frames = clip("y4m420", w, h, 5, seed=53)
    stamped = model.stamp_all(frames, "y4m420", w, h)
    header = y4m_header(w, h)
    good = y4m(frames, header)
    whole = lambda k: header + b"\n" + b"".join(b"FRAME\n" + f for f in stamped[:k])
    size = model.frame_bytes("y4m420", w, h)
    raw = clip("yuy2", w, h, 4, seed=54)
    raw_args = ["--format", "yuy2", "--size", "%dx%d" % (w, h)]
    bad = [  # (what, arguments before INPUT, input, message after the input's name, output)
        ("final frame cut short", ["--frames", "5"], good[:-10],
         ": frame 4 is cut short (%d of %d bytes)" % (size - 10, size), whole(4)),
        ("FRAME line cut short", ["--frames", "5"], good[:len(whole(3)) + 3],
         ": frame 3 is cut short", whole(3)),
        ("bad FRAME line", [], good.replace(b"FRAME", b"FRAMX", 3).replace(b"FRAMX", b"FRAME", 2),
         ": frame 2 has no FRAME header", whole(2)),
        ("fewer frames than --frames", ["--frames", "7"], good, " ends after 5 of 7 frames",
         y4m(model.stamp_all(frames, "y4m420", w, h, count=7), header)),
        ("more frames than --frames", ["--frames", "3"], good,
         " holds more than 3 frames; pass --frames with its frame count",
         y4m(model.stamp_all(frames[:3], "y4m420", w, h), header)),
        ("raw frame cut short", raw_args + ["--frames", "4"], b"".join(raw)[:-1],
         ": frame 3 is cut short (%d of %d bytes)" % (2 * w * h - 1, 2 * w * h),
         b"".join(model.stamp_all(raw[:3], "yuy2", w, h, count=4))),
    ]
    for what, args, data, message, want in bad:
        src = write("bad.in", data)
        for place in ("file", "pipe", "append"):
            rc, out, err = run_into(args + [src], place)
            check(rc == 1 and err == "stampel: %s%s\n" % (src, message) and out == want,
                  "mapped %s into %s: exit %d %r, %d bytes of %d" %
                  (what, place, rc, err, len(out), len(want)))

    # A mapped file that shrinks while stampel is stuck writing into a full
    # pipe: a message and a failure, not a crash.
    big = clip("y4m420", 1920, 1080, 1, seed=55) * 8
    src = write("shrinks.y4m", y4m(big, y4m_header(1920, 1080)))
    p = subprocess.Popen(RUN + [src], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    p.stdout.read(4096)
    time.sleep(1)
    os.truncate(src, 100000)
    p.stdout.read()
    err = p.stderr.read().decode()
    check(p.wait(timeout=120) == 1 and err == "stampel: %s shrank while it was read\n" % src,
          "input shrinking under the mapping: exit %d %r" % (p.returncode, err))


def ffmpeg(args, stdin=None):
    p = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y"] + args, input=stdin,
                       capture_output=True, timeout=120)
    if p.returncode != 0:
        raise RuntimeError("ffmpeg %s: %s" % (" ".join(args), p.stderr.decode()))
    return p.stdout


def test_ffmpeg():
    w, h, n = 96, 64, 15
    source = ["-f", "lavfi", "-i", "testsrc=size=%dx%d:rate=25" % (w, h), "-frames:v", str(n)]
    for pix, fmt in (("yuv420p", "y4m420"), ("yuv422p", "y4m422")):
        clip_path = path("ff.y4m")
        ffmpeg(source + ["-pix_fmt", pix, "-strict", "-1", clip_path])
        decoded = ffmpeg(["-i", clip_path, "-f", "rawvideo", "-"])
        size = model.frame_bytes(fmt, w, h)
        frames = [decoded[i:i + size] for i in range(0, len(decoded), size)]
        want = b"".join(model.stamp_all(frames, fmt, w, h, 7, False))
        rc, _, err = run(["--offset", "7", clip_path, path("stamped.y4m")])
        check(rc == 0 and err == "", "ffmpeg %s file: exit %d %r" % (pix, rc, err))
        got = ffmpeg(["-i", path("stamped.y4m"), "-f", "rawvideo", "-"])
        check(got == want, "ffmpeg %s file: frames ffmpeg decodes differ" % pix)

        # ffmpeg | stampel | ffmpeg
        piped = ffmpeg(source + ["-pix_fmt", pix, "-strict", "-1", "-f", "yuv4mpegpipe", "-"])
        rc, out, err = run(["--offset", "7", "--frames", str(n)], piped)
        got = ffmpeg(["-f", "yuv4mpegpipe", "-i", "-", "-f", "rawvideo", "-"], out)
        check(rc == 0 and got == want, "ffmpeg %s pipeline: exit %d %r" % (pix, rc, err))

    for pix, fmt in (("bgr24", "rgb24"), ("bgra", "rgb32"), ("yuyv422", "yuy2"),
                     ("yuv420p", "i420")):
        raw = ffmpeg(source + ["-pix_fmt", pix, "-f", "rawvideo", "-"])
        size = model.frame_bytes(fmt, w, h)
        frames = [raw[i:i + size] for i in range(0, len(raw), size)]
        rc, out, err = run(["--format", fmt, "--size", "%dx%d" % (w, h), "--frames", str(n),
                            "--left"], raw)
        got = ffmpeg(["-f", "rawvideo", "-pix_fmt", pix, "-s", "%dx%d" % (w, h), "-i", "-",
                      "-f", "rawvideo", "-"], out)
        want = b"".join(model.stamp_all(frames, fmt, w, h, 0, True))
        check(rc == 0 and got == want, "ffmpeg raw %s: exit %d %r" % (pix, rc, err))


def test_wine(fmt):
    """One format through stampel.exe and Stampel.dll, by file and by pipe."""
    w, h = 48, 16
    frames = clip(fmt, w, h, 4)
    if fmt.startswith("y4m"):
        header = y4m_header(w, h, "C422" if fmt == "y4m422" else "C420jpeg")
        data = y4m(frames, header)
        want = y4m(model.stamp_all(frames, fmt, w, h, 10, True, count=4), header)
        args = ["--offset", "10", "--left"]
    else:
        data = b"".join(frames)
        want = b"".join(model.stamp_all(frames, fmt, w, h))
        args = ["--format", fmt, "--size", "%dx%d" % (w, h)]
    expect_ok("wine %s file" % fmt, args + [write("in.bin", data), path("out.bin")], want,
              out_name="out.bin")
    expect_ok("wine %s pipe" % fmt, args + ["--frames", "4"], want, stdin=data)
    if fmt == "rgb24":
        rc, out, err = run(["--format", "rgb24", "--size", "31x14", "--frames", "100"])
        check(rc == 1 and err.rstrip() == "stampel: Stampel: video too small" and out == b"",
              "wine refusal: exit %d %r" % (rc, err))


def wine_server(start):
    """Starts a persistent wineserver, and the prefix's background programs
    with it, with their output away from ours (they would hold our pipes open
    for as long as they run); or ends them."""
    server = os.path.join(os.path.dirname(shutil.which("wine")), "wineserver")
    if not os.path.exists(server):
        server = "wineserver"
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if start:
        subprocess.run([server, "-p"], timeout=600, **quiet)
        subprocess.run(RUN + ["--version"], timeout=900, **quiet)
    else:
        subprocess.run([server, "-k"], timeout=600, **quiet)


def main():
    global TMP
    parser = argparse.ArgumentParser()
    parser.add_argument("group")
    parser.add_argument("--stampel", required=True)
    parser.add_argument("--wine", action="store_true")
    args = parser.parse_args()
    RUN[:] = (["wine"] if args.wine else []) + [args.stampel]
    TMP = tempfile.mkdtemp(prefix="stampel-test-")
    if args.wine:
        os.environ.setdefault("WINEDEBUG", "-all")
        os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        wine_server(True)
    try:
        if args.group == "wine-prefix":
            pass  # made by starting the server
        elif args.group.startswith("wine-"):
            test_wine(args.group[len("wine-"):])
        else:
            {"formats": test_formats, "streams": test_streams, "errors": test_errors,
             "cli": test_cli, "ffmpeg": test_ffmpeg, "mapped": test_mapped}[args.group]()
    finally:
        shutil.rmtree(TMP, ignore_errors=True)
        if args.wine:
            wine_server(False)
    print("%s: %s" % (args.group, "%d failures" % len(FAILURES) if FAILURES else "ok"))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
