#!/usr/bin/python3
"""render_rich.py LXDOCX WORKDIR [--soffice SOFFICE]: renders HTML values (a whole paragraph with {{p x|html }},
inline runs with {{ x|html }}) and pictures (a file of the resource folder and a data URL, each
{{ x|image(width=...) }}) with `LXDOCX render`, checks with python-docx what they became, and with --soffice
that LibreOffice opens the result and shows the words and both pictures. Exits 1 on any fault."""
import argparse
import base64
import os
import subprocess
import sys
import tempfile

from needs import require

require(("docx", "python3-docx"))

import docx  # noqa: E402
from make_templates import Template  # noqa: E402
from png import solid_png  # noqa: E402
from render_cli import render  # noqa: E402
from stories import W, story_lines  # noqa: E402

WP = "{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}"
EMU_PER_CM = 360000
TAG_STYLE = "BodyText"
INTRO_HTML = ("<h2>Quarterly figures</h2><p>Revenue rose <b>sharply</b> in <i>spring</i>.</p>"
              "<ul><li>Alpha item</li><li>Beta item</li></ul>"
              "<table><tr><td>Cellone</td><td>Celltwo</td></tr></table>")
INLINE_HTML = "<b>boldword</b> and <span style=\"color:#ff0000\">redword</span>"
WORDS = ["Quarterly figures", "sharply", "Alpha item", "Beta item", "Cellone", "Celltwo", "boldword", "redword",
         "Closing line"]
PICTURES = {"logo": 4.0, "dot": 2.0}  # value name: width in cm


def write_template(workdir):
    res = os.path.join(workdir, "resources")
    os.makedirs(res, exist_ok=True)
    with open(os.path.join(res, "logo.png"), "wb") as f:
        f.write(solid_png(80, 40, (30, 90, 200)))
    dot = "data:image/png;base64," + base64.b64encode(solid_png(20, 20, (220, 120, 0))).decode()
    t = Template("rich", {"intro": INTRO_HTML, "snippet": INLINE_HTML, "logo": "logo.png", "dot": dot})
    b = t.b
    t.body = [
        b.p("Report", style="Heading1"),
        b.p("{{p intro|html }}", style=TAG_STYLE),
        b.p("Inline: {{ snippet|html }} end."),
        b.p('Logo {{ logo|image(width="4cm") }} and dot {{ dot|image(width="2cm") }}.'),
        b.p("Closing line."),
    ]
    t.save(workdir)
    base = os.path.join(workdir, "rich")
    return base + ".docx", base + ".json", res


def structure_faults(path):
    """What python-docx finds wrong in the rendered document."""
    d = docx.Document(path)
    faults = []
    lines = story_lines(path)
    text = "\n".join(lines)
    faults += ["a tag is left: %r" % l for l in lines if "{{" in l or "{%" in l]
    faults += ["%r is missing" % w for w in WORDS if w not in text]
    revenue = next((p for p in d.paragraphs if "Revenue rose" in p.text), None)
    if revenue is not None and revenue.style.style_id != TAG_STYLE:
        faults.append("the HTML paragraph has style %s, not the tag paragraph's %s"
                      % (revenue.style.style_id, TAG_STYLE))
    inline = next((p for p in d.paragraphs if "boldword" in p.text), None)
    if inline is not None:
        if inline.text != "Inline: boldword and redword end.":
            faults.append("the inline HTML paragraph reads %r" % inline.text)
        runs = {r.text.strip(): r for r in inline.runs}
        if "boldword" not in runs or not runs["boldword"].bold:
            faults.append("boldword is not a bold run of its own")
        red = runs.get("redword")
        if red is None or str(red.font.color.rgb or "").upper() != "FF0000":
            faults.append("redword is not a red run of its own")
    empty = [p for p in d.paragraphs if not p.text.strip() and p._p.find(".//" + W + "drawing") is None]
    if empty:
        faults.append("%d empty paragraph(s) left in the body (styles %s): the template has none"
                      % (len(empty), ", ".join(p.style.style_id for p in empty)))
    extents = [int(e.get("cx")) for e in d.element.body.iter(WP + "extent")]
    wanted = [round(cm * EMU_PER_CM) for cm in PICTURES.values()]
    if sorted(extents) != sorted(wanted):
        faults.append("picture widths %r EMU, expected %r" % (extents, wanted))
    media = [p for p in d.part.package.parts if str(p.partname).startswith("/word/media/")]
    if len(media) != len(PICTURES):
        faults.append("%d pictures in the package, expected %d" % (len(media), len(PICTURES)))
    return faults


def libreoffice_faults(path, soffice, workdir):
    """What is missing when LibreOffice prints the document to PDF."""
    pdf = os.path.splitext(path)[0] + ".pdf"
    if os.path.exists(pdf):
        os.remove(pdf)  # a PDF of an earlier run must not stand in for this one
    with tempfile.TemporaryDirectory(prefix="lo-tpl-") as profile:
        subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "pdf",
                        "--outdir", workdir, path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)
    if not os.path.exists(pdf):
        return ["LibreOffice wrote no PDF"]
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], stdout=subprocess.PIPE,
                          universal_newlines=True).stdout
    faults = ["LibreOffice does not show %r" % w for w in WORDS if w not in text]
    listing = subprocess.run(["pdfimages", "-list", pdf], stdout=subprocess.PIPE,
                             universal_newlines=True).stdout.splitlines()[2:]
    if len(listing) < len(PICTURES):
        faults.append("LibreOffice shows %d pictures, expected %d" % (len(listing), len(PICTURES)))
    return faults


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("lxdocx")
    parser.add_argument("workdir")
    parser.add_argument("--soffice")
    args = parser.parse_args(argv)
    os.makedirs(args.workdir, exist_ok=True)
    template, data, res = write_template(args.workdir)
    out = os.path.join(args.workdir, "rich.out.docx")
    done = render(args.lxdocx, template, data, out, resources=res)
    if done.returncode != 0:
        print("lxdocx render failed (exit %d): %s" % (done.returncode, done.stderr.strip()))
        return 1
    faults = structure_faults(out)
    if args.soffice:
        faults += libreoffice_faults(out, args.soffice, args.workdir)
    else:
        print("LibreOffice part skipped: no soffice given")
    for fault in faults:
        print("  " + fault)
    print("HTML and picture values: %s" % ("FAULT" if faults else "render and show"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
