"""Steps the test tools share: LibreOffice's conversions, and the names of
WordprocessingML that python-docx leaves to its callers."""
import os
import shutil
import subprocess
import tempfile

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"


def local(el):
    """The local name of an element ("" for comments and the like)."""
    return el.tag.rsplit("}", 1)[-1] if isinstance(el.tag, str) else ""


def convert(files, target, outdir, program="soffice"):
    """Converts `files` to `target` (e.g. "pdf", "txt:Text") into `outdir` in
    one LibreOffice run with a profile of its own."""
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
