#!/usr/bin/python3
"""Audits DXF drawings with ezdxf: one line per drawing, "ERRORS FIXES CODE,CODE,...", where the
codes are those of the errors and fixes found (sorted, each once; "-" for none). Exit status 3
when ezdxf is missing."""
import sys

try:
    import ezdxf
except ImportError:
    sys.exit(3)

for path in sys.argv[1:]:
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    codes = sorted({int(e.code) for e in auditor.errors} | {int(e.code) for e in auditor.fixes})
    print(len(auditor.errors), len(auditor.fixes), ",".join(map(str, codes)) or "-")
