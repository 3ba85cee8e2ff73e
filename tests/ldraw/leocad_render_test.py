#!/usr/bin/python3
"""Renders LDraw sticker parts with LeoCAD, as a user's LDraw program shows them.

From above with flat shading, every cell of the render must have its pixel's colour; seen at an
angle with normal shading, no background may show through the face (each row of the render
crosses the sticker in one unbroken run). The LDraw colour sets, as LeoCAD draws their codes,
must come nearer to photographs and drawings than the primary colours. Skipped (exit 77) where
LeoCAD is not installed.
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

CONVERT = sys.argv[1]
SKIP = 77


HERE = os.path.dirname(os.path.abspath(__file__))


def render(part, out, work, *options, textures=None, model_lines=None, parts=None):
    """LeoCAD's picture of the part, in a library that has today's LDConfig.ldr, as a user's.
    textures: a folder of textures for the library's parts; parts: other parts (name, text)."""
    lib = os.path.join(work, "lib")
    shutil.rmtree(lib, ignore_errors=True)
    os.makedirs(os.path.join(lib, "parts"), exist_ok=True)
    shutil.copy(part, os.path.join(lib, "parts", "sticker.dat"))
    if textures:
        shutil.copytree(textures, os.path.join(lib, "parts", "textures"))
    for name, text in parts or []:
        with open(os.path.join(lib, "parts", name), "w") as f:
            f.write(text)
    shutil.copy(os.path.join(HERE, "..", "data", "LDConfig.ldr"), os.path.join(lib, "LDConfig.ldr"))
    model = os.path.join(work, "model.ldr")
    lines = model_lines or ["1 16 0 0 0 1 0 0 0 1 0 0 0 1 sticker.dat"]
    with open(model, "w") as f:
        f.write("0 model\r\n0 Name: model.ldr\r\n" + "".join(l + "\r\n" for l in lines))
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


def textured(work):
    """The textured sticker from above shows the picture cell for cell; without its texture, the
    fallback (the picture has 12 colours, fewer than the fallback's 16) shows it as well."""
    cols, rows = 24, 16
    palette = [((53 * i) % 256, (97 * i + 30) % 256, (151 * i + 60) % 256) for i in range(12)]
    picture = Image.new("RGB", (cols, rows))
    picture.putdata([palette[(x // 3 + 2 * (y // 2) + (x * y) % 3) % 12]
                     for y in range(rows) for x in range(cols)])
    source = os.path.join(work, "textured.png")
    picture.save(source)
    folder = os.path.join(work, "textured")
    os.makedirs(folder, exist_ok=True)
    part = os.path.join(folder, "sticker.dat")
    subprocess.run([CONVERT, "--format", "ldraw-texture", "--method", "exact", "--height", "64",
                    source, part], check=True, capture_output=True)
    failures = 0
    for name, textures in (("texture", os.path.join(folder, "textures")), ("fallback", None)):
        top = render(part, os.path.join(work, name + "-top.png"), work, "--viewpoint", "top",
                     "--orthographic", "--shading", "flat", textures=textures)
        got = cells(top, cols, rows)
        want = list(picture.getdata())
        right = sum(1 for a, b in zip(got, want) if max(abs(p - q) for p, q in zip(a, b)) <= 3)
        print(f"textured sticker, {name}: {right} of {len(want)} cells right")
        if right < (0.99 if name == "texture" else 1.0) * len(want):
            failures += 1
    return failures


def library_photograph(work):
    """A photograph written with --library into an LDraw library, as LeoCAD reads it from there:
    from above, 99 % of its cells within CIEDE2000 2 of the picture; with the PNG taken away,
    the fallback, a likeness (mean difference under 8)."""
    try:
        import numpy
        from skimage import data
        from skimage.color import deltaE_ciede2000, rgb2lab
    except ImportError:
        print("scikit-image is not installed: the photograph is not rendered")
        return 0
    photo = os.path.join(work, "chelsea.png")
    Image.fromarray(data.chelsea()).save(photo)
    library = os.path.join(work, "library")
    os.makedirs(os.path.join(library, "parts"), exist_ok=True)
    with open(os.path.join(library, "parts", "dummy.dat"), "w") as f:
        f.write("0 dummy\r\n")
    shutil.copy(os.path.join(HERE, "..", "data", "LDConfig.ldr"), library)
    subprocess.run([CONVERT, "--format", "ldraw-texture", "--library=" + library, "--height",
                    "120", photo, "photo.dat"], check=True, capture_output=True)
    part = os.path.join(library, "unofficial", "parts", "photo.dat")
    png = os.path.join(library, "unofficial", "parts", "textures", "photo.png")
    model = os.path.join(work, "models", "model.ldr")
    os.makedirs(os.path.dirname(model), exist_ok=True)
    with open(model, "w") as f:
        f.write("0 model\r\n1 16 0 0 0 1 0 0 0 1 0 0 0 1 photo.dat\r\n")
    want = numpy.asarray(Image.open(photo).convert("RGB"), dtype=float) / 255
    rows, cols = want.shape[:2]
    failures = 0
    for name in ("texture", "fallback"):
        if name == "fallback":
            os.remove(png)
        out = os.path.join(work, "photo-" + name + ".png")
        env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work, XDG_CACHE_HOME=work,
                   LIBGL_ALWAYS_SOFTWARE="1")
        subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", "leocad", "-l", library,
                        "-i", out, "-w", "1400", "-h", "960", "--zplanes", "1", "100000",
                        "--viewpoint", "top", "--orthographic", "--shading", "flat", model],
                       env=env, check=True, capture_output=True, timeout=120)
        got = numpy.array(cells(Image.open(out).convert("RGB"), cols, rows),
                          dtype=float).reshape(rows, cols, 3) / 255
        difference = deltaE_ciede2000(rgb2lab(want), rgb2lab(got))
        near = float((difference <= 2).mean())
        print(f"photograph in the library, {name}: {100 * near:.2f} % of cells within "
              f"CIEDE2000 2, mean {difference.mean():.2f}")
        if name == "texture" and near < 0.99:
            failures += 1
        if name == "fallback" and not (difference.mean() < 8 and near < 0.9):
            failures += 1
    return failures


