#!/usr/bin/env python3
"""Fidelity of the painter against two independent renderers.

For every DXF drawing under a folder (default ../shared/testdata, its fuzz/ folder left out) whose
model space has visible content, renders the model space at its extents three ways, monochrome on
white, at the same pixel size:

  ours     bench/render_extents (the painter of the built-in CAD, hairline lines)
  ezdxf    Debian's python3-ezdxf drawing add-on with matplotlib, given our window exactly
  librecad Debian's LibreCAD `dxf2pdf --fit --monochrome`, rasterised with pdftoppm; LibreCAD fits
           its own extents to the page, so its picture is registered to ours by the ink's
           bounding box

and scores each peer against ours: the F1 of ink pixels, each side's ink dilated by 2 pixels
(precision: our ink near theirs; recall: their ink near ours).

A drawing whose model space holds custom objects drawn from their proxy graphics (render_extents
names them by handle) is scored a third time on those entities alone, in the window of the whole
model space: ours with `render_extents --only-proxies`, ezdxf's drawing add-on on the same handles
with proxy graphics preferred to its own drawing of a type. The column is `-` for drawings without
them (and for a render_extents too old to name them); the note names the types of the other
entities of the model space that ezdxf finds proxy graphics in, which ours does not draw from
them (a MULTILEADER, say, which both draw from its own data).

Prints one row per drawing, the medians, and the worst ten of each peer; writes the pictures of
every drawing side by side into OUT/pictures/ (NAME.png: ours, ezdxf, LibreCAD; NAME.proxies.png:
the proxies alone, ours and ezdxf) and the table to OUT/fidelity.tsv.

  bench/fidelity/run.py [--build BUILD] [--out OUT] [--pixels N] [--timeout S] [--resume]
                        [FOLDER_OR_DXF ...]

Needs python3-ezdxf, python3-matplotlib, python3-numpy, python3-pil, librecad and poppler-utils
(the benchmark's own needs, not CI's).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))

EZDXF_SCRIPT = r'''
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import ezdxf
from ezdxf.addons.drawing import Frontend, RenderContext
from ezdxf.addons.drawing.config import Configuration, ProxyGraphicPolicy
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend
from ezdxf.addons.drawing.properties import LayoutProperties

path, png = sys.argv[1], sys.argv[2]
xmin, ymin, xmax, ymax = map(float, sys.argv[3:7])
width, height = int(sys.argv[7]), int(sys.argv[8])
doc = ezdxf.readfile(path)
msp = doc.modelspace()
# A file of handles given: only those entities, each drawn from its proxy graphics.
config, only = Configuration.defaults(), None
if len(sys.argv) > 9:
    with open(sys.argv[9]) as listed:
        handles = set(listed.read().upper().split())
    config = config.with_changes(proxy_graphic_policy=ProxyGraphicPolicy.PREFER)
    only = lambda entity: (entity.dxf.get("handle") or "").upper() in handles
    others = sorted({entity.dxftype() for entity in msp
                     if getattr(entity, "proxy_graphic", None) and not only(entity)})
    if others:
        print("others", *others)
fig = plt.figure(figsize=(width / 100, height / 100), dpi=100)
ax = fig.add_axes([0, 0, 1, 1])
# Monochrome as ours: every colour black (a true colour equal to the white background would
# otherwise vanish).
class Monochrome(RenderContext):
    def resolve_all(self, entity):
        properties = super().resolve_all(entity)
        properties.color = "#000000"
        return properties

    # Multiline text with columns or inline codes resolves its colours again, piece by piece.
    def resolve_aci_color(self, aci, resolved_layer):
        return "#000000"

ctx = Monochrome(doc)
ctx.set_current_layout(msp)
properties = LayoutProperties.from_layout(msp)
properties.set_colors("#ffffff")
Frontend(ctx, MatplotlibBackend(ax), config=config).draw_layout(
    msp, finalize=True, filter_func=only, layout_properties=properties)
ax.set_aspect("auto")
ax.set_xlim(xmin, xmax)
ax.set_ylim(ymin, ymax)
ax.set_axis_off()
fig.set_size_inches(width / 100, height / 100)  # the backend resizes the figure to its content
fig.savefig(png, dpi=100, facecolor="white")
'''


def ink(path, size=None):
    """Pixels that are not (nearly) white, as a boolean array."""
    image = Image.open(path).convert("RGB")
    if size is not None and image.size != size:
        image = image.resize(size, Image.NEAREST)
    return np.asarray(image).min(axis=2) < 215


def dilate(mask, radius=2):
    out = mask.copy()
    h, w = mask.shape
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dx == 0 and dy == 0:
                continue
            src = mask[max(0, -dy):h - max(0, dy), max(0, -dx):w - max(0, dx)]
            out[max(0, dy):h - max(0, -dy), max(0, dx):w - max(0, -dx)] |= src
    return out


def f1(ours, theirs):
    if not ours.any() and not theirs.any():
        return 1.0
    if not ours.any() or not theirs.any():
        return 0.0
    precision = (ours & dilate(theirs)).sum() / ours.sum()
    recall = (theirs & dilate(ours)).sum() / theirs.sum()
    if precision + recall == 0:
        return 0.0
    return 2 * precision * recall / (precision + recall)


def bounding_box(mask):
    rows = np.flatnonzero(mask.any(axis=1))
    cols = np.flatnonzero(mask.any(axis=0))
    if rows.size == 0:
        return None
    return rows[0], rows[-1] + 1, cols[0], cols[-1] + 1


def register(theirs, ours):
    """Their ink moved and scaled so that its bounding box is our ink's bounding box."""
    a, b = bounding_box(ours), bounding_box(theirs)
    out = np.zeros_like(ours)
    if a is None or b is None:
        return out
    crop = Image.fromarray(theirs[b[0]:b[1], b[2]:b[3]].astype(np.uint8) * 255)
    crop = crop.resize((a[3] - a[2], a[1] - a[0]), Image.BILINEAR)
    out[a[0]:a[1], a[2]:a[3]] = np.asarray(crop) > 40
    return out


