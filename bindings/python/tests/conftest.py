"""The tests run against the library LORVEXDOCX_LIBRARY names and the package's source folder."""
import sys
from pathlib import Path

PACKAGE_DIR = Path(__file__).resolve().parents[1]
REPOSITORY = PACKAGE_DIR.parents[1]
SAMPLE = REPOSITORY / "samples" / "sample.docx"
sys.path.insert(0, str(PACKAGE_DIR))
