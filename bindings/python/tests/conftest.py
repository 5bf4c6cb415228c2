"""The tests run against the library built in the tree (LORVEXDOCX_LIBRARY)
and the package's source folder."""
import os
import sys
from pathlib import Path

import pytest

PACKAGE_DIR = Path(__file__).resolve().parents[1]
REPOSITORY = PACKAGE_DIR.parents[1]
SAMPLE = REPOSITORY / "samples" / "sample.docx"
sys.path.insert(0, str(PACKAGE_DIR))


def pytest_configure(config):
    if not os.environ.get("LORVEXDOCX_LIBRARY"):
        raise pytest.UsageError("set LORVEXDOCX_LIBRARY to the built libLorvexDocx.so")
