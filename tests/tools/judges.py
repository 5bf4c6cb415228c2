"""Steps the test tools share: corpus files, LibreOffice's conversions, zip checks, WordprocessingML names and values."""
import os
import subprocess
import tempfile
import zipfile
from pathlib import Path

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"


def val(el, attr="val"):
    """The w: attribute `attr` of `el`; None when there is no `el`."""
    return None if el is None else el.get(W + attr)


def local(el):
    """The local name of an element ("" for comments and the like)."""
    return el.tag.rsplit("}", 1)[-1] if isinstance(el.tag, str) else ""


def w_text(el):
    """The text of the w:t elements below `el`."""
    return "".join(t.text or "" for t in el.iter(W + "t"))


def on(value):
    """An on/off property's w:val: absent, or anything but 0, false and off, is on."""
    return value not in ("0", "false", "off")


def link_target(link, part):
    """The target of a w:hyperlink of `part`: its relationship's, or "#" and the bookmark it names."""
    rid = link.get(R + "id")
    return "#" + (link.get(W + "anchor") or "") if rid is None else part.rels[rid].target_ref


def docx_files(folder):
    """The names of the .docx files of a folder, sorted."""
    return sorted(n for n in os.listdir(folder) if n.endswith(".docx"))


def bad_crc(path):
    """Why Python's zipfile refuses the package's data ("bad CRC in MEMBER"), or None."""
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
    return None if bad is None else "bad CRC in %s" % bad


def convert(files, target, outdir, program="soffice"):
    """Converts `files` to `target` (e.g. "pdf", "txt:Text") into `outdir` in one LibreOffice run with a
    profile of its own."""
    with tempfile.TemporaryDirectory(prefix="lo-profile-") as profile:
        subprocess.run([program, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", target,
                        "--outdir", outdir] + files, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=1800, check=False)
    return outdir


def converted(outdir, source, ext):
    """The path `convert` gave the conversion of `source` to `ext`."""
    return os.path.join(outdir, os.path.splitext(os.path.basename(source))[0] + "." + ext)


def read_text(path):
    """A text file LibreOffice wrote (UTF-8 with a byte order mark)."""
    return Path(path).read_text(encoding="utf-8-sig", errors="replace")