def run(command, timeout):
    started = time.monotonic()
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(command, capture_output=True, text=True, timeout=timeout, env=env)
    return result, time.monotonic() - started


def drawings(paths):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for folder, subfolders, files in os.walk(path):
            subfolders[:] = sorted(d for d in subfolders if d != "fuzz")
            for name in sorted(files):
                if name.lower().endswith(".dxf"):
                    yield os.path.join(folder, name)


def side_by_side(out, pictures):
    images = [Image.open(p).convert("RGB") for p in pictures if p and os.path.exists(p)]
    if not images:
        return
    height = max(i.height for i in images)
    sheet = Image.new("RGB", (sum(i.width for i in images) + 10 * (len(images) - 1), height),
                      "gray")
    x = 0
    for image in images:
        sheet.paste(image, (x, 0))
        x += image.width + 10
    sheet.save(out)


COLUMNS = ["drawing", "f1_ezdxf", "f1_librecad", "f1_proxies", "ours_s", "ezdxf_s",
           "librecad_s", "proxies", "note"]
PEERS = [("ezdxf", "f1_ezdxf"), ("librecad", "f1_librecad"), ("proxies", "f1_proxies")]


def score_cell(cell):
    return None if cell in ("-", "") else float(cell)


def draw_ezdxf(path, png, window, size, timeout, handles=None):
    """ezdxf's picture in our window; of the entities whose handles the file `handles` lists only,
    when given. Returns (what went wrong or None, seconds or None, its output)."""
    command = ["/usr/bin/python3", "-c", EZDXF_SCRIPT, path, png, *window, str(size[0]),
               str(size[1])]
    if handles:
        command.append(handles)
    try:
        result, seconds = run(command, timeout)
    except subprocess.TimeoutExpired:
        return "ezdxf timed out", None, ""
    if result.returncode != 0:
        return ("ezdxf failed: " + (result.stderr.strip().splitlines() or ["?"])[-1][:80],
                seconds, result.stdout)
    return None, seconds, result.stdout


