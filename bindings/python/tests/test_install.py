"""pip installs the package offline into a venv seeing the system's packages; the README's example runs there."""
import os
import re
import shutil
import subprocess
import sys

import lorvexdocx
from conftest import PACKAGE_DIR, REPOSITORY, SAMPLE


def test_installs_offline_and_runs_the_readme_example(tmp_path):
    source = tmp_path / "source"  # pip builds in the folder it is given
    shutil.copytree(PACKAGE_DIR, source, ignore=shutil.ignore_patterns("tests", "__pycache__", "build", "*.egg-info"))
    venv, env = tmp_path / "venv", dict(os.environ, PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_NO_INDEX="1")
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    python = str(venv / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-build-isolation", str(source)], check=True, env=env)
    work = tmp_path / "work"
    work.mkdir()
    shutil.copy(SAMPLE, work / "report.docx")
    example = re.search(r"```python\n(.*?)```", (REPOSITORY / "README.md").read_text(), re.S).group(1)
    run = subprocess.run([python, "-c", example], cwd=work, env=env, capture_output=True, text=True)
    assert (run.returncode, run.stderr) == (0, "")
    assert run.stdout.splitlines() == ["Field Notes on Lichens 1134",
                                       "cannot open: Cannot open: missing.docx: No such file or directory"]
    where = subprocess.run([python, "-c", "import lorvexdocx; print(lorvexdocx.__file__)"], cwd=work, env=env,
                           capture_output=True, text=True, check=True)
    assert where.stdout.startswith(str(venv))
    with lorvexdocx.open(work / "report-edited.docx") as doc:
        assert doc.properties["title"] == "Quarterly report"
        assert (doc.margins.left, doc.margins.right) == (1800, 1800)
        assert "NUMPAGES" in doc.footer()
