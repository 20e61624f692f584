"""What stampel's output must be, worked out independently of the plugin:
the digit font as drawn on screen and where the cells land in each picture
format, in picture coordinates (rows top-down, pixels left to right)."""

# The ten digits, top row first; '#' is a stroke (255), '.' background (0).
_FONT = """
..####.. ...##... ..####.. ..####.. ...##... ######## ....#### ######## ..####.. ..####..
.##..##. ..###... .##..##. .##..##. ...##... ##...... ...##... ......## .##..##. .##..##.
##....## #####... ##....## ##....## ..##.... ##...... ..##.... ......## ##....## ##....##
##...### ...##... ##....## ##....## ..##.... ##...... .##..... ......## ##....## ##....##
##...### ...##... ......## ......## ..##.... ##...... .##..... .....##. ##....## ##....##
##..#.## ...##... ......## ......## .##..... ######.. ##...... .....##. .##..##. ##....##
##..#.## ...##... .....##. ..#####. .##..... .....##. ######.. .....##. ..####.. .##...##
##.#..## ...##... ....##.. ......## .##.##.. ......## ##...##. ....##.. .##..##. ..######
##.#..## ...##... ...##... ......## ##..##.. ......## ##....## ....##.. ##....## ......##
###...## ...##... ..##.... ......## ##..##.. ......## ##....## ....##.. ##....## .....##.
###...## ...##... .##..... ##....## ##..##.. ##....## ##....## ...##... ##....## .....##.
##....## ...##... ##...... ##....## ######## ##....## ##....## ...##... ##....## ....##..
.##..##. ...##... ##...... .##..##. ....##.. .##..##. .##..##. ...##... .##..##. ...##...
..####.. ######## ######## ..####.. ....##.. ..####.. ..####.. ...##... ..####.. ####....
"""
_ROWS = [line.split() for line in _FONT.strip().splitlines()]
GLYPHS = {str(d): [row[d] for row in _ROWS] for d in range(10)}
# The plugin's sign for negative numbers: a bar across the middle rows.
GLYPHS["-"] = ["........"] * 6 + [".######."] * 2 + ["........"] * 6
assert [sum(r.count("#") for r in GLYPHS[str(d)]) for d in range(10)] == [
    64, 38, 42, 47, 42, 46, 48, 34, 56, 48]

# Bytes of one frame, by format: (bytes per row of the first plane, total).
PLANAR = ("yv12", "i420", "y4m420")


def frame_bytes(fmt, w, h):
    return {
        "rgb24": w * h * 3,
        "rgb32": w * h * 4,
        "yuy2": w * h * 2,
        "y4m422": w * h * 2,
    }.get(fmt, w * h + 2 * (w // 2) * (h // 2))


def wrap32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v >= 1 << 31 else v


def digit_count(frames, offset):
    v = wrap32(frames + offset)
    count = 1
    while v > 9:
        v //= 10
        count += 1
    return count


def stamp(frame, fmt, w, h, n, digits, offset=0, left=False):
    """Frame n's bytes (as the stream has them) with its number drawn in."""
    out = bytearray(frame)
    number = wrap32(n + offset)
    text = ("%0*d" % (digits, number))[:digits]
    x0 = 0 if left else w - 10 * digits - (2 if fmt in PLANAR else 0)
    luma = w * h
    for i, ch in enumerate(text):
        glyph = GLYPHS[ch]
        for k in range(14):
            y = h - 14 + k
            for c in range(10):
                x = x0 + 10 * i + c
                v = 255 if c < 8 and glyph[k][c] == "#" else 0
                if fmt in ("rgb24", "rgb32"):
                    bpp = 3 if fmt == "rgb24" else 4
                    p = (y * w + x) * bpp
                    out[p:p + 3] = bytes([v]) * 3
                    if bpp == 4 and c >= 8:
                        out[p + 3] = 0
                elif fmt == "yuy2":
                    out[(y * w + x) * 2] = v
                    out[(y * w + x) * 2 + 1] = 127
                elif fmt == "y4m422":
                    out[y * w + x] = v
                    half = w // 2
                    out[luma + y * half + x // 2] = 127
                    out[luma + luma // 2 + y * half + x // 2] = 127
                else:
                    out[y * w + x] = v
    return bytes(out)


def stamp_all(frames, fmt, w, h, offset=0, left=False, count=None):
    digits = digit_count(len(frames) if count is None else count, offset)
    return [stamp(f, fmt, w, h, n, digits, offset, left) for n, f in enumerate(frames)]
