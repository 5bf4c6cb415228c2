#!/usr/bin/env python3
"""docx_sections.py FILE...: prints as JSON what python-docx reads of each FILE: per section the
seven lengths in EMU, the title-page switch and the default header's and footer's texts (null when linked);
six core properties."""
import json
import sys

import docx

LENGTHS = ["top_margin", "bottom_margin", "left_margin", "right_margin", "header_distance", "footer_distance", "gutter"]
CORE = ["title", "author", "subject", "keywords", "category", "comments"]


def texts(part):
    return None if part.is_linked_to_previous else [p.text for p in part.paragraphs]


def dump(d):
    return {"sections": [{"lengths": [getattr(s, a) for a in LENGTHS], "title_page": s.different_first_page_header_footer,
                          "header": texts(s.header), "footer": texts(s.footer)}
                         for s in d.sections],
            "core": [getattr(d.core_properties, k) for k in CORE]}


json.dump({path: dump(docx.Document(path)) for path in sys.argv[1:]}, sys.stdout)
