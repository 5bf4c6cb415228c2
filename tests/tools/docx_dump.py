#!/usr/bin/env python3
"""docx_dump.py FILE...: prints per file, in a JSON list, what python-docx reads: "body": a paragraph as
"STYLE[ ILVL/NUMID]: text" (w:br as \\n, w:tab as \\t), a table as "cell | cell / ..." over python-docx's grid ("#FILL"
for shading); "links": "text -> url" or "text -> #bookmark"; "images": "content-type WxH CXxCY sha1-of-part".
Exits 1 when a file cannot be read."""
import hashlib
import json
import sys

import docx
from docx.oxml.ns import qn
from docx.table import Table
from docx.text.paragraph import Paragraph

from judges import link_target

MARKS = {qn("w:br"): "\n", qn("w:tab"): "\t"}


def text(el):
    return "".join(n.text or "" if n.tag == qn("w:t") else MARKS[n.tag] for n in el.iter(qn("w:t"), *MARKS))


def cell(c):
    shd = c._tc.find(qn("w:tcPr") + "/" + qn("w:shd"))
    return text(c._tc) + ("" if shd is None else "#" + shd.get(qn("w:fill")))


def dump(path):
    d = docx.Document(path)
    body, out = d.element.body, {"body": [], "links": [], "images": []}
    for el in body.iterchildren(qn("w:p"), qn("w:tbl")):
        if el.tag == qn("w:p"):
            num = None if el.pPr is None else el.pPr.numPr
            level = "" if num is None else " %d/%d" % (num.ilvl.val, num.numId.val)
            out["body"].append(Paragraph(el, d._body).style.style_id + level + ": " + text(el))
        else:
            t = Table(el, d._body)
            out["body"].append(" / ".join(" | ".join(cell(t.cell(r, c)) for c in range(len(t.columns)))
                                          for r in range(len(t.rows))))
    out["links"] = [text(link) + " -> " + link_target(link, d.part) for link in body.iter(qn("w:hyperlink"))]
    for inline in body.iter(qn("wp:inline")):
        part = d.part.related_parts[inline.find(".//" + qn("a:blip")).get(qn("r:embed"))]
        cx, cy = (inline.find(qn("wp:extent")).get(k) for k in ("cx", "cy"))
        out["images"].append("%s %dx%d %sx%s %s" % (part.content_type, part.image.px_width, part.image.px_height,
                                                   cx, cy, hashlib.sha1(part.blob).hexdigest()))
    return out


results = []
for path in sys.argv[1:]:
    try:
        results.append(dump(path))
    except Exception as e:  # any reader error fails the file
        sys.exit("%s: %s: %s" % (path, type(e).__name__, e))
json.dump(results, sys.stdout)
