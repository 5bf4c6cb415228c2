"""Sections through the Python package: lengths, page size and orientation, margins that change alone, headers and
footers linked to the previous section, and bad indexes; python-docx reads the edits back."""
import zipfile

import docx
import pytest

import lorvexdocx

W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def _package(path, body, extra=()):
    """A package whose body is `body` (with w and r bound), and `extra` parts."""
    types = ('<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" '
             'ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" '
             'ContentType="application/xml"/><Override PartName="/word/document.xml" ContentType="application/'
             'vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>')
    rels = ('<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship '
            'Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" '
            'Target="word/document.xml"/></Relationships>')
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("[Content_Types].xml", types)
        z.writestr("_rels/.rels", rels)
        z.writestr("word/document.xml", f'<w:document xmlns:w="{W}" xmlns:r="{R}"><w:body>{body}</w:body></w:document>')
        for name, data in extra:
            z.writestr(name, data)
    return path


TWO = ('<w:p><w:pPr><w:sectPr><w:pgSz w:w="12240" w:h="15840"/><w:pgMar w:top="1440" w:bottom="-1710" '
       'w:left="1800" w:right="1800"/></w:sectPr></w:pPr><w:r><w:t>one</w:t></w:r></w:p>'
       '<w:sectPr><w:pgMar w:top="720" w:bottom="720" w:left="720" w:right="720"/></w:sectPr>')


def test_lengths_convert_to_twips():
    assert (lorvexdocx.Inches(1), lorvexdocx.Cm(2.54), lorvexdocx.Mm(25.4), lorvexdocx.Pt(72),
            lorvexdocx.Twips(1440)) == (1440,) * 5
    assert lorvexdocx.Cm(2).cm == pytest.approx(2, abs=0.001) and lorvexdocx.Twips(30).pt == 1.5


def test_sections_read_and_change_one_value_at_a_time(tmp_path):
    path = _package(tmp_path / "two.docx", TWO)
    with lorvexdocx.open(path) as doc:
        first, last = doc.sections[0], doc.sections[-1]
        assert len(doc.sections) == 2 and last.index == 1
        assert (first.top_margin, first.bottom_margin, first.header_distance) == (1440, -1710, 709)
        assert first.page_size == (12240, 15840) and first.orientation == lorvexdocx.PORTRAIT
        with pytest.raises(lorvexdocx.LorvexDocxError, match="Section 2 \\(index 1\\) gives no page size"):
            last.page_size
        first.top_margin = lorvexdocx.Cm(2)
        first.orientation = lorvexdocx.LANDSCAPE
        first.page_size = (first.page_height, first.page_width)
        first.footer.xml = lorvexdocx.build_hf_xml("footer", "First {PAGE}", "center")
        assert first.footer.text == "First 1" and last.footer.text == "First 1"  # linked to the previous
        assert last.footer.part_name == first.footer("default").part_name == "word/footer1.xml"
        assert first.header.xml is None and first.header.text == ""
        first.first_page_header.xml = lorvexdocx.build_hf_xml("header", "Cover", "right")
        assert first.header("first").text == "Cover" and first.even_page_header.xml is None
        assert repr(last.first_page_footer) == "<first footer of section 1>"
        doc.core_properties.title = "Two sections"
        assert doc.properties["title"] == doc.core_properties.title == "Two sections"
        with pytest.raises(AttributeError):
            doc.core_properties.creator = "x"
        doc.save_as(tmp_path / "out.docx")
    written = zipfile.ZipFile(tmp_path / "out.docx").read("word/document.xml").decode()
    assert 'w:header=' not in written and written.endswith(TWO[TWO.index("</w:p>") + 6:] + "</w:body></w:document>")
    read = docx.Document(str(tmp_path / "out.docx")).sections
    assert (read[0].top_margin.twips, read[0].bottom_margin.twips, read[0].page_width.twips) == (1134, -1710, 15840)
    assert int(read[0].orientation) == 1 and read[0].footer.paragraphs[0].text == "First 1"


def test_bad_indexes_and_values_raise_the_library_text(tmp_path):
    with lorvexdocx.open(_package(tmp_path / "two.docx", TWO)) as doc:
        with pytest.raises(IndexError):
            doc.sections[2]
        with pytest.raises(ValueError):
            doc.sections[0].orientation = "sideways"
        with pytest.raises(lorvexdocx.LorvexDocxError, match="must be above 0"):
            doc.sections[0].page_width = 0
        assert doc.sections[0].page_width == 12240
