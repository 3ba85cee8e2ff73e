#!/usr/bin/python3
"""Renders LDraw sticker parts with LeoCAD, as a user's LDraw program shows them.

From above with flat shading, every cell of the render must have its pixel's colour; seen at an
angle with normal shading, no background may show through the face (each row of the render
crosses the sticker in one unbroken run). The LDraw colour sets, as LeoCAD draws their codes,
must come nearer to photographs and drawings than the primary colours. Skipped (exit 77) where
LeoCAD is not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

CONVERT = sys.argv[1]
SKIP = 77


HERE = os.path.dirname(os.path.abspath(__file__))


def render(part, out, work, *options):
    """LeoCAD's picture of the part, in a library that has today's LDConfig.ldr, as a user's."""
    lib = os.path.join(work, "lib")
    os.makedirs(os.path.join(lib, "parts"), exist_ok=True)
    shutil.copy(part, os.path.join(lib, "parts", "sticker.dat"))
    shutil.copy(os.path.join(HERE, "..", "data", "LDConfig.ldr"), os.path.join(lib, "LDConfig.ldr"))
    model = os.path.join(work, "model.ldr")
    with open(model, "w") as f:
        f.write("0 model\r\n0 Name: model.ldr\r\n1 16 0 0 0 1 0 0 0 1 0 0 0 1 sticker.dat\r\n")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work, XDG_CACHE_HOME=work,
               LIBGL_ALWAYS_SOFTWARE="1")
    subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "leocad", "-l", lib,
                    "-i", out, "-w", "640", "-h", "480", "--zplanes", "1", "100000",
                    *options, model], env=env, check=True, capture_output=True, timeout=120)
    return Image.open(out).convert("RGB")


