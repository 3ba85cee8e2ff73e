#!/usr/bin/python3
"""three.js's LDrawLoader, as web viewers use it, parses the textured sticker and shows its
fallback: every polygon of the fallback and the backing becomes its triangles, in the fallback's
colours, and the textured face (its "0 !:" lines) is left to programs that show textures.
Skipped (exit 77) where Node.js or Debian's three.js is not installed."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

CONVERT = sys.argv[1]
HERE = os.path.dirname(os.path.abspath(__file__))
THREE = "/usr/share/javascript/three/examples/jsm/loaders/LDrawLoader.js"


def main():
    if not shutil.which("node") or not os.path.exists(THREE):
        print("Node.js or three.js is not installed")
        return 77
    work = tempfile.mkdtemp()
    try:
        picture = Image.new("RGB", (40, 30), (240, 240, 240))
        pen = ImageDraw.Draw(picture)
        pen.ellipse((4, 3, 30, 27), fill=(200, 30, 30))
        pen.rectangle((20, 10, 37, 20), fill=(20, 60, 200))
        source = os.path.join(work, "picture.png")
        picture.save(source)
        failures = 0
        for options in (["--method", "vector"], ["--method", "exact", "--fallback-colors", "4"],
                        ["--fallback", "flat"]):
            part = os.path.join(work, "s1.dat")
            run = subprocess.run([CONVERT, "--format", "ldraw-texture", *options, "--height", "30",
                                  source, part], check=True, capture_output=True, text=True)
            polygons = [line.split() for line in open(part) if line[:2] in ("3 ", "4 ")]
            want = sum(int(p[0]) - 2 for p in polygons)
            colours = {p[1][3:].lower() for p in polygons if p[1].startswith("0x2")}
            shown = json.loads(subprocess.run(
                ["node", os.path.join(HERE, "threejs_meshes.mjs"),
                 os.path.join(HERE, "..", "data", "LDConfig.ldr"), part],
                check=True, capture_output=True, text=True, timeout=120).stdout)
            print(f"{' '.join(options)}: {shown['triangles']} triangles shown, {want} in the file")
            if shown["triangles"] != want or not colours <= set(shown["colours"]):
                print(f"three.js shows {shown}, the fallback has colours {sorted(colours)}")
                failures += 1
            if not re.search(r"^0 !TEXMAP START PLANAR", open(part).read(), re.M):
                failures += 1
        print("1 passed, 0 failed" if failures == 0 else "0 passed, 1 failed")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
