#!/usr/bin/env python3
"""Prints, as JSON, what python-docx reads of a package's page setup, headers,
footers and core properties.

  docx_sections.py FILE...   prints {"FILE": {...}, ...}

Per file: "sections", one object per section in document order with the
margins, distances and gutter in EMU (null when the file gives none), the
title-page switch, and for each header and footer kind whether it is linked to
the previous section and, when it is not, its paragraph texts; "even_and_odd",
the settings switch; "core", the six core properties ("description" is
python-docx's comments). A file python-docx cannot open gets {"error": "..."}.
"""
import json
import sys

import docx

LENGTHS = {
    "top": "top_margin",
    "bottom": "bottom_margin",
    "left": "left_margin",
    "right": "right_margin",
    "header": "header_distance",
    "footer": "footer_distance",
    "gutter": "gutter",
}
KINDS = {
    "default_header": "header",
    "first_header": "first_page_header",
    "even_header": "even_page_header",
    "default_footer": "footer",
    "first_footer": "first_page_footer",
    "even_footer": "even_page_footer",
}


def part(hf):
    linked = hf.is_linked_to_previous
    return {"linked": linked, "text": [] if linked else [p.text for p in hf.paragraphs]}


def dump(path):
    d = docx.Document(path)
    sections = []
    for s in d.sections:
        entry = {key: getattr(s, attr) for key, attr in LENGTHS.items()}
        entry["title_page"] = s.different_first_page_header_footer
        for key, attr in KINDS.items():
            entry[key] = part(getattr(s, attr))
        sections.append(entry)
    cp = d.core_properties
    return {
        "sections": sections,
        "even_and_odd": d.settings.odd_and_even_pages_header_footer,
        "core": {
            "title": cp.title,
            "author": cp.author,
            "subject": cp.subject,
            "keywords": cp.keywords,
            "category": cp.category,
            "description": cp.comments,
        },
    }


def main(paths):
    out = {}
    for path in paths:
        try:
            out[path] = dump(path)
        except Exception as e:  # reported per file, the caller decides
            out[path] = {"error": "%s: %s" % (type(e).__name__, e)}
    json.dump(out, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
