#!/usr/bin/env python3
"""Writes the benchmark's synthetic HTML page.

A standalone page of about 3 MB (--size) built from chapters: h1-h4 headings,
paragraphs with bold, italic, underline, code, coloured spans, sub- and
superscripts and links (external ones to distinct addresses, and links to the
page's own headings), nested bullet lists and numbered lists whose items hold
links, tables with a shaded header row, a cell spanning two columns and one
spanning two rows, block quotes and preformatted code. Output is the same byte
for byte on every run for a given seed and size.

Two other shapes test how conversion time and memory grow: --shape one-table,
one table of six columns whose rows fill the size (a data dump), and --shape
nested-spans, one paragraph of coloured spans each inside the one before
(50,000 of them for about 2 MB).

    python3 make_html.py OUT.html [--size BYTES] [--seed S] [--shape chapters|one-table|nested-spans]

Standard library only.
"""

import argparse
import html
import random
import sys

import make_package  # the same words as the generated package

DEFAULT_SIZE = 3_000_000
DEFAULT_SEED = 20240101

WORDS = make_package.WORDS
COLOURS = ("#1f4e79", "#c00000", "#2e7d32", "#7030a0", "#ed7d31")


class Page:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.parts = []
        self.size = 0
        self.anchors = []
        self.links = 0

    def emit(self, text):
        self.parts.append(text)
        self.size += len(text.encode("utf-8"))

    def words(self, lo, hi):
        return " ".join(self.rng.choice(WORDS) for _ in range(self.rng.randint(lo, hi)))

    def link(self):
        self.links += 1
        if self.anchors and self.rng.random() < 0.4:
            target = "#" + self.rng.choice(self.anchors)
        else:  # a distinct address per link, as in a page that cites many sources
            target = "https://example.org/docs/%d/%s?ref=%d" % (self.links % 97, self.rng.choice(WORDS), self.links)
        return '<a href="%s">%s</a>' % (html.escape(target), html.escape(self.words(1, 4)))

    def inline(self, lo, hi):
        """Running text with formatting and about one link per sentence."""
        out = []
        for _ in range(self.rng.randint(lo, hi)):
            kind = self.rng.random()
            text = html.escape(self.words(3, 12))
            if kind < 0.12:
                out.append("<b>%s</b>" % text)
            elif kind < 0.22:
                out.append("<i>%s</i>" % text)
            elif kind < 0.27:
                out.append("<u>%s</u>" % text)
            elif kind < 0.35:
                out.append("<code>%s</code>" % text)
            elif kind < 0.40:
                out.append('<span style="color:%s">%s</span>' % (self.rng.choice(COLOURS), text))
            elif kind < 0.43:
                out.append("x<sub>%d</sub> y<sup>%d</sup> %s" % (self.rng.randint(1, 9), self.rng.randint(2, 9), text))
            else:
                out.append(text)
            if self.rng.random() < 0.3:
                out.append(self.link())
        return " ".join(out) + "."

    def heading(self, level, number):
        anchor = "sec-%s" % number
        self.anchors.append(anchor)
        self.emit('<h%d id="%s">%s %s</h%d>\n' % (level, anchor, number, html.escape(self.words(2, 6).title()), level))

    def lists(self):
        tag = "ol" if self.rng.random() < 0.4 else "ul"
        self.emit("<%s>\n" % tag)
        for _ in range(self.rng.randint(3, 7)):
            self.emit("<li>%s" % self.inline(1, 2))
            if self.rng.random() < 0.3:
                self.emit("\n<ul>\n")
                for _ in range(self.rng.randint(2, 4)):
                    self.emit("<li>%s</li>\n" % self.inline(1, 1))
                self.emit("</ul>\n")
            self.emit("</li>\n")
        self.emit("</%s>\n" % tag)

    def table(self):
        cols = self.rng.randint(3, 6)
        rows = self.rng.randint(4, 10)
        self.emit('<table border="1" cellspacing="0" cellpadding="4">\n<tr>')
        for c in range(cols):
            self.emit('<th style="background-color:#d9e2f3">%s</th>' % html.escape(self.words(1, 3)))
        self.emit("</tr>\n")
        for r in range(rows):
            self.emit("<tr>")
            c = 0
            while c < cols:
                if r == 1 and c == 0:
                    self.emit('<td colspan="2">%s</td>' % self.inline(1, 1))
                    c += 2
                    continue
                if r == 2 and c == cols - 1:
                    self.emit('<td rowspan="2">%s</td>' % html.escape(self.words(2, 6)))
                elif r == 3 and c == cols - 1:
                    pass  # covered by the cell above
                else:
                    cell = self.link() if self.rng.random() < 0.2 else html.escape(self.words(1, 6))
                    self.emit("<td>%s</td>" % cell)
                c += 1
            self.emit("</tr>\n")
        self.emit("</table>\n")

    def chapter(self, n):
        self.heading(1, "%d" % n)
        self.emit("<p>%s</p>\n" % self.inline(4, 8))
        for s in range(1, self.rng.randint(4, 7)):
            self.heading(2, "%d.%d" % (n, s))
            for _ in range(self.rng.randint(2, 5)):
                self.emit("<p>%s</p>\n" % self.inline(3, 9))
            if self.rng.random() < 0.6:
                self.lists()
            if self.rng.random() < 0.35:
                self.table()
            for t in range(1, self.rng.randint(1, 4)):
                self.heading(3, "%d.%d.%d" % (n, s, t))
                self.emit("<p>%s</p>\n" % self.inline(2, 6))
                if self.rng.random() < 0.2:
                    self.heading(4, "%d.%d.%d.1" % (n, s, t))
                    self.emit("<blockquote><p>%s</p></blockquote>\n" % self.inline(1, 3))
                if self.rng.random() < 0.2:
                    self.emit("<pre><code>%s\n%s</code></pre>\n" % (html.escape(self.words(3, 8)),
                                                                    html.escape(self.words(3, 8))))


