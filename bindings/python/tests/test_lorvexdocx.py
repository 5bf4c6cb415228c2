"""The Python package over the C interface: reading, editing, saving, and every failure with the library's text."""
import os
import re
import shutil
import zipfile
from pathlib import Path

import pytest

import lorvexdocx
from conftest import PACKAGE_DIR, SAMPLE


@pytest.fixture
def sample(tmp_path):
    return shutil.copy(SAMPLE, tmp_path / "sample.docx")


def test_reads_edits_and_saves_every_setting(sample, tmp_path):
    with lorvexdocx.open(sample) as doc:
        assert dict(doc.properties) == {"title": "Field Notes on Lichens", "author": "LorvexDocx samples", "subject": "",
                                        "description": "", "keywords": "lichens, field notes", "category": ""}
        assert doc.margins == lorvexdocx.Margins(1417, 1134, 1134, 1134, 709, 709, 0, False)
        assert "Field Notes on Lichens" in doc.header("default") and doc.footer("first") is None
        doc.margins = doc.margins._replace(left=1800, gutter=20, mirror=True)
        doc.title_page = doc.even_and_odd = True
        doc.set_page_number_format("lowerRoman", start=3)
        doc.set_header("first", lorvexdocx.build_hf_xml("header", "{TITLE}", "right"))
        doc.set_footer("even", lorvexdocx.build_hf_xml("footer", "Page {PAGE} of {NUMPAGES}", "center"))
        doc.properties["author"] = "Ann Smith"
        del doc.properties["keywords"]
        doc.set_body_html("<h1>New body</h1><p>One paragraph.</p>")
        doc.save_as(tmp_path / "edited.docx")
        doc.save()  # still to its own path
    assert doc.closed
    for path in (sample, tmp_path / "edited.docx"):
        with lorvexdocx.open(str(path)) as again:
            assert again.margins == lorvexdocx.Margins(1417, 1134, 1800, 1134, 709, 709, 20, True)
            assert again.title_page and again.even_and_odd
            assert "DOCPROPERTY" in again.header("first") and again.header(2) == again.header("first")
            assert "NUMPAGES" in again.footer(1)
            assert (again.properties["author"], again.properties["keywords"]) == ("Ann Smith", "")


def test_module_functions_and_paths_of_every_kind(tmp_path):
    lorvexdocx.from_html("<p>From <b>HTML</b></p>", tmp_path / "html.docx")
    lorvexdocx.resave(os.fsencode(tmp_path / "html.docx"), str(tmp_path / "resaved.docx"))
    with lorvexdocx.blank(os.fsencode(tmp_path / "blank.docx")) as doc:
        assert doc.margins.left == 1440
        doc.properties["title"] = "Blank"
        doc.set_page_number_format("decimal")  # no first number
        doc.save()
        doc.save_as(os.fsencode(tmp_path) + b"/caf\xe9.docx")  # a name that is no UTF-8 keeps its bytes
    assert sorted(os.listdir(os.fsencode(tmp_path))) == [b"blank.docx", b"caf\xe9.docx", b"html.docx", b"resaved.docx"]
    for path in (Path(tmp_path / "blank.docx"), os.fsencode(tmp_path) + b"/caf\xe9.docx"):
        with lorvexdocx.open(path) as doc:
            assert doc.properties["title"] == "Blank"
    assert lorvexdocx.library_version() == lorvexdocx.__version__
    pyproject = (PACKAGE_DIR / "pyproject.toml").read_text()
    assert re.search(r'^version = "(.*)"$', pyproject, re.M).group(1) == lorvexdocx.__version__


def test_every_failure_raises_the_library_text(sample, tmp_path):
    missing, nowhere = tmp_path / "missing.docx", tmp_path / "no" / "x.docx"
    doc, error = lorvexdocx.open(sample), lorvexdocx.LorvexDocxError
    for call, kind, text in [
            (lambda: lorvexdocx.open(missing), error,
             "^Cannot open: %s: No such file or directory$" % re.escape(str(missing))),
            (lambda: lorvexdocx.resave(missing, tmp_path / "out.docx"), error, "^Cannot open: "),
            (lambda: lorvexdocx.from_html("<p>x</p>", nowhere), error, "^Cannot write to: " + re.escape(str(nowhere))),
            (lambda: lorvexdocx.blank(nowhere), error, "^Cannot write to: "),
            (lambda: doc.properties.__setitem__("creator", "x"), lorvexdocx.UnknownPropertyError,
             "^Unknown document property: creator$"),
            (lambda: doc.properties["Title"], KeyError, ""),
            (lambda: doc.properties["Title"], KeyError, ""),  # the same failure twice is still seen
            (lambda: doc.set_header("default", "<w:hdr>"), error, "^The header XML is not well-formed: XML parse error"),
            (lambda: doc.set_footer("even", b""), error, "^No footer XML given$"),
            (lambda: doc.save_as(nowhere), error, "^Cannot write to: "),
            (lambda: doc.header("odd"), ValueError, ""),
            (lambda: lorvexdocx.build_hf_xml("page", "x"), ValueError, "")]:
        with pytest.raises(kind, match=text):
            call()
    assert "Title" not in doc.properties and doc.properties["title"] == "Field Notes on Lichens"
    doc.close()
    doc.close()
    with pytest.raises(lorvexdocx.LorvexDocxError, match="^The document is closed$"):
        doc.margins


def test_replace_counts_and_failures_raise_their_kind(sample, tmp_path):
    with lorvexdocx.open(sample) as doc:
        assert doc.replace("LICHENS", "Mosses", match_case=True) == 0
        assert doc.replace("lichens", "Mosses") == 3  # the title, a paragraph, the header
        assert "Mosses" in doc.header("default") and "Lichens" not in doc.header("default")
        assert doc.replace(r"(\w+)-facing", "\\1\tfacing\nside", regex=True) == 1
        assert doc.replace("tree", "Oak", whole_word=True) == 1
        with pytest.raises(lorvexdocx.RefusedInputError, match="^No text to find given$"):
            doc.replace("", "x")
        with pytest.raises(lorvexdocx.RefusedInputError, match="^Invalid regular expression: "):
            doc.replace("(", "x", regex=True)
        with pytest.raises(lorvexdocx.NotFoundError, match="^Unknown document property: creator$"):
            doc.properties["creator"] = "x"
        doc.save_as(tmp_path / "replaced.docx")
    assert issubclass(lorvexdocx.RefusedInputError, lorvexdocx.LorvexDocxError)
    with pytest.raises(lorvexdocx.LorvexDocxError) as missing:
        lorvexdocx.open(tmp_path / "missing.docx")
    assert type(missing.value) is lorvexdocx.LorvexDocxError  # an I/O failure has no kind of its own
    with zipfile.ZipFile(tmp_path / "replaced.docx") as z:
        body = z.read("word/document.xml").decode()
    assert "Lichens" not in body and "<w:t>Mosses</w:t><w:t xml:space=\"preserve\"> are </w:t>" in body and "<w:t>Oak</w:t>" in body
    assert ('<w:t>North</w:t><w:tab/><w:t>facing</w:t><w:br/><w:t>side</w:t>'
            '<w:t xml:space="preserve"> sides in damp climates</w:t>') in body
