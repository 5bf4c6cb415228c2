"""The tests run against the library LORVEXDOCX_LIBRARY names and the package's source folder."""
import sys
from pathlib import Path

PACKAGE_DIR = Path(__file__).resolve().parents[1]
REPOSITORY = PACKAGE_DIR.parents[1]
SAMPLE = REPOSITORY / "samples" / "sample.docx"
sys.path.insert(0, str(PACKAGE_DIR))


def make_template(path, paragraphs):
    """A template made with python-docx: one paragraph a string, a table for a list of rows."""
    import docx
    document = docx.Document()
    for item in paragraphs:
        if isinstance(item, list):
            table = document.add_table(rows=len(item), cols=len(item[0]))
            for cells, row in zip(item, table.rows):
                for text, cell in zip(cells, row.cells):
                    cell.text = text
        else:
            document.add_paragraph(item)
    document.save(path)
    return path


def paragraphs_of(path):
    """The texts of a document's body paragraphs as python-docx reads them."""
    import docx
    return [p.text for p in docx.Document(str(path)).paragraphs]
