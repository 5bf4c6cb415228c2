#!/usr/bin/env python3
"""make_template.py TEMPLATE.docx DATA.json [--rows N] [--paragraphs N] [--plain-tags]: writes the benchmark
template and its data, the same bytes on every run.

The template holds plain values, a table whose {%tr for %} loop repeats one row of five cells over N rows of
data (10,000 by default) and a {%p for %} loop over N entries (2,000 by default) of a heading-like paragraph
and a body paragraph; its tags are cut into runs as Word leaves them (whole, one run a paragraph, with
--plain-tags). Standard library only."""
import argparse
import json
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "template", "docxtpl"))
from wordlike import W_NS, Builder  # noqa: E402

CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/word/document.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
    '</Types>')
PACKAGE_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
    'officeDocument" Target="word/document.xml"/></Relationships>')
PLAIN_VALUES = 50
WORDS = ("anchor bosun cleat davit ensign fender gunwale halyard jib keel lanyard mast nautical oar pennant "
         "quay rudder sheet tiller vang winch yard").split()


def body_xml(cut_tags=True):
    b = Builder(cut_tags)
    parts = [b.p("{{ title }}", style="Title")]
    parts += [b.p("Field %d: {{ fields.f%d }} ({{ fields.f%d|upper }})" % (i, i, i)) for i in range(PLAIN_VALUES)]
    parts.append(b.row_loop_table(
        ["Id", "Name", "Qty", "Price", "Note"], "{%tr for r in rows %}",
        ["{{ r.id }}", "{{ r.name }}", "{{ r.qty }}", "{{ r.price }}", "{{ r.note|upper }}"],
        "{%tr endfor %}", after=[["", "Total", "{{ total_qty }}", "", ""]]))
    parts += [b.p("{%p for e in entries %}"),
              b.p("{{ loop.index }}. {{ e.title|title }}", style="Heading2"),
              b.p("{{ e.text }}{% if e.flag %} (flagged){% endif %}"),
              b.p("{%p endfor %}"),
              b.p("{{ entries|length }} entries, {{ rows|length }} rows.")]
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:document xmlns:w="%s"><w:body>%s'
            '<w:sectPr><w:pgSz w:w="11906" w:h="16838"/></w:sectPr></w:body></w:document>'
            % (W_NS, "".join(parts)))


def words(i, n):
    return " ".join(WORDS[(i * 7 + k * 3) % len(WORDS)] for k in range(n))


def data(rows, paragraphs):
    return {
        "title": "Chandlery stock report",
        "fields": {"f%d" % i: words(i, 3) for i in range(PLAIN_VALUES)},
        "rows": [{"id": i + 1, "name": words(i, 2), "qty": i % 17, "price": "%d.%02d" % (i % 900, i % 100),
                  "note": words(i + 3, 1)} for i in range(rows)],
        "total_qty": sum(i % 17 for i in range(rows)),
        "entries": [{"title": words(i, 2), "text": words(i, 12) + ".", "flag": i % 5 == 0}
                    for i in range(paragraphs)],
    }


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("template")
    parser.add_argument("data")
    parser.add_argument("--rows", type=int, default=10000)
    parser.add_argument("--paragraphs", type=int, default=2000)
    parser.add_argument("--plain-tags", action="store_true", help="tags whole, not cut into runs")
    args = parser.parse_args(argv)
    with zipfile.ZipFile(args.template, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in (("[Content_Types].xml", CONTENT_TYPES), ("_rels/.rels", PACKAGE_RELS),
                           ("word/document.xml", body_xml(not args.plain_tags))):
            z.writestr(zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0)), text.encode("utf-8"), zipfile.ZIP_DEFLATED)
    with open(args.data, "w", encoding="utf-8") as f:
        json.dump(data(args.rows, args.paragraphs), f)
    print("template %s: a %d-row table loop, a %d-paragraph loop, %d plain values, tags %s; data %s (%.1f MB)"
          % (args.template, args.rows, args.paragraphs, PLAIN_VALUES,
             "whole" if args.plain_tags else "cut into runs as Word leaves them", args.data,
             os.path.getsize(args.data) / 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
