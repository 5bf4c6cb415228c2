#!/usr/bin/python3
"""render_failures.py LXDOCX WORKDIR: templates and data that `LXDOCX render` must refuse: malformed tags,
bad JSON, an undefined name under --strict, pictures missing or outside the resource folder. Each must exit
non-zero with a text on stderr naming what is wrong, leave an absent output absent and an existing one as it
was, and leave the template as it was. Prints each case; exits 1 when one does not hold."""
import json
import os
import sys

from needs import require

require(("docx", "python3-docx"))

from make_templates import Template  # noqa: E402
from png import solid_png  # noqa: E402
from render_cli import render  # noqa: E402
from stories import story_lines  # noqa: E402

PRIOR_OUTPUT = b"an output the failed render must leave alone"


class Case:
    """A template of `paragraphs` (a table when an item is a list of rows), its data (a dict, or the raw text
    of a data file), the options, and words the failure text must hold (each: one of a tuple of words)."""

    def __init__(self, name, paragraphs, data, named, strict=False, resources=True):
        self.name, self.paragraphs, self.data = name, paragraphs, data
        self.named, self.strict, self.resources = named, strict, resources


CASES = [
    Case("if_without_endif", ["Before the tag.", "Offer {% if vip %}gold rate", "After."], {"vip": True},
         [("if",), ("Offer", "gold rate")]),
    Case("unclosed_expression", ["Dear {{ customer.name , welcome"], {"customer": {"name": "Ada"}},
         [("{{", "customer"), ("Dear", "welcome")]),
    Case("endfor_without_for", ["Items:", "{%p endfor %}", "Done."], {}, [("endfor",)]),
    Case("row_loop_without_end", [[["Name"], ["{%tr for r in rows %}"], ["{{ r }}"]]], {"rows": ["a", "b"]},
         [("for",), ("rows",)]),
    Case("else_without_if", ["Status {% else %} unknown"], {}, [("else",)]),
    Case("bad_json", ["Hello {{ name }}"], '{"name": "Ada", }', [("json",)]),
    Case("json_not_an_object", ["Hello {{ name }}"], '["Ada"]', [("json", "object")]),
    Case("strict_undefined", ["Hello {{ ghost_name }} and {{ known }}.", "Footnote {{ other.ghost }}"],
         {"known": "Bea", "other": {}}, [("ghost_name",), ("Hello",), ("other.ghost", "ghost")], strict=True),
    Case("picture_outside_folder", ['{{ pic|image(width="4cm") }}'], {"pic": "../outside.png"},
         [("outside.png",)]),
    Case("picture_absolute_path", ['{{ pic|image(width="4cm") }}'], {"pic": "@OUTSIDE@"}, [("outside.png",)]),
    Case("picture_symlink_out", ['{{ pic|image(width="4cm") }}'], {"pic": "link.png"}, [("link.png",)]),
    Case("picture_missing", ['{{ pic|image(width="4cm") }}'], {"pic": "absent.png"}, [("absent.png",)]),
    # Without --resources the folder is the data file's own, where inside.png is not.
    Case("picture_default_folder", ['{{ pic|image(width="4cm") }}'], {"pic": "inside.png"},
         [("inside.png",)], resources=False),
]


def write_case(case, folder, outside):
    """The template and data file of `case` in `folder`."""
    t = Template(case.name, {})
    t.body = [t.b.table(item) if isinstance(item, list) else t.b.p(item) for item in case.paragraphs]
    t.save(folder)  # also writes NAME.json and NAME.marks.json, the data replaced below
    data = case.data if isinstance(case.data, str) else json.dumps(case.data).replace("@OUTSIDE@", outside)
    with open(os.path.join(folder, case.name + ".json"), "w", encoding="utf-8") as f:
        f.write(data)
    return os.path.join(folder, case.name + ".docx"), os.path.join(folder, case.name + ".json")


def resource_folder(workdir):
    """A resource folder holding inside.png and link.png (a link to ../outside.png); the outside file."""
    res = os.path.join(workdir, "resources")
    os.makedirs(res, exist_ok=True)
    outside = os.path.join(workdir, "outside.png")
    for path in (outside, os.path.join(res, "inside.png")):
        with open(path, "wb") as f:
            f.write(solid_png(8, 8, (200, 30, 30)))
    link = os.path.join(res, "link.png")
    if not os.path.lexists(link):
        os.symlink(outside, link)
    return res, outside


def check(lxdocx, case, workdir, res, outside):
    """The faults of one case."""
    template, data = write_case(case, workdir, outside)
    with open(template, "rb") as f:
        template_bytes = f.read()
    resources = res if case.resources else None
    out = os.path.join(workdir, case.name + ".out.docx")
    if os.path.exists(out):
        os.remove(out)
    faults = []
    done = render(lxdocx, template, data, out, strict=case.strict, resources=resources)
    message = done.stderr.strip()
    if done.returncode == 0:
        faults.append("succeeded (it must fail)")
    elif not message:
        faults.append("failed (exit %d) with nothing on stderr" % done.returncode)
    for words in case.named:
        if message and not any(w.lower() in message.lower() for w in words):
            faults.append("the failure text names none of %r" % (words,))
    if os.path.exists(out):
        faults.append("left an output file behind")
    with open(out, "wb") as f:
        f.write(PRIOR_OUTPUT)
    again = render(lxdocx, template, data, out, strict=case.strict, resources=resources)
    with open(out, "rb") as f:
        if again.returncode == 0 or f.read() != PRIOR_OUTPUT:
            faults.append("changed an existing output file")
    with open(template, "rb") as f:
        if f.read() != template_bytes:
            faults.append("changed the template")
    return message, faults


def lenient_render_faults(lxdocx, workdir):
    """Without --strict the undefined names of strict_undefined render empty."""
    case = next(c for c in CASES if c.name == "strict_undefined")
    template, data = write_case(case, workdir, "")
    out = os.path.join(workdir, "lenient.out.docx")
    done = render(lxdocx, template, data, out)
    if done.returncode != 0:
        return ["without --strict: failed (exit %d): %s" % (done.returncode, done.stderr.strip())]
    got = story_lines(out)
    want = ["body: Hello  and Bea.", "body: Footnote "]
    return [] if got == want else ["without --strict: text %r, expected %r" % (got, want)]


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    lxdocx, workdir = argv[1], argv[2]
    os.makedirs(workdir, exist_ok=True)
    res, outside = resource_folder(workdir)
    failed = 0
    for case in CASES:
        message, faults = check(lxdocx, case, workdir, res, outside)
        print("%-24s %s  | %s" % (case.name, "refused" if not faults else "FAULT", message.replace("\n", " / ")))
        for fault in faults:
            print("  " + fault)
        failed += bool(faults)
    lenient = lenient_render_faults(lxdocx, workdir)
    print("%-24s %s" % ("lenient_undefined", "renders empty" if not lenient else "FAULT"))
    for fault in lenient:
        print("  " + fault)
    failed += bool(lenient)
    print("%d of %d cases hold" % (len(CASES) + 1 - failed, len(CASES) + 1))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
