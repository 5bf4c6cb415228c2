"""Loading libLorvexDocx and declaring the C functions it exports."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from pathlib import Path
from typing import List, Optional

SONAME = "libLorvexDocx.so.1"
#: The library pip put inside the package when it built it.
BUNDLED = Path(__file__).resolve().parent / SONAME

_handle = ctypes.c_void_p
_int_p = ctypes.POINTER(ctypes.c_int)

# name: (result type, argument types)
_PROTOTYPES = {
    "lxDocx_init": (None, []),
    "lxDocx_version": (ctypes.c_char_p, []),
    "lxDocx_error": (ctypes.c_char_p, [_handle]),
    "lxDocx_error_code": (ctypes.c_int, [_handle]),
    "lxDocx_open": (_handle, [ctypes.c_char_p]),
    "lxDocx_create_blank": (_handle, [ctypes.c_char_p]),
    "lxDocx_copy": (_handle, [_handle]),
    "lxDocx_close": (None, [_handle]),
    "lxDocx_is_valid": (ctypes.c_int, [_handle]),
    "lxDocx_save": (ctypes.c_int, [_handle]),
    "lxDocx_save_as": (ctypes.c_int, [_handle, ctypes.c_char_p]),
    "lxDocx_get_margins": (ctypes.c_int, [_handle] + [_int_p] * 8),
    "lxDocx_set_margins": (ctypes.c_int, [_handle] + [ctypes.c_int] * 8),
    "lxDocx_get_title_page": (ctypes.c_int, [_handle]),
    "lxDocx_set_title_page": (ctypes.c_int, [_handle, ctypes.c_int]),
    "lxDocx_get_even_and_odd": (ctypes.c_int, [_handle]),
    "lxDocx_set_even_and_odd": (ctypes.c_int, [_handle, ctypes.c_int]),
    "lxDocx_set_page_number_format": (ctypes.c_int, [_handle, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_get_header_xml": (ctypes.c_void_p, [_handle, ctypes.c_int, _int_p]),
    "lxDocx_get_footer_xml": (ctypes.c_void_p, [_handle, ctypes.c_int, _int_p]),
    "lxDocx_set_header_xml": (ctypes.c_int, [_handle, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_set_footer_xml": (ctypes.c_int, [_handle, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_section_count": (ctypes.c_int, [_handle]),
    "lxDocx_get_section_margins": (ctypes.c_int, [_handle, ctypes.c_int] + [_int_p] * 8),
    "lxDocx_set_section_margins": (ctypes.c_int, [_handle, ctypes.c_int] + [ctypes.c_int] * 8),
    "lxDocx_get_page_size": (ctypes.c_int, [_handle, ctypes.c_int] + [_int_p] * 3),
    "lxDocx_set_page_size": (ctypes.c_int, [_handle] + [ctypes.c_int] * 4),
    "lxDocx_get_section_title_page": (ctypes.c_int, [_handle, ctypes.c_int]),
    "lxDocx_set_section_title_page": (ctypes.c_int, [_handle, ctypes.c_int, ctypes.c_int]),
    "lxDocx_set_section_page_number_format": (ctypes.c_int, [_handle, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_get_section_header_xml": (ctypes.c_void_p, [_handle, ctypes.c_int, ctypes.c_int, _int_p]),
    "lxDocx_get_section_footer_xml": (ctypes.c_void_p, [_handle, ctypes.c_int, ctypes.c_int, _int_p]),
    "lxDocx_set_section_header_xml": (ctypes.c_int, [_handle, ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_set_section_footer_xml": (ctypes.c_int, [_handle, ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_get_section_hf_part": (ctypes.c_void_p, [_handle, ctypes.c_int, ctypes.c_int, ctypes.c_int]),
    "lxDocx_build_hf_xml": (ctypes.c_void_p, [ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, _int_p]),
    "lxDocx_get_doc_property": (ctypes.c_char_p, [_handle, ctypes.c_char_p]),
    "lxDocx_set_doc_property": (ctypes.c_int, [_handle, ctypes.c_char_p, ctypes.c_char_p]),
    "lxDocx_set_body_html": (ctypes.c_int, [_handle, ctypes.c_char_p]),
    "lxDocx_write_html": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_char_p]),
    "lxDocx_resave_full": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_char_p]),
    "lxDocx_text": (ctypes.c_void_p, [_handle, ctypes.c_int]),
    "lxDocx_to_html": (ctypes.c_void_p, [_handle, ctypes.c_char_p]),
    "lxDocx_render": (ctypes.c_int, [_handle, ctypes.c_char_p]),
    "lxDocx_get_render_result": (ctypes.c_int, [_handle, _int_p, _int_p, _int_p]),
    "lxDocx_replace_text": (ctypes.c_int, [_handle, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, _int_p]),
    "lxDocx_render_template": (ctypes.c_int, [_handle, ctypes.c_char_p, ctypes.c_int]),
    "lxDocx_set_resource_folder": (ctypes.c_int, [_handle, ctypes.c_char_p]),
}

_lock = threading.Lock()
#: Held around the calls without a handle and the reading of their failure: the
#: library keeps that failure's text in one place for the whole process.
handleless_calls = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_started = False


def _candidates() -> List[str]:
    """Where to look: LORVEXDOCX_LIBRARY, else the library inside the package,
    else the one installed on the system."""
    explicit = os.environ.get("LORVEXDOCX_LIBRARY")
    if explicit:
        return [explicit]
    if BUNDLED.is_file():
        return [str(BUNDLED)]
    found = ctypes.util.find_library("LorvexDocx")
    return [found, SONAME] if found and found != SONAME else [SONAME]


def library() -> ctypes.CDLL:
    """The loaded library, with every function declared. Raises OSError
    saying where it looked when it cannot be loaded."""
    global _library
    with _lock:
        if _library is None:
            errors = []
            for candidate in _candidates():
                try:
                    loaded = ctypes.CDLL(candidate)
                except OSError as e:
                    errors.append(str(e))
                    continue
                for name, (restype, argtypes) in _PROTOTYPES.items():
                    function = getattr(loaded, name)
                    function.restype = restype
                    function.argtypes = argtypes
                _library = loaded
                break
            else:
                raise OSError("Cannot load the LorvexDocx library (install the package with pip, which builds it, "
                              "or set LORVEXDOCX_LIBRARY to the path of " + SONAME + "): " + "; ".join(errors))
        return _library


def rich_text_library() -> ctypes.CDLL:
    """The library, started for the calls that build rich text (which need a
    Qt application object; lxDocx_init makes one when the process has none)."""
    global _started
    lib = library()
    with _lock:
        if not _started:
            lib.lxDocx_init()
            _started = True
    return lib
