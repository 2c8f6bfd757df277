#!/usr/bin/python3
# Writes what ezdxf (Debian's python3-ezdxf) decodes from the proxy graphics of every drawing under
# ../shared/testdata, as the expectation proxy_graphics_test compares the reader with:
#
#   /usr/bin/python3 tests/drawing/proxy_graphics_ezdxf.py ../shared/testdata \
#       > tests/data/drawing/proxy_graphics_ezdxf.txt
#
# ezdxf takes every three-point arc for one turning counter-clockwise from its first point to its
# last and drops its elevation; Checked below puts both right (the arc through its middle point, at
# the height of its points), and only that.
#
# Only the entities whose graphics the reader draws: custom objects of a type it keeps opaque
# (not tables, images, wipeouts, multileaders, nor lights, whose glyphs do not plot). One line per
# drawing ("drawing PATH"), per entity ("entity HANDLE TYPE ok|stopped", stopped when ezdxf gave
# up part way) and per primitive, in ezdxf's order, in world coordinates:
#   POINT x y z
#   POLYLINE closed n x y z ...          a 3D polyline
#   FACES n  k x y ... (per face)         a shell's faces, or a filled polygon (HATCH): x, y only
#   CIRCLE cx cy cz r ex ey ez            centre in the object coordinates of the extrusion
#   ARC cx cy cz r start end ex ey ez     angles in degrees
#   TEXT x y z height width rotation oblique HEX   the text as UTF-8 bytes in hex
import glob
import math
import os
import struct
import sys

import ezdxf
from ezdxf import recover
from ezdxf.proxygraphic import ProxyGraphic

DRAWN_NATIVELY = {"ACAD_TABLE", "IMAGE", "WIPEOUT", "MULTILEADER", "MLEADER", "MLINE", "LIGHT",
                  "LINE", "POINT", "CIRCLE", "ARC", "ELLIPSE", "LWPOLYLINE", "POLYLINE", "SPLINE",
                  "TEXT", "MTEXT", "ATTRIB", "ATTDEF", "INSERT", "DIMENSION", "HATCH", "SOLID",
                  "TRACE", "3DFACE", "LEADER", "VIEWPORT", "XLINE", "RAY"}


class Checked(ProxyGraphic):
    def circular_arc_3p(self, data):
        arc = super().circular_arc_3p(data)
        p = struct.unpack_from("<9d", data)
        first, middle, last = p[0:3], p[3:6], p[6:9]
        d = arc.dxf
        through = math.degrees(math.atan2(middle[1] - d.center.y, middle[0] - d.center.x))
        sweep = (d.end_angle - d.start_angle) % 360.0
        if (through - d.start_angle) % 360.0 > sweep:
            d.start_angle, d.end_angle = d.end_angle, d.start_angle
        if first[2] == middle[2] == last[2]:
            d.center = (d.center.x, d.center.y, first[2])
        return arc


def num(value):
    return repr(float(value))


def point(p, count=3):
    return " ".join(num(c) for c in tuple(p)[:count])


def primitive(e):
    kind = e.dxftype()
    d = e.dxf
    if kind == "POINT":
        return "POINT " + point(d.location)
    if kind == "POLYLINE" and e.is_poly_face_mesh:
        faces = [[v.dxf.location for v in face if not v.is_face_record] for face in e.faces()]
        return "FACES %d  " % len(faces) + "  ".join(
            "%d %s" % (len(f), " ".join(point(p, 2) for p in f)) for f in faces)
    if kind == "POLYLINE":
        points = [v.dxf.location for v in e.vertices]
        return "POLYLINE %d %d %s" % (int(e.is_closed), len(points),
                                      " ".join(point(p) for p in points))
    if kind == "HATCH":
        faces = [list(path.vertices) for path in e.paths]
        return "FACES %d  " % len(faces) + "  ".join(
            "%d %s" % (len(f), " ".join(point(p, 2) for p in f)) for f in faces)
    if kind == "CIRCLE":
        return "CIRCLE %s %s %s" % (point(d.center), num(d.radius), point(d.extrusion))
    if kind == "ARC":
        return "ARC %s %s %s %s %s" % (point(d.center), num(d.radius), num(d.start_angle),
                                       num(d.end_angle), point(d.extrusion))
    if kind == "TEXT":
        return "TEXT %s %s %s %s %s %s" % (point(d.insert), num(d.height), num(d.width),
                                           num(d.rotation), num(d.oblique),
                                           d.text.encode("utf-8").hex() or "-")
    return "OTHER " + kind


def main(root):
    for path in sorted(glob.glob(os.path.join(root, "**", "*.dxf"), recursive=True)):
        relative = os.path.relpath(path, root)
        if relative.startswith("fuzz" + os.sep):
            continue
        try:
            doc, _ = recover.readfile(path)
        except Exception:
            continue
        lines = []
        for e in list(doc.entitydb.values()):
            data = getattr(e, "proxy_graphic", None)
            if not data or e.dxftype() in DRAWN_NATIVELY:
                continue
            found, status = [], "ok"
            try:
                for v in Checked(data, doc).unsafe_virtual_entities():
                    found.append(primitive(v))
            except Exception:
                status = "stopped"
            lines.append("entity %s %s %s" % (e.dxf.handle, e.dxftype(), status))
            lines.extend(found)
        if lines:
            print("drawing " + relative.replace(os.sep, "/"))
            print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "../shared/testdata")