def build_one_table(size, seed):
    page = Page(seed)
    page.emit('<!DOCTYPE html>\n<html>\n<head><meta charset="utf-8"><title>One table</title></head>\n<body>\n'
              '<table border="1">\n<thead><tr>%s</tr></thead>\n<tbody>\n'
              % "".join("<th>%s</th>" % page.words(1, 2) for _ in range(6)))
    rows = 0
    while page.size < size:
        rows += 1
        page.emit("<tr>%s</tr>\n" % "".join("<td>%s</td>" % html.escape(page.words(1, 4)) for _ in range(6)))
    page.emit("</tbody>\n</table>\n</body>\n</html>\n")
    return "".join(page.parts), "%d rows" % rows


def build_nested_spans(size, seed):
    page = Page(seed)
    page.emit('<!DOCTYPE html>\n<html>\n<head><meta charset="utf-8"><title>Nested spans</title></head>\n<body>\n<p>')
    spans = 0
    while page.size < size:
        spans += 1
        page.emit('<span style="color:%s">%s ' % (page.rng.choice(COLOURS), html.escape(page.words(1, 2))))
        page.size += len("</span>")  # the end tags are written after
    page.emit("</span>" * spans + "</p>\n</body>\n</html>\n")
    return "".join(page.parts), "%d spans" % spans


def build(size, seed):
    page = Page(seed)
    page.emit('<!DOCTYPE html>\n<html>\n<head><meta charset="utf-8"><title>Benchmark page</title></head>\n<body>\n')
    n = 0
    while page.size < size:
        n += 1
        page.chapter(n)
    page.emit("</body>\n</html>\n")
    return "".join(page.parts), n, page.links


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write the benchmark's synthetic HTML page.")
    parser.add_argument("out")
    parser.add_argument("--size", type=int, default=DEFAULT_SIZE, help="bytes to reach (default %(default)s)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--shape", choices=("chapters", "one-table", "nested-spans"), default="chapters")
    args = parser.parse_args(argv)
    if args.shape == "chapters":
        text, chapters, links = build(args.size, args.seed)
        what = "%d chapters, %d links" % (chapters, links)
    else:
        text, what = (build_one_table if args.shape == "one-table" else build_nested_spans)(args.size, args.seed)
    with open(args.out, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    print("%s: %.2f MB, %s" % (args.out, len(text.encode("utf-8")) / 1e6, what))
    return 0


if __name__ == "__main__":
    sys.exit(main())
