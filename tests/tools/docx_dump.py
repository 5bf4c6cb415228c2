#!/usr/bin/env python3
"""Reads DOCX packages with python-docx and prints what the writer tests compare, as JSON.

  docx_dump.py FILE...   one JSON object per FILE, in a list; exits 1 when a file
                         cannot be read (the reason on stderr)

Per file:
  parts       member names
  body        top-level content in order:
                {"p": text, "style": w:pStyle value or null, "style_id": the id python-docx
                 resolves it to, "num": [ilvl, numId] or null}
                {"tbl": rows, "cols": grid columns, "cells": [[{"text", "span", "vmerge",
                 "fill"}]] (the w:tc of each row), "grid": [[cell number]] (python-docx's
                 cell at each grid position, numbered in order of first appearance)}
                {"sdt": [paragraph texts]}
  links       every w:hyperlink in order: {"text", "url", "external"}
  images      every picture in order: {"part", "content_type", "px": [w, h] as python-docx
              reads the header, "extent": [cx, cy], "rgba": SHA-1 of the decoded pixels as
              8-bit RGBA rows, or null when the PNG is not of a kind decoded here}

Paragraph text: w:t text, "\\n" for w:br, "\\t" for w:tab, in document order (runs
inside hyperlinks and fields included). Standard library and python-docx only.
"""
import hashlib
import json
import struct
import sys
import zipfile
import zlib

import docx
from docx.enum.style import WD_STYLE_TYPE
from docx.oxml.ns import qn
from docx.table import Table

W_T, W_BR, W_TAB = qn("w:t"), qn("w:br"), qn("w:tab")


def text_of(el):
    out = []
    for node in el.iter(W_T, W_BR, W_TAB):
        out.append((node.text or "") if node.tag == W_T else "\n" if node.tag == W_BR else "\t")
    return "".join(out)


def w_val(el, path):
    found = el.find(path)
    return None if found is None else found.get(qn("w:val"))


def paragraph(p, resolved):
    style = w_val(p, qn("w:pPr") + "/" + qn("w:pStyle"))
    num = None
    numpr = p.find(qn("w:pPr") + "/" + qn("w:numPr"))
    if numpr is not None:
        num = [int(w_val(numpr, qn("w:ilvl"))), int(w_val(numpr, qn("w:numId")))]
    return {"p": text_of(p), "style": style, "style_id": resolved(style), "num": num}


def table(tbl, document):
    t = Table(tbl, document)
    cells = []
    for tr in tbl.findall(qn("w:tr")):
        row = []
        for tc in tr.findall(qn("w:tc")):
            vm = tc.find(qn("w:tcPr") + "/" + qn("w:vMerge"))
            shd = tc.find(qn("w:tcPr") + "/" + qn("w:shd"))
            row.append({"text": "\n".join(text_of(p) for p in tc.findall(qn("w:p"))),
                        "span": int(w_val(tc, qn("w:tcPr") + "/" + qn("w:gridSpan")) or 1),
                        "vmerge": None if vm is None else (vm.get(qn("w:val")) or "continue"),
                        "fill": None if shd is None else shd.get(qn("w:fill"))})
        cells.append(row)
    numbers, grid = {}, []  # keyed by the w:tc itself (held, so lxml keeps one proxy per element)
    for r in range(len(t.rows)):
        grid.append([numbers.setdefault(t.cell(r, c)._tc, len(numbers)) for c in range(len(t.columns))])
    return {"tbl": len(t.rows), "cols": len(t.columns), "cells": cells, "grid": grid}


def png_rgba(data):
    """SHA-1 of the pixels of an 8-bit, non-interlaced PNG as RGBA rows; None for other kinds."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, palette, alpha = 8, b"", None, None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [body[i:i + 3] for i in range(0, len(body), 3)]
        elif kind == b"tRNS":
            alpha = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if depth != 8 or interlace or channels is None:
        return None
    raw, stride, bpp = zlib.decompress(idat), width * channels, channels
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    out = bytearray()
    for line in rows:
        for x in range(width):
            px = line[x * channels:(x + 1) * channels]
            if colour == 0:
                out += bytes([px[0]] * 3) + b"\xff"
            elif colour == 2:
                out += px + b"\xff"
            elif colour == 3:
                out += palette[px[0]] + bytes([alpha[px[0]] if alpha and px[0] < len(alpha) else 255])
            elif colour == 4:
                out += bytes([px[0]] * 3) + px[1:2]
            else:
                out += px
    return hashlib.sha1(bytes(out)).hexdigest()


def dump(path):
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        if bad:
            raise ValueError("bad CRC in " + bad)
        parts = z.namelist()
    document = docx.Document(path)
    body, rels, styles, seen = document.element.body, document.part.rels, document.styles, {}

    def resolved(style_id):  # the style python-docx gives a paragraph with that w:pStyle
        if style_id not in seen:
            seen[style_id] = styles.get_by_id(style_id, WD_STYLE_TYPE.PARAGRAPH).style_id
        return seen[style_id]

    out = {"parts": parts, "body": [], "links": [], "images": []}
    for child in body.iterchildren():
        if child.tag == qn("w:p"):
            out["body"].append(paragraph(child, resolved))
        elif child.tag == qn("w:tbl"):
            out["body"].append(table(child, document))
        elif child.tag == qn("w:sdt"):
            out["body"].append({"sdt": [text_of(p) for p in child.iter(qn("w:p"))]})
    for link in body.iter(qn("w:hyperlink")):
        rel = rels[link.get(qn("r:id"))]
        out["links"].append({"text": text_of(link), "url": rel.target_ref, "external": rel.is_external})
    for inline in body.iter(qn("wp:inline")):
        blip = inline.find(".//" + qn("a:blip"))
        part = document.part.related_parts[blip.get(qn("r:embed"))]
        extent = inline.find(qn("wp:extent"))
        out["images"].append({"part": str(part.partname), "content_type": part.content_type,
                              "px": [part.image.px_width, part.image.px_height],
                              "extent": [int(extent.get("cx")), int(extent.get("cy"))],
                              "rgba": png_rgba(part.blob)})
    return out


def main(paths):
    results = []
    for path in paths:
        try:
            results.append(dump(path))
        except Exception as e:  # any reader error fails the file
            sys.stderr.write("%s: %s: %s\n" % (path, type(e).__name__, e))
            return 1
    json.dump(results, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
