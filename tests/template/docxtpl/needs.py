"""Skips a check (exit 77, which ctest reads as skipped) when a Python module it needs is missing."""
import importlib
import sys

SKIP = 77


def require(*modules):
    """Imports each (module, Debian package) pair; on the first missing one says so and exits 77."""
    for module, package in modules:
        try:
            importlib.import_module(module)
        except ImportError:
            print("skipped: %s cannot import %s (Debian: %s)" % (sys.executable, module, package))
            sys.exit(SKIP)
