"""pip builds the library and installs the package into a fresh virtual environment of Debian's python3, offline,
from the repository's root; the README's example runs there. The wheel built from bindings/python holds the library,
which finds everything it needs in the system's folders (no run path into the build tree)."""
import os
import re
import shutil
import subprocess
import zipfile

import lorvexdocx
from conftest import PACKAGE_DIR, REPOSITORY, SAMPLE

SYSTEM_PYTHON = "/usr/bin/python3"


def pip(venv, *args, env):
    subprocess.run([str(venv / "bin" / "python"), "-m", "pip", *args], check=True, env=env)


def test_pip_installs_offline_into_a_fresh_venv_and_the_wheel_needs_only_the_system(tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([SYSTEM_PYTHON, "-m", "venv", str(venv)], check=True)  # no system site packages
    # Nothing of the test's environment (LORVEXDOCX_LIBRARY above all); no index, so nothing can be fetched.
    env = {"PATH": os.environ["PATH"], "HOME": str(tmp_path), "PIP_NO_INDEX": "1", "PIP_DISABLE_PIP_VERSION_CHECK": "1"}
    pip(venv, "install", "--quiet", str(REPOSITORY), env=env)

    work = tmp_path / "work"
    work.mkdir()
    shutil.copy(SAMPLE, work / "report.docx")
    example = re.search(r"```python\n(.*?)```", (REPOSITORY / "README.md").read_text(), re.S).group(1)
    python = str(venv / "bin" / "python")
    run = subprocess.run([python, "-c", example], cwd=work, env=env, capture_output=True, text=True)
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout.splitlines() == ["Field Notes on Lichens 2.0",
                                       "cannot open: Cannot open: missing.docx: No such file or directory"]
    loaded = subprocess.run([python, "-c", "import lorvexdocx._library as l; print(l.library()._name)"], cwd=work,
                            env=env, capture_output=True, text=True, check=True).stdout.strip()
    assert loaded.startswith(str(venv)) and loaded.endswith("/lorvexdocx/libLorvexDocx.so.1")
    with lorvexdocx.open(work / "report-edited.docx") as doc:
        section = doc.sections[0]
        assert doc.properties["title"] == "Quarterly report"
        assert (section.left_margin, section.right_margin) == (lorvexdocx.Cm(3),) * 2
        assert section.footer.text == "Page 1 of 1"

    pip(venv, "wheel", "--quiet", "--no-deps", "-w", str(tmp_path / "dist"), str(PACKAGE_DIR), env=env)
    wheel, = (tmp_path / "dist").glob("lorvexdocx-*-py3-none-linux_*.whl")
    with zipfile.ZipFile(wheel) as z:
        names = z.namelist()
        assert {"lorvexdocx/__init__.py", "lorvexdocx/bulk.py", "lorvexdocx/py.typed",
                "lorvexdocx/libLorvexDocx.so.1"} <= set(names)
        assert not any("tests/" in n or "__pycache__" in n for n in names)
        z.extract("lorvexdocx/libLorvexDocx.so.1", tmp_path / "unpacked")
    library = tmp_path / "unpacked" / "lorvexdocx" / "libLorvexDocx.so.1"
    dynamic = subprocess.run(["readelf", "-d", str(library)], capture_output=True, text=True, check=True).stdout
    assert "RPATH" not in dynamic and "RUNPATH" not in dynamic
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.*)\]", dynamic)
    assert {"libQt6Core.so.6", "libQt6Gui.so.6", "libQt6Xml.so.6", "libz.so.1"} <= set(needed)
    resolved = subprocess.run(["ldd", str(library)], capture_output=True, text=True, check=True).stdout
    assert "not found" not in resolved and str(REPOSITORY) not in resolved
