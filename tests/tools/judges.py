"""Steps the test tools share: the corpus's files, LibreOffice's conversions, Python's zip check, and the
names of WordprocessingML that python-docx leaves to its callers."""
import os
import shutil
import subprocess
import tempfile
import zipfile

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"


def local(el):
    """The local name of an element ("" for comments and the like)."""
    return el.tag.rsplit("}", 1)[-1] if isinstance(el.tag, str) else ""


def w_text(el):
    """The text of the w:t elements below `el`."""
    return "".join(t.text or "" for t in el.iter(W + "t"))


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
    profile = tempfile.mkdtemp(prefix="lo-profile-")
    try:
        subprocess.run([program, "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", target,
                        "--outdir", outdir] + files, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=1800, check=False)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return outdir


def converted(outdir, source, ext):
    """The path `convert` gave the conversion of `source` to `ext`."""
    return os.path.join(outdir, os.path.splitext(os.path.basename(source))[0] + "." + ext)


def read_text(path):
    """A text file LibreOffice wrote (UTF-8 with a byte order mark)."""
    with open(path, encoding="utf-8-sig", errors="replace") as f:
        return f.read()