def cells(top, cols, rows):
    """The colour at the middle of each cell of a sticker rendered from above, row by row."""
    background = top.getpixel((0, 0))
    xs = [x for x in range(top.width) if top.getpixel((x, top.height // 2)) != background]
    ys = [y for y in range(top.height) if top.getpixel((top.width // 2, y)) != background]
    left, right, upper, lower = xs[0], xs[-1] + 1, ys[0], ys[-1] + 1
    return [top.getpixel((int(left + (col + 0.5) * (right - left) / cols),
                          int(upper + (row + 0.5) * (lower - upper) / rows)))
            for row in range(rows) for col in range(cols)]


def colour_sets(work):
    """Each picture in the primary colours, LDraw's 16 core colours and all solid LDraw colours:
    the mean CIEDE2000 difference of the rendered cells from the picture's own colours."""
    try:
        import numpy
        from skimage.color import deltaE_ciede2000, rgb2lab
    except ImportError:
        print("scikit-image is not installed: the colour sets are not compared")
        return 0
    known = set()
    with open(os.path.join(HERE, "..", "data", "LDConfig.ldr"), encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if words[:2] == ["0", "!COLOUR"] and "CODE" in words:
                known.add(words[words.index("CODE") + 1])
    failures = 0
    cols, rows = 32, 16  # wider than the render, so that it shows background above and below
    means = {"primary": [], "ldraw-core": [], "ldraw": []}
    for source in ("rose:", "logo:", "wizard:", "granite:", "netscape:"):
        picture = os.path.join(work, "picture.png")
        subprocess.run(["convert", source, "-resize", f"{cols}x{rows}!", picture], check=True)
        want = numpy.asarray(Image.open(picture).convert("RGB"), dtype=float) / 255
        quads = {}
        for colours, options in (("primary", ["--primary"]),
                                 ("ldraw-core", ["--palette", "ldraw-core"]),
                                 ("ldraw", ["--palette", "ldraw"])):
            part = os.path.join(work, "colours.dat")
            run = subprocess.run([CONVERT, "--format", "ldraw-sticker", "--method", "exact",
                                  "--height", "48", *options, picture, part],
                                 check=True, capture_output=True, text=True)
            codes = {line.split()[1] for line in open(part) if line[:2] in ("3 ", "4 ")}
            if not codes <= known:
                print(f"{source} {colours}: codes outside LDConfig.ldr: {codes - known}")
                failures += 1
            top = render(part, os.path.join(work, "colours.png"), work,
                         "--viewpoint", "top", "--orthographic", "--shading", "flat")
            got = numpy.array(cells(top, cols, rows), dtype=float).reshape(rows, cols, 3) / 255
            means[colours].append(float(deltaE_ciede2000(rgb2lab(want), rgb2lab(got)).mean()))
            quick = subprocess.run([CONVERT, *options, picture, part], check=True,
                                   capture_output=True, text=True)
            quads[colours] = int(quick.stderr.strip().split("\n")[-1].split()[0])
        if not quads["ldraw-core"] < quads["primary"]:
            print(f"{source}: the core colours' quick conversion has {quads['ldraw-core']} "
                  f"quadrilaterals, not fewer than the primary colours' {quads['primary']}")
            failures += 1
    mean = {colours: sum(values) / len(values) for colours, values in means.items()}
    print("mean CIEDE2000 of the rendered cells: " +
          ", ".join(f"{colours} {value:.2f}" for colours, value in mean.items()))
    if not mean["ldraw"] <= 0.6 * mean["primary"]:
        print("all LDraw colours are not 40 % nearer than the primary colours")
        failures += 1
    if not mean["ldraw-core"] < mean["primary"]:
        print("the core colours are not nearer than the primary colours")
        failures += 1
    return failures


def main():
    if not shutil.which("leocad") or not shutil.which("xvfb-run"):
        print("LeoCAD is not installed")
        return SKIP
    work = tempfile.mkdtemp()
    try:
        # 8 x 6 cells of clearly different colours.
        cols, rows = 8, 6
        colours = [((37 * i) % 256, (91 * i + 40) % 256, (53 * i + 90) % 256)
                   for i in range(cols * rows)]
        picture = Image.new("RGB", (cols, rows))
        picture.putdata(colours)
        picture = picture.quantize(colors=256, dither=Image.Dither.NONE)
        bmp = os.path.join(work, "cells.bmp")
        picture.save(bmp)
        expected = picture.convert("RGB")
        failures = 0
        # The vector conversion keeps one-pixel regions with --min-area 0; its slopes are seen
        # on a drawn disc and ring, at an angle.
        disc = os.path.join(work, "disc.png")
        drawing = Image.new("RGB", (64, 48), (60, 150, 60))
        pen = ImageDraw.Draw(drawing)
        pen.ellipse((6, 4, 44, 42), fill=(200, 30, 30))
        pen.ellipse((16, 14, 34, 32), fill=(20, 40, 200))
        pen.polygon([(40, 2), (62, 10), (50, 46)], fill=(250, 200, 0))
        drawing.save(disc)
        runs = (("quick", bmp, []), ("exact", bmp, []),
                ("vector", bmp, ["--min-area", "0"]), ("vector-disc", disc, []))
        for method, source, extra in runs:
            part = os.path.join(work, method + ".dat")
            subprocess.run([CONVERT, "--format", "ldraw-sticker", "--method",
                            method.split("-")[0], *extra, "--height", "60", source, part],
                           check=True, capture_output=True)
            top = render(part, os.path.join(work, method + "-top.png"), work,
                         "--viewpoint", "top", "--orthographic", "--shading", "flat")
            background = top.getpixel((0, 0))
            xs = [x for x in range(top.width) if top.getpixel((x, top.height // 2)) != background]
            ys = [y for y in range(top.height) if top.getpixel((top.width // 2, y)) != background]
            left, right, upper, lower = xs[0], xs[-1] + 1, ys[0], ys[-1] + 1
            for row in range(rows if source == bmp else 0):
                for col in range(cols):
                    x = left + (col + 0.5) * (right - left) / cols
                    y = upper + (row + 0.5) * (lower - upper) / rows
                    got = top.getpixel((int(x), int(y)))
                    want = expected.getpixel((col, row))
                    if max(abs(a - b) for a, b in zip(got, want)) > 2:
                        print(f"{method}: cell {col},{row} is {got}, the picture has {want}")
                        failures += 1
            angled = render(part, os.path.join(work, method + "-angle.png"), work,
                            "--camera-angles", "30", "45", "--shading", "default")
            background = angled.getpixel((0, 0))
            shown = sum(1 for y in range(angled.height)
                        if any(angled.getpixel((x, y)) != background
                               for x in range(0, angled.width, 4)))
            if shown < 20:
                print(f"{method}: the angled view shows no sticker")
                failures += 1
            for y in range(angled.height):
                inside = [x for x in range(angled.width) if angled.getpixel((x, y)) != background]
                if inside and len(inside) != inside[-1] - inside[0] + 1:
                    print(f"{method}: background shows through the face in row {y}")
                    failures += 1
                    break
        failures += colour_sets(work)
        print("1 passed, 0 failed" if failures == 0 else "0 passed, 1 failed")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
