"""Tests of stampel --check through the real binary: stamped video read
back after lossless and lossy round trips, and frames that ffmpeg dropped,
repeated or reordered on the way reported exactly.

    check_test.py GROUP --stampel PATH

GROUP is one of clean, lossy, events, errors."""

import argparse
import json
import os
import subprocess
import sys
import tempfile

STAMPEL = ""
TMP = ""
FAILURES = []


def check(ok, what):
    if not ok:
        FAILURES.append(what)
        print("FAIL:", what)


def stampel(args, stdin=b""):
    p = subprocess.run([STAMPEL] + args, input=stdin, capture_output=True, timeout=300)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def ffmpeg(args, stdin=None):
    p = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y"] + args, input=stdin,
                       capture_output=True, timeout=300)
    if p.returncode:
        sys.exit("ffmpeg failed: " + p.stderr.decode())
    return p.stdout


def path(name):
    return os.path.join(TMP, name)


def y4m_frames(data):
    """The frames of a YUV4MPEG2 stream, as bytes, without their FRAME lines."""
    header_end = data.index(b"\n")
    tags = data[:header_end].split()
    w = int(next(t for t in tags if t.startswith(b"W"))[1:])
    h = int(next(t for t in tags if t.startswith(b"H"))[1:])
    chroma = next((t for t in tags if t.startswith(b"C")), b"C420")
    size = w * h * 2 if chroma.startswith(b"C422") else w * h + 2 * (w // 2) * (h // 2)
    frames, pos = [], header_end + 1
    while pos < len(data):
        pos = data.index(b"\n", pos) + 1
        frames.append(data[pos:pos + size])
        pos += size
    return frames


def sample(name, frames, size="320x240", pix_fmt="yuv420p"):
    ffmpeg(["-f", "lavfi", "-i", "testsrc2=size=%s:rate=25" % size, "-frames:v", str(frames),
            "-pix_fmt", pix_fmt, "-f", "yuv4mpegpipe", path(name)])
    return path(name)


def summary(frames, seen, dropped=0, repeated=0, out_of_order=0, unreadable=0):
    return ("summary: %d frames read, %d numbers seen, %d dropped, %d repeated, "
            "%d out of order, %d unreadable" % (frames, seen, dropped, repeated, out_of_order,
                                                unreadable))


def test_clean():
    """Every format and placement reads back exactly, digit count found or given."""
    raw = path("raw")
    cases = [("y4m420", None, []), ("y4m422", None, ["--left"]),
             ("rgb24", "bgr24", ["--offset", "-5"]), ("rgb32", "bgra", ["--left"]),
             ("yuy2", "yuyv422", ["--offset", "990"]), ("i420", "yuv420p", []),
             ("yv12", "yuv420p", ["--left", "--offset", "7"])]
    for name, pix_fmt, opts in cases:
        if pix_fmt is None:
            src = sample(name + ".y4m", 30, "96x32", "yuv422p" if name == "y4m422" else "yuv420p")
            fmt = []
        else:
            src = path(name + ".raw")
            ffmpeg(["-f", "lavfi", "-i", "testsrc2=size=96x32:rate=25", "-frames:v", "30",
                    "-pix_fmt", pix_fmt, "-f", "rawvideo", src])
            fmt = ["--format", name, "--size", "96x32"]
        code, _, err = stampel(["--quiet"] + fmt + opts + [src, raw])
        check(code == 0, "%s: stamping: %s" % (name, err))
        for frames_opt in ([], ["--frames", "30"]):
            code, out, err = stampel(["--check"] + fmt + opts + frames_opt + [raw])
            check(code == 0 and out == summary(30, 30) + "\n",
                  "%s %s: %d %r %r" % (name, frames_opt, code, out, err))
        code, out, _ = stampel(["--check", "--json"] + fmt + opts + [raw])
        report = json.loads(out)
        check(code == 0 and report["events"] == [] and report["summary"]["numbers_seen"] == 30,
              "%s: json %r" % (name, out))


def test_lossy():
    """Numbers survive libx264 at an ordinary quality with 4:2:0 chroma."""
    src = sample("in.y4m", 100)
    stamped = path("stamped.y4m")
    code, _, err = stampel(["--quiet", src, stamped])
    check(code == 0, "stamping: " + err)
    ffmpeg(["-i", stamped, "-c:v", "libx264", "-crf", "23", "-pix_fmt", "yuv420p",
            path("enc.mp4")])
    decoded = ffmpeg(["-i", path("enc.mp4"), "-f", "yuv4mpegpipe", "-"])
    code, out, err = stampel(["--check", "--frames", "100"], decoded)
    check(code == 0 and out == summary(100, 100) + "\n", "x264 y4m: %d %r %r" % (code, out, err))

    # RGB through the same encoder and back.
    rgb = ffmpeg(["-i", src, "-pix_fmt", "bgr24", "-f", "rawvideo", "-"])
    p = subprocess.run([STAMPEL, "--quiet", "--format", "rgb24", "--size", "320x240",
                        "--frames", "100", "--left"], input=rgb, capture_output=True)
    check(p.returncode == 0, "rgb stamping: " + p.stderr.decode())
    ffmpeg(["-f", "rawvideo", "-pix_fmt", "bgr24", "-s", "320x240", "-r", "25", "-i", "-",
            "-c:v", "libx264", "-crf", "23", "-pix_fmt", "yuv420p", path("rgb.mp4")],
           p.stdout)
    decoded = ffmpeg(["-i", path("rgb.mp4"), "-pix_fmt", "bgr24", "-f", "rawvideo", "-"])
    code, out, err = stampel(["--check", "--format", "rgb24", "--size", "320x240", "--left"],
                             decoded)
    check(code == 0 and out == summary(100, 100) + "\n", "x264 rgb: %d %r %r" % (code, out, err))


def test_events():
    """Frames dropped, repeated and reordered by ffmpeg, found after x264."""
    src = sample("in.y4m", 120)
    stamped = path("stamped.y4m")
    code, _, err = stampel(["--quiet", src, stamped])
    check(code == 0, "stamping: " + err)
    with open(stamped, "rb") as f:
        originals = y4m_frames(f.read())
    chains = {
        "drop": "select='not(between(n\\,20\\,24)+eq(n\\,70))',setpts=N/FRAME_RATE/TB",
        "repeat": "fps=30",
        "reorder": "shuffleframes=0 2 1 3",
        "drop_and_repeat": "select='not(between(n\\,40\\,49))',setpts=N/FRAME_RATE/TB,fps=30",
    }
    for name, chain in chains.items():
        # What ffmpeg did, found losslessly by matching whole frames.
        lossless = ffmpeg(["-i", stamped, "-vf", chain, "-f", "yuv4mpegpipe", "-"])
        truth = [originals.index(f) for f in y4m_frames(lossless)]
        ffmpeg(["-i", stamped, "-vf", chain, "-c:v", "libx264", "-crf", "23", "-pix_fmt",
                "yuv420p", path(name + ".mp4")])
        decoded = ffmpeg(["-i", path(name + ".mp4"), "-f", "yuv4mpegpipe", "-"])
        code, out, err = stampel(["--check", "--json", "--frames", "120"], decoded)
        check(code == 3, "%s: exit %d %r" % (name, code, err))
        report = json.loads(out)
        expected_frames = [i for i in range(len(truth))
                           if (truth[i] != truth[i - 1] + 1 if i else truth[0] != 0)
                           and not (truth[i] > truth[i - 1] and
                                    all(n in truth[:i] for n in range(truth[i - 1] + 1,
                                                                      truth[i])))]
        check([e["frame"] for e in report["events"]] == expected_frames,
              "%s: events at %s, not %s" % (name, [e["frame"] for e in report["events"]],
                                          expected_frames))
        s = report["summary"]
        missing = sorted(set(range(120)) - set(truth))
        check(s["frames_read"] == len(truth) and s["numbers_seen"] == len(set(truth)) and
              s["dropped"] == len(missing) and s["unreadable"] == 0 and
              s["repeated"] == len(truth) - len(set(truth)),
              "%s: summary %s for %d frames, %d missing" % (name, s, len(truth), len(missing)))
        for e in report["events"]:
            check(e["number"] == truth[e["frame"]], "%s: frame %d read %s, was %d" %
                  (name, e["frame"], e.get("number"), truth[e["frame"]]))


def test_errors():
    src = sample("plain.y4m", 5, "64x32")
    code, out, err = stampel(["--check", "--frames", "5", src])
    check(code == 3 and "frame 0: unreadable" in out and summary(5, 0, 5, 0, 0, 5) in out,
          "unstamped: %d %r" % (code, out))
    for args, message in [(["--json", src], "stampel: --json goes with --check\n"),
                          (["--check", src, path("out")],
                           "stampel: --check reads one INPUT and writes its report to "
                           "standard output\n")]:
        code, out, err = stampel(args)
        check(code == 2 and err == message and out == "", "%s: %d %r" % (args, code, err))
    code, out, err = stampel(["--check", "--frames", "100000", "--format", "i420", "--size",
                              "32x14"], b"\0" * (32 * 14 * 3 // 2))
    check(code == 1 and err.startswith("stampel: ") and "too small" in err,
          "small: %d %r" % (code, err))


def main():
    global STAMPEL, TMP
    parser = argparse.ArgumentParser()
    parser.add_argument("group", choices=["clean", "lossy", "events", "errors"])
    parser.add_argument("--stampel", required=True)
    args = parser.parse_args()
    STAMPEL = args.stampel
    with tempfile.TemporaryDirectory() as tmp:
        TMP = tmp
        globals()["test_" + args.group]()
    print("%d passed, %d failed" % (0 if FAILURES else 1, 1 if FAILURES else 0))
    sys.exit(1 if FAILURES else 0)


if __name__ == "__main__":
    main()
