"""Reading through the Python package: every corpus document reads as `lxdocx text`, `to-html` and `preview` show
it; a failed preview raises the library's text, and render given a path previews as before."""
import json
import os
import re
import subprocess
from pathlib import Path

import pytest

import lorvexdocx
from conftest import SAMPLE

CLI = os.environ.get("LXDOCX_CLI", "")
CORPUS = Path(os.environ.get("LXDOCX_CORPUS_DIR") or "/nonexistent")


def cli(*args: str) -> str:
    return subprocess.run([CLI, *args], capture_output=True, check=False).stdout.decode("utf-8", "replace")


@pytest.mark.skipif(not CLI or not CORPUS.is_dir(), reason="needs lxdocx (LXDOCX_CLI) and the corpus (LXDOCX_CORPUS_DIR)")
def test_corpus_reads_as_the_command_line_shows_it(tmp_path):
    files = sorted(str(p) for p in CORPUS.glob("*.docx"))
    texts = re.split(r"^== ", cli("text", *files), flags=re.M)[1:]
    reports = [json.loads(line) for line in cli("text", "--json", "--pages", *files).split("\n") if line]
    assert len(texts) == len(reports) == len(files)
    for path, text, report in zip(files, texts, reports):
        with lorvexdocx.open(path) as doc:
            assert path + "\n" + doc.text() == text, path
            assert doc.text_report(headers_footers=True) == report, path
            assert doc.to_html() == cli("to-html", path), path
            assert doc.preview(tmp_path / "pages.pdf").pages == report["pages"], path


def test_preview_writes_pages_and_says_why_not(tmp_path):
    with lorvexdocx.open(SAMPLE) as doc:
        assert doc.preview(tmp_path / "one.PNG") == lorvexdocx.Rendered(1, False, False)
        assert (tmp_path / "one.PNG").read_bytes().startswith(b"\x89PNG")
        assert doc.render(str(tmp_path / "two.png")) == lorvexdocx.Rendered(1, False, False)  # render of a path
        with pytest.raises(lorvexdocx.LorvexDocxError, match="must end in .pdf or .png$"):
            doc.preview(tmp_path / "page.svg")
        with pytest.raises(lorvexdocx.LorvexDocxError, match="^Cannot write to: .*No such file or directory$"):
            doc.render(tmp_path / "no" / "page.pdf")