def flat_holes(work):
    """A logo with transparent holes and a flat fallback, lying on a red plate: from above, every
    hole pixel shows the plate, with the texture and without it, and the sticker is as large as
    with the geometry fallback."""
    logo = Image.new("RGBA", (24, 16), (30, 60, 200, 255))
    pen = ImageDraw.Draw(logo)
    pen.rectangle((5, 4, 10, 11), fill=(0, 0, 0, 0))
    pen.rectangle((15, 3, 19, 12), fill=(0, 0, 0, 0))
    pen.rectangle((0, 0, 23, 1), fill=(0, 0, 0, 0))  # a left-out edge: the sticker is smaller
    source = os.path.join(work, "logo.png")
    logo.save(source)
    folder = os.path.join(work, "flat")
    os.makedirs(folder, exist_ok=True)
    headers = {}
    for fallback in ("flat", "geometry"):
        part = os.path.join(folder, fallback + ".dat")
        subprocess.run([CONVERT, "--format", "ldraw-texture", "--fallback", fallback, "--height",
                        "32", source, part], check=True, capture_output=True)
        headers[fallback] = open(part).readline()[:len("0 Sticker 1.6 x 2.4")]
    failures = 0
    if headers["flat"] != headers["geometry"]:
        print(f"the flat fallback's sticker is {headers['flat']}, the geometry's {headers['geometry']}")
        failures += 1
    plate = "0 plate\r\n0 BFC CERTIFY CCW\r\n4 16 -40 0 -30 40 0 -30 40 0 30 -40 0 30\r\n"
    lines = ["1 4 0 0 0 1 0 0 0 1 0 0 0 1 plate.dat", "1 15 0 0 0 1 0 0 0 1 0 0 0 1 sticker.dat"]
    holes = [(x, y) for y in range(2, 16) for x in range(24)
             if (5 < x < 10 and 4 < y < 11) or (15 < x < 19 and 3 < y < 12)]
    for name, textures in (("texture", os.path.join(folder, "textures")), ("no texture", None)):
        if textures:
            shutil.copy(os.path.join(textures, "flat.png"), os.path.join(textures, "sticker.png"))
        top = render(os.path.join(folder, "flat.dat"), os.path.join(work, "flat.png"), work,
                     "--viewpoint", "top", "--orthographic", "--shading", "flat",
                     textures=textures, model_lines=lines, parts=[("plate.dat", plate)])
        # The sticker's cells: the rows below the left-out edge, found by its blue.
        xs = [x for x in range(top.width) if blue(top.getpixel((x, top.height // 2)))]
        ys = [y for y in range(top.height) if blue(top.getpixel((top.width // 2 - 40, y)))]
        if not xs or not ys:
            print(f"flat fallback, {name}: no sticker seen")
            failures += 1
            continue
        left, right, upper, lower = xs[0], xs[-1] + 1, ys[0], ys[-1] + 1
        shown = sum(red(top.getpixel((int(left + (x + 0.5) * (right - left) / 24),
                                      int(upper + (y - 2 + 0.5) * (lower - upper) / 14))))
                    for x, y in holes)
        print(f"flat fallback, {name}: {shown} of {len(holes)} hole cells show the plate")
        if shown < len(holes):
            failures += 1
    return failures


def blue(p):
    return p[2] > p[0] + 40 and p[2] > p[1] + 20


def red(p):
    return p[0] > p[1] + 40 and p[0] > p[2] + 40


def holes(work):
    """A sticker with a hole (its white pixels left out) lying on a red plate, seen at 30 and 60
    degrees: the hole shows the plate, and two views a fraction of a unit apart agree there."""
    picture = Image.new("RGB", (24, 16), (30, 60, 200))
    ImageDraw.Draw(picture).rectangle((6, 4, 17, 11), fill=(255, 255, 255))
    source = os.path.join(work, "holes.png")
    picture.save(source)
    part = os.path.join(work, "holes.dat")
    subprocess.run([CONVERT, "--format", "ldraw-sticker", "--method", "exact", "--ignore-white",
                    "--height", "32", source, part], check=True, capture_output=True)
    plate = "0 plate\r\n0 BFC CERTIFY CCW\r\n" + "".join(
        f"4 16 {a}\r\n" for a in ("-40 0 -30 40 0 -30 40 0 30 -40 0 30",
                                   "-40 8 30 40 8 30 40 8 -30 -40 8 -30",
                                   "-40 0 30 40 0 30 40 8 30 -40 8 30",
                                   "40 0 -30 -40 0 -30 -40 8 -30 40 8 -30",
                                   "40 0 30 40 0 -30 40 8 -30 40 8 30",
                                   "-40 0 -30 -40 0 30 -40 8 30 -40 8 -30"))
    lines = ["1 4 0 0 0 1 0 0 0 1 0 0 0 1 plate.dat", "1 15 0 0 0 1 0 0 0 1 0 0 0 1 sticker.dat"]
    failures = 0
    for elevation in (30, 60):
        views = []
        for nudge in (0, 0.3):
            r = math.radians(elevation)
            eye = (nudge, -140 * math.sin(r), 140 * math.cos(r) + nudge)
            views.append(render(part, os.path.join(work, f"holes-{elevation}-{nudge}.png"), work,
                                "--camera-position-ldraw", *(str(v) for v in eye),
                                "0", "0", "0", "0", "-1", "0", "--shading", "default",
                                model_lines=lines, parts=[("plate.dat", plate)]))
        # The hole: the pixels between the sticker's blue ones, row by row, that are not blue,
        # away from the hole's rim (its walls, 0.25 units high, and the face's edge).
        first = views[0]
        pixels = [[first.getpixel((x, y)) for x in range(first.width)] for y in range(first.height)]
        isblue = [[blue(p) for p in row] for row in pixels]
        near = set()
        for y in range(first.height):
            for x in range(first.width):
                if isblue[y][x]:
                    for dy in range(-3, 4):
                        for dx in (-3, 0, 3):
                            near.add((x + dx, y + dy))
                    for dx in range(-3, 4):
                        near.add((x + dx, y))
        hole, shown, agree = 0, 0, 0
        for y in range(first.height):
            xs = [x for x in range(first.width) if isblue[y][x]]
            if not xs:
                continue
            for x in range(xs[0], xs[-1] + 1):
                if isblue[y][x] or (x, y) in near:
                    continue
                hole += 1
                shown += red(pixels[y][x])
                agree += red(pixels[y][x]) == red(views[1].getpixel((x, y)))
        print(f"holes at {elevation} degrees: {shown} of {hole} hole pixels show the plate, "
              f"{agree} agree in the nudged view")
        if hole < 50 or shown < 0.98 * hole or agree < 0.98 * hole:
            failures += 1
    return failures


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
        failures += textured(work)
        failures += library_photograph(work)
        failures += flat_holes(work)
        failures += holes(work)
        failures += colour_sets(work)
        print("1 passed, 0 failed" if failures == 0 else "0 passed, 1 failed")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