def proxy_pass(tool, path, key, pictures, scratch, window, size, handles, args):
    """The F1 of ours against ezdxf on the custom objects alone, and notes."""
    notes = []
    ours_png = os.path.join(pictures, key + ".proxies.ours.png")
    try:
        result, _ = run([tool, path, ours_png, str(args.pixels), "--only-proxies"], args.timeout)
    except subprocess.TimeoutExpired:
        return None, ["proxies: ours timed out"]
    fields = result.stdout.split()
    if result.returncode != 0 or fields[:4] != window:
        return None, ["proxies: ours failed or moved the window"]
    listed = os.path.join(scratch, "handles")
    with open(listed, "w") as out:
        out.write("\n".join(handles) + "\n")
    ezdxf_png = os.path.join(pictures, key + ".proxies.ezdxf.png")
    failure, _, stdout = draw_ezdxf(path, ezdxf_png, window, size, args.timeout, listed)
    for line in stdout.splitlines():
        if line.startswith("others "):
            notes.append("ezdxf also finds proxy graphics in " + ", ".join(line.split()[1:]))
    side_by_side(os.path.join(pictures, key + ".proxies.png"), [ours_png, ezdxf_png])
    if failure:
        return None, ["proxies: " + failure] + notes
    return f1(ink(ours_png), ink(ezdxf_png, size)), notes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--out", default="/tmp/kw_fidelity")
    parser.add_argument("--pixels", type=int, default=1000)
    parser.add_argument("--timeout", type=float, default=180)
    parser.add_argument("--librecad-timeout", type=float, default=None,
                        help="LibreCAD's own limit (it hangs on some files); default --timeout")
    parser.add_argument("--resume", action="store_true",
                        help="keep the rows of OUT/fidelity.tsv and render only the others")
    parser.add_argument("paths", nargs="*",
                        default=[os.path.join(SOURCE, "..", "shared", "testdata")])
    args = parser.parse_args()
    tool = os.path.join(args.build, "bench", "render_extents")
    if not os.access(tool, os.X_OK):
        sys.exit(f"missing {tool}: build the project first")
    pictures = os.path.join(args.out, "pictures")
    os.makedirs(pictures, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="kw_fidelity_")
    # A copy of the tool, so that a rebuild during a long run does not pull it away.
    shutil.copy2(tool, os.path.join(scratch, "render_extents"))
    tool = os.path.join(scratch, "render_extents")
    rows = []
    # A run that was stopped goes on where it stopped: the rows already in the table stay, read
    # by the names of its columns (a table from before a column was added gets "-" there).
    table_path = os.path.join(args.out, "fidelity.tsv")
    done = {}
    if args.resume and os.path.exists(table_path):
        with open(table_path) as previous:
            lines = [line.rstrip("\n").split("\t") for line in previous]
        for cells in lines[1:]:
            if len(cells) >= 3:
                named = dict(zip(lines[0], cells))
                done[cells[0]] = [named.get(column, "-" if column != "note" else "")
                                  for column in COLUMNS]
    table = open(table_path, "w")
    table.write("\t".join(COLUMNS) + "\n")
    # Names in the table are relative to the folders' common parent.
    folders = [os.path.abspath(p) for p in args.paths if os.path.isdir(p)]
    files = [os.path.dirname(os.path.abspath(p)) for p in args.paths if os.path.isfile(p)]
    base = (os.path.commonpath(folders) if len(folders) > 1 else folders[0] if folders
            else os.path.commonpath(files) if files else "")
    for path in drawings(args.paths):
        if not base:
            base = os.path.dirname(path)
        name = os.path.relpath(path, base)
        if name in done:
            cells = done[name]
            row = {"drawing": name}
            for peer, column in PEERS:
                row[peer] = score_cell(cells[COLUMNS.index(column)])
            rows.append(row)
            table.write("\t".join(cells) + "\n")
            continue
        key = name.replace(os.sep, "__")
        ours_png = os.path.join(pictures, key + ".ours.png")
        try:
            result, ours_s = run([tool, path, ours_png, str(args.pixels)], args.timeout)
        except subprocess.TimeoutExpired:
            print(f"{name}\tours timed out", flush=True)
            continue
        if result.returncode != 0:
            continue  # unreadable, or nothing visible in model space
        fields = result.stdout.split()
        window, size = fields[:4], (int(fields[4]), int(fields[5]))
        # The custom objects drawn from proxy graphics, by handle; None from a tool that does
        # not name them.
        lines = result.stdout.splitlines()
        handles = (lines[1].split()[1:] if len(lines) > 1 and lines[1].startswith("proxies")
                   else None)
        ours = ink(ours_png)
        if not ours.any():
            continue
        row = {"drawing": name, "ezdxf": None, "librecad": None, "proxies": None, "note": [],
               "times": [ours_s, None, None]}
        ezdxf_png = os.path.join(pictures, key + ".ezdxf.png")
        failure, row["times"][1], _ = draw_ezdxf(path, ezdxf_png, window, size, args.timeout)
        if failure:
            row["note"].append(failure)
        else:
            row["ezdxf"] = f1(ours, ink(ezdxf_png, size))
        librecad_png = os.path.join(pictures, key + ".librecad.png")
        # dxf2pdf writes DRAWING.pdf into the folder given by -t (never beside the drawing).
        pdf = os.path.join(scratch, os.path.splitext(os.path.basename(path))[0] + ".pdf")
        try:
            if os.path.exists(pdf):
                os.remove(pdf)
            _, row["times"][2] = run(["librecad", "dxf2pdf", "-a", "-m", "-t", scratch, path],
                                     args.librecad_timeout or args.timeout)
            if os.path.exists(pdf):
                # Its page size does not follow -p here (a sheet of hundreds of metres comes
                # out), so the page is rasterised to our size on its longer side.
                subprocess.run(["pdftoppm", "-scale-to", str(max(size)), "-png", "-singlefile",
                                "-aa", "no", "-aaVector", "no", pdf, librecad_png[:-4]],
                               capture_output=True, timeout=args.timeout)
            if os.path.exists(librecad_png):
                theirs = ink(librecad_png)
                registered = register(theirs, ours)
                Image.fromarray(np.where(registered, 0, 255).astype(np.uint8)).save(librecad_png)
                row["librecad"] = f1(ours, registered)
            else:
                row["note"].append("librecad wrote no page")
        except subprocess.TimeoutExpired:
            row["note"].append("librecad timed out")
        side_by_side(os.path.join(pictures, key + ".png"), [ours_png, ezdxf_png, librecad_png])
        if handles:
            row["proxies"], notes = proxy_pass(tool, path, key, pictures, scratch, window, size,
                                               handles, args)
            row["note"].extend(notes)
        rows.append(row)
        cells = ["-" if v is None else f"{v:.3f}"
                 for v in (row["ezdxf"], row["librecad"], row["proxies"])]
        times = ["-" if v is None else f"{v:.2f}" for v in row["times"]]
        count = "-" if handles is None else str(len(handles))
        line = "\t".join([name, *cells, *times, count, "; ".join(row["note"])])
        print(line, flush=True)
        table.write(line + "\n")
        table.flush()
    table.close()
    print()
    for peer, _ in PEERS:
        scores = [(r[peer], r["drawing"]) for r in rows if r[peer] is not None]
        if not scores:
            continue
        label = "proxies (ezdxf, custom objects alone)" if peer == "proxies" else peer
        print(f"{label}: {len(scores)} drawings, median F1 "
              f"{statistics.median(s for s, _ in scores):.3f}, "
              f"mean {statistics.mean(s for s, _ in scores):.3f}")
        for score, drawing in sorted(scores)[:10]:
            print(f"  {score:.3f}  {drawing}")


if __name__ == "__main__":
    main()
