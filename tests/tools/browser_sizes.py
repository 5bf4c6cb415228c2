#!/usr/bin/env python3
"""browser_sizes.py LXDOCX PAGE.html...: converts each page with `LXDOCX from-html` and compares every word's
font size and colour with what a browser (headless Chromium) computes for it. Prints per page the share of words
within 5% of the browser's size and the share of coloured words whose colour is kept; exits 1 when a page has
fewer than nine words in ten within 5%, 77 (skipped) without chromium."""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from html_suite import Doc

WITHIN, SHARE = 0.05, 0.9
# Appended to the page: writes each visible word with its computed size (points) and colour into the DOM.
MEASURE = """<script>
window.addEventListener('load', () => {
  const out = [];
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let n = walker.nextNode(); n; n = walker.nextNode()) {
    const cs = getComputedStyle(n.parentElement);
    if (cs.display === 'none' || cs.visibility === 'hidden') continue;
    for (const w of n.textContent.split(/\\s+/).filter(Boolean))
      out.push([w, parseFloat(cs.fontSize) * 0.75, cs.color]);
  }
  const pre = document.createElement('pre'); pre.id = 'lxdocx-measured'; pre.textContent = JSON.stringify(out);
  document.body.appendChild(pre);
});
</script>"""


def browser_words(chromium, page_path, work):
    """(word, points, RRGGBB) of each visible word as the browser lays the page out."""
    page = open(page_path, encoding="utf-8", errors="replace").read()
    end = re.search(r"(?i)</body>", page)
    page = page[:end.start()] + MEASURE + page[end.start():] if end else page + MEASURE
    probe = os.path.join(work, "probe.html")
    with open(probe, "w", encoding="utf-8") as f:
        f.write(page)
    dom = subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--virtual-time-budget=2000",
                          "--user-data-dir=" + os.path.join(work, "profile"), "--dump-dom", "file://" + probe],
                         capture_output=True, text=True, timeout=120).stdout
    found = re.search(r'<pre id="lxdocx-measured">(.*?)</pre>', dom, re.S)
    words = json.loads(html.unescape(found.group(1))) if found else []
    return [(w, pt, "%02X%02X%02X" % tuple(int(c) for c in re.findall(r"\d+", colour)[:3])) for w, pt, colour in words]


def compare(browser, ours):
    """(words within 5%, words, coloured words kept, coloured words) over the browser's words found in ours, in order."""
    near = total = kept = coloured = 0
    i = 0
    for word, points, colour in browser:
        j = i
        while j < len(ours) and ours[j][0] != word:
            j += 1
        if j == len(ours):
            continue  # a list label or a word the conversion joins otherwise
        i = j + 1
        total += 1
        near += abs(ours[j][1] - points) <= WITHIN * points
        if colour != "000000":
            coloured += 1
            kept += (ours[j][2] or "000000").upper() == colour
    return near, total, kept, coloured


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("browser_sizes.py: no chromium: skipped")
        return 77
    failed = False
    with tempfile.TemporaryDirectory() as work:
        for page in argv[2:]:
            out = os.path.join(work, os.path.basename(page) + ".docx")
            subprocess.run([argv[1], "from-html", page, out], check=True, capture_output=True)
            near, total, kept, coloured = compare(browser_words(chromium, page, work), Doc(out).words())
            ok = total > 0 and near >= SHARE * total and kept == coloured
            failed |= not ok
            print("%-34s sizes within 5%%: %d of %d words; colours kept: %d of %d  %s"
                  % (os.path.basename(page), near, total, kept, coloured, "ok" if ok else "FAULT"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
