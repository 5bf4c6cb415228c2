"""Open, edit, fill and save DOCX documents with the LorvexDocx library.

    import lorvexdocx
    from lorvexdocx import Cm

    with lorvexdocx.open("invoice-template.docx") as doc:
        doc.render({"customer": "Ada Lovelace", "items": [{"name": "Tea", "price": "4.50"}]})
        section = doc.sections[0]
        section.left_margin = section.right_margin = Cm(2)
        section.footer.xml = lorvexdocx.build_hf_xml("footer", "Page {PAGE} of {NUMPAGES}", "center")
        doc.core_properties["title"] = "Invoice 1134"
        doc.save_as("invoice-1134.docx")
        doc.preview("invoice-1134.pdf")

The names follow python-docx where it has them: ``doc.sections`` with
``top_margin`` ... ``orientation``, ``section.header`` and ``section.footer``
(objects with ``.text`` and ``.xml``), lengths made with Cm, Mm, Inches, Pt
and Twips (plain ints are twips, 1/1440 inch), ``doc.core_properties`` (also
``doc.properties``), a mapping. Document.render fills a template written in
docxtpl's (Jinja's) tags; lorvexdocx.bulk renders or converts many documents
on a Dask cluster or a local process pool.

Every failure raises LorvexDocxError carrying the library's text, as the
subclass of its kind where it has one: NotFoundError, RefusedInputError,
TemplateError, BusyError. Paths may be str, bytes or os.PathLike; bytes reach
the file system unchanged, so names that are not UTF-8 work.

Threads: the library is safe for one document per thread. Different documents
may be used from different threads at once; one document must not be used by
two threads at once (BusyError is for a call made from inside another call on
the same document, as from a Qt event it lets through).
"""
from __future__ import annotations

import ctypes
import json
import os
from typing import Any, Callable, Dict, Iterator, Mapping, MutableMapping, NamedTuple, Optional, Union, overload

from . import _template
from ._library import handleless_calls, library, rich_text_library
from ._sections import (LANDSCAPE, PORTRAIT, Cm, HeaderFooter, Inches, Length, Mm, Pt, Section, Sections, Twips,
                        kind_number)

__all__ = [
    "LorvexDocxError", "NotFoundError", "RefusedInputError", "TemplateError", "BusyError", "UnknownPropertyError", "Margins", "Document", "DocumentProperties",
    "open", "blank", "from_html", "resave", "build_hf_xml", "library_version", "PROPERTY_KEYS",
    "Rendered",
    "Section", "Sections", "HeaderFooter", "Length", "Twips", "Cm", "Mm", "Inches", "Pt", "PORTRAIT", "LANDSCAPE",
]
__version__ = "1.3.0"

for _public in (Section, Sections, HeaderFooter, Length, Twips, Cm, Mm, Inches, Pt):
    _public.__module__ = __name__  # help() and reprs name them where they are imported from

PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

#: The core properties a document has, in the order the library lists them.
PROPERTY_KEYS = ("title", "author", "subject", "description", "keywords", "category")
# What lxDocx_text adds to the body (LXDOCX_TEXT_* of the C header).
_TEXT_HEADERS_FOOTERS = 1
_TEXT_NOTES = 2
_TEXT_JSON = 4


class LorvexDocxError(Exception):
    """A failure the library reported; ``str(error)`` is the library's text."""


class NotFoundError(LorvexDocxError):
    """What the call names is not there (a property key, a paragraph, a part)."""


class RefusedInputError(LorvexDocxError):
    """An argument or a file's content the library refuses: a broken archive
    or XML, strict markup for an edit, an invalid regular expression."""


class TemplateError(LorvexDocxError):
    """A template that cannot be rendered."""


class BusyError(LorvexDocxError):
    """The document is inside another call."""


# The library's failure codes (LXDOCX_ERR_* of lorvexdocx.h) and their classes;
# the other codes raise LorvexDocxError itself.
_ERRORS_BY_CODE = {1: NotFoundError, 2: RefusedInputError, 3: TemplateError, 4: BusyError}

#: Flags of Document.replace, as lorvexdocx.h names them.
_MATCH_CASE, _WHOLE_WORD, _REGEX = 1, 2, 4


def _error_of(code: int, text: str) -> LorvexDocxError:
    return _ERRORS_BY_CODE.get(code, LorvexDocxError)(text)


class UnknownPropertyError(NotFoundError, KeyError):
    """A property key that is none of PROPERTY_KEYS."""

    def __str__(self) -> str:  # KeyError would quote the text
        return str(self.args[0]) if self.args else ""


class Margins(NamedTuple):
    """Page margins of the last section (see Document.sections for the
    others), in twips; ``mirror`` mirrors them
    on facing pages. Change one field with ``_replace``."""

    top: int
    bottom: int
    left: int
    right: int
    header: int
    footer: int
    gutter: int
    mirror: bool


def _path(path: PathArg) -> bytes:
    """A path as the bytes the file system gets: str through the file system
    encoding, bytes unchanged."""
    return os.fsencode(os.fspath(path))


def _text(text: Union[str, bytes]) -> bytes:
    return text if isinstance(text, bytes) else text.encode("utf-8")


def _decode(raw: bytes) -> str:
    return raw.decode("utf-8", errors="replace")


def _without_handle(call: Callable[[ctypes.CDLL], Any], lib: Optional[ctypes.CDLL] = None) -> Any:
    """Runs a call that takes no document and returns NULL or 0 on failure;
    raises that failure, which the library records for the whole process (so
    such calls run one at a time, each reading its own failure)."""
    lib = lib or library()
    with handleless_calls:
        result = call(lib)
        if not result:
            raise _error_of(lib.lxDocx_error_code(None), _decode(lib.lxDocx_error(None)))
    return result


class DocumentProperties(MutableMapping[str, str]):
    """The six core properties of a document (PROPERTY_KEYS) as a mapping,
    also readable and settable as attributes (``doc.core_properties.title``).
    A property the document does not have reads as ""; deleting one empties
    it. Other keys raise UnknownPropertyError. Changes reach the file at the
    next save."""

    def __init__(self, document: "Document") -> None:
        object.__setattr__(self, "_document", document)

    def __getattr__(self, name: str) -> str:
        if name in PROPERTY_KEYS:
            return self[name]
        raise AttributeError(name)

    def __setattr__(self, name: str, value: str) -> None:
        if name not in PROPERTY_KEYS:
            raise AttributeError(f"{name!r} is not a core property (one of {', '.join(PROPERTY_KEYS)})")
        self[name] = value

    def __getitem__(self, key: str) -> str:
        known = self._checked(key)
        raw = self._document._read(lambda lib, h: lib.lxDocx_get_doc_property(h, _text(key)),
                                   failed=not known, error=None if known else UnknownPropertyError)
        return _decode(raw)

    def __setitem__(self, key: str, value: str) -> None:
        known = self._checked(key)
        self._document._call(lambda lib, h: lib.lxDocx_set_doc_property(h, _text(key), _text(value)),
                             None if known else UnknownPropertyError)

    @staticmethod
    def _checked(key: object) -> bool:
        """Whether `key` is a core property; the library gives the text for
        other strings."""
        if not isinstance(key, str):
            raise KeyError(key)
        return key in PROPERTY_KEYS

    def __delitem__(self, key: str) -> None:
        self[key] = ""

    def __iter__(self) -> Iterator[str]:
        return iter(PROPERTY_KEYS)

    def __len__(self) -> int:
        return len(PROPERTY_KEYS)

    def __contains__(self, key: object) -> bool:
        return key in PROPERTY_KEYS

    def __repr__(self) -> str:
        return f"DocumentProperties({dict(self)!r})"


class Rendered(NamedTuple):
    """What Document.render laid out."""

    pages: int  #: pages written: the PDF's, 1 for a PNG
    page_brought: bool  #: the page was brought within printable sizes
    cut_short: bool  #: more pages than a preview shows: the first ones were written


class Document:
    """An open document, made by open() or blank(); use it as a context
    manager, or call close().

    Attributes: ``path`` (as given), ``sections`` (a sequence of Section),
    ``properties`` / ``core_properties`` (the core properties, a mapping).
    Filling: render(data). Editing: replace(), set_body_html(), the sections'
    lengths and headers and footers. Reading: text(), text_report(),
    to_html(), preview(). Saving: save(), save_as()."""

    def __init__(self, handle: int, path: PathArg) -> None:
        """Takes over a handle of the library (made by open() or blank())."""
        self._handle: Optional[int] = handle
        self.path = path
        self.properties = DocumentProperties(self)
        #: The sections in document order (page size, margins, headers and footers of each).
        self.sections = Sections(self)

    # -- the calls, and turning their failures into exceptions ---------------

    def _live(self) -> int:
        if self._handle is None:
            raise LorvexDocxError("The document is closed")
        return self._handle

    def _error_text(self) -> str:
        return _decode(library().lxDocx_error(self._handle))

    def _failure(self, error=None) -> LorvexDocxError:
        """The handle's last failure as `error`, or as the class of its code."""
        if error is not None:
            return error(self._error_text())
        return _error_of(library().lxDocx_error_code(self._handle), self._error_text())

    def _call(self, call, error=None) -> None:
        """Runs a call whose result is 1 or 0 (a failure, with its text)."""
        handle = self._live()
        if not call(library(), handle):
            raise self._failure(error)

    def _read(self, call, failed: bool = False, error=None):
        """Runs a getter. Its failure shows only as a new error text (the
        handle's text is never cleared); `failed` says it failed anyway."""
        handle = self._live()
        before = self._error_text()
        result = call(library(), handle)
        after = self._error_text()
        if failed or after != before:
            raise self._failure(error)
        return result

    # -- handles and saving ----------------------------------------------------

    def close(self) -> None:
        """Closes the document; calling it again does nothing."""
        if self._handle is not None:
            library().lxDocx_close(self._handle)
            self._handle = None

    @property
    def core_properties(self) -> DocumentProperties:
        """The core properties: python-docx's name for ``properties``."""
        return self.properties

    @property
    def closed(self) -> bool:
        """Whether close() was called."""
        return self._handle is None

    def __enter__(self) -> "Document":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    def save(self) -> None:
        """Saves to the path the document was opened from (replacing that
        file atomically)."""
        self._call(lambda lib, h: lib.lxDocx_save(h))

    def save_as(self, path: PathArg) -> None:
        """Saves to `path`; the document keeps its own path."""
        self._call(lambda lib, h: lib.lxDocx_save_as(h, _path(path)))

    def copy(self) -> "Document":
        """A copy of the document as it stands, made in memory (no file is
        read again), with no path of its own: save it with save_as(). To fill
        a template many times, open it once and render a copy per record."""
        copied = library().lxDocx_copy(self._live())
        if not copied:
            raise self._failure()
        return Document(copied, None)

    # -- page setup of the last section ---------------------------------------

    @property
    def margins(self) -> Margins:
        """The page margins of the last section, a Margins named tuple in twips."""
        values = [ctypes.c_int() for _ in range(8)]
        self._call(lambda lib, h: lib.lxDocx_get_margins(h, *[ctypes.byref(v) for v in values]))
        numbers = [v.value for v in values]
        return Margins(*numbers[:7], mirror=bool(numbers[7]))

    @margins.setter
    def margins(self, m: Margins) -> None:
        self._call(lambda lib, h: lib.lxDocx_set_margins(h, m.top, m.bottom, m.left, m.right, m.header, m.footer,
                                                         m.gutter, 1 if m.mirror else 0))

    @property
    def title_page(self) -> bool:
        """Whether the first page has headers and footers of its own."""
        return bool(self._read(lambda lib, h: lib.lxDocx_get_title_page(h)))

    @title_page.setter
    def title_page(self, on: bool) -> None:
        self._call(lambda lib, h: lib.lxDocx_set_title_page(h, 1 if on else 0))

    @property
    def even_and_odd(self) -> bool:
        """Whether even and odd pages have headers and footers of their own."""
        return bool(self._read(lambda lib, h: lib.lxDocx_get_even_and_odd(h)))

    @even_and_odd.setter
    def even_and_odd(self, on: bool) -> None:
        self._call(lambda lib, h: lib.lxDocx_set_even_and_odd(h, 1 if on else 0))

    def set_page_number_format(self, fmt: str, start: Optional[int] = None) -> None:
        """Sets the page-number format ("decimal", "lowerRoman", ...) and the
        first page number; None removes any first number."""
        first = -1 if start is None else start
        self._call(lambda lib, h: lib.lxDocx_set_page_number_format(h, _text(fmt), first))

    # -- headers and footers (of the last section; see sections for the others) --

    def _part(self, getter: str, kind: Union[str, int]) -> Optional[str]:
        length = ctypes.c_int()
        address = self._read(lambda lib, h: getattr(lib, getter)(h, kind_number(kind), ctypes.byref(length)))
        return _decode(ctypes.string_at(address, length.value)) if address else None

    def header(self, kind: Union[str, int] = "default") -> Optional[str]:
        """The XML of the header part of `kind` ("default", "even", "first"),
        or None when the section has none."""
        return self._part("lxDocx_get_header_xml", kind)

    def footer(self, kind: Union[str, int] = "default") -> Optional[str]:
        """The XML of the footer part of `kind`, or None."""
        return self._part("lxDocx_get_footer_xml", kind)

    def set_header(self, kind: Union[str, int], xml: Union[str, bytes]) -> None:
        """Stores `xml` as the header part of `kind` (see build_hf_xml)."""
        data = _text(xml)
        self._call(lambda lib, h: lib.lxDocx_set_header_xml(h, kind_number(kind), data, len(data)))

    def set_footer(self, kind: Union[str, int], xml: Union[str, bytes]) -> None:
        """Stores `xml` as the footer part of `kind`."""
        data = _text(xml)
        self._call(lambda lib, h: lib.lxDocx_set_footer_xml(h, kind_number(kind), data, len(data)))

    # -- the body ----------------------------------------------------------------

    def set_body_html(self, html: str) -> None:
        """Puts the content of the HTML page in the place of the body's first
        paragraph; the rest of the body and the page setup stay."""
        rich_text_library()
        self._call(lambda lib, h: lib.lxDocx_set_body_html(h, _text(html)))

    # -- reading -------------------------------------------------------------------

    def _string(self, call) -> str:
        """Runs a call returning a library-owned string, NULL on failure."""
        rich_text_library()
        handle = self._live()
        address = call(library(), handle)
        if not address:
            raise LorvexDocxError(self._error_text())
        return _decode(ctypes.string_at(address))

    @staticmethod
    def _text_flags(headers_footers: bool, notes: bool) -> int:
        return (_TEXT_HEADERS_FOOTERS if headers_footers else 0) | (_TEXT_NOTES if notes else 0)

    def text(self, headers_footers: bool = False, notes: bool = False) -> str:
        """The body's text, a line a block: list label, text, " [picture]" per
        picture, two spaces of indent a table level (text boxes where they
        stand). `headers_footers` adds "-- headers" and "-- footers" with the
        lines of the parts the pages show; `notes` adds "-- footnotes" and
        "-- endnotes", each note's first line after "[N] "."""
        flags = self._text_flags(headers_footers, notes)
        return self._string(lambda lib, h: lib.lxDocx_text(h, flags))

    def text_report(self, headers_footers: bool = False, notes: bool = False) -> Dict[str, Any]:
        """The same as a dict: "file", "blocks" ([label, text, pictures, table
        depth, bullet] each), "tables", "links"; `headers_footers` adds
        "pages", "headers" and "footers", `notes` "footnotes" and "endnotes"."""
        flags = self._text_flags(headers_footers, notes) | _TEXT_JSON
        return json.loads(self._string(lambda lib, h: lib.lxDocx_text(h, flags)))

    def to_html(self, section: Optional[str] = None) -> str:
        """The body as an HTML page; with `section`, the part under the
        heading reading that text, up to the next heading of its level or
        higher (the whole body when no heading reads it). "" when the body
        shows nothing."""
        title = None if section is None else _text(section)
        return self._string(lambda lib, h: lib.lxDocx_to_html(h, title))

    def preview(self, path: PathArg) -> Rendered:
        """Lays the pages out and writes every page as a PDF, or the first
        page as a PNG, by the suffix of `path` (".pdf" or ".png"); returns
        what was laid out."""
        rich_text_library()
        self._call(lambda lib, h: lib.lxDocx_render(h, _path(path)))
        values = [ctypes.c_int() for _ in range(3)]
        self._call(lambda lib, h: lib.lxDocx_get_render_result(h, *[ctypes.byref(v) for v in values]))
        return Rendered(values[0].value, bool(values[1].value), bool(values[2].value))

    @overload
    def render(self, data: Mapping[str, Any], strict: bool = False, resources: Optional[PathArg] = None) -> None: ...

    @overload
    def render(self, data: PathArg) -> Rendered: ...

    def render(self, data: Union[Mapping[str, Any], PathArg], strict: bool = False,
               resources: Optional[PathArg] = None) -> Optional[Rendered]:
        """Fills the document as a template with `data`, a mapping: the tags
        of docxtpl (Jinja) - {{ name }}, {% for %} ... {% endfor %}, {% if %},
        {%p %}, {%tr %} and the filters - take their values from it. Values
        JSON has no form for (dates, Decimal) are given as their str().
        `strict` makes a name the data does not define an error (by default it
        reads as nothing); `resources` is the folder from which pictures and
        HTML values may read files (by default none: only data: URLs). The
        document is changed in memory, not saved; on failure
        (TemplateError for the template's faults) it is left as it was.

        Given a path instead of a mapping, it is preview(path), as before
        templates came: the pages as a PDF or a PNG, returning Rendered."""
        if isinstance(data, (str, bytes, os.PathLike)):
            if strict or resources is not None:
                raise TypeError("strict and resources are for rendering a template with data, not for a page preview")
            return self.preview(data)
        self._fill(_template.data_json(data), strict, resources)
        return None

    def _fill(self, data_json: bytes, strict: bool, resources: Optional[PathArg]) -> None:
        """Renders the document as a template with data already written as JSON."""
        rich_text_library()  # HTML values build rich text
        folder = None if resources is None else _path(resources)
        self._call(lambda lib, h: lib.lxDocx_set_resource_folder(h, folder))
        self._call(lambda lib, h: lib.lxDocx_render_template(h, data_json, _template.STRICT if strict else 0))

    def replace(self, find: str, repl: str, regex: bool = False, match_case: bool = False,
                whole_word: bool = False) -> int:
        """Replaces `find` with `repl` in every story of the document (body,
        tables, text boxes, headers, footers, notes, comments), keeping the
        formatting of each match's first character; returns how many. With
        `regex`, `find` is a regular expression and \\1 in `repl` a group."""
        flags = (_REGEX if regex else 0) | (_MATCH_CASE if match_case else 0) | (_WHOLE_WORD if whole_word else 0)
        count = ctypes.c_int()
        self._call(lambda lib, h: lib.lxDocx_replace_text(h, _text(find), _text(repl), flags, ctypes.byref(count)))
        return count.value


def open(path: PathArg) -> Document:  # noqa: A001 - the module's verb, as in lorvexdocx.open
    """Opens the DOCX file at `path`."""
    return Document(_without_handle(lambda lib: lib.lxDocx_open(_path(path))), path)


def blank(path: PathArg) -> Document:
    """Writes a blank document (a Letter page, one empty paragraph) to `path`
    and opens it."""
    return Document(_without_handle(lambda lib: lib.lxDocx_create_blank(_path(path))), path)


def from_html(html: str, path: PathArg) -> None:
    """Writes a new document at `path` whose body is the HTML page."""
    _without_handle(lambda lib: lib.lxDocx_write_html(_path(path), _text(html)), rich_text_library())


def resave(src: PathArg, dst: PathArg) -> None:
    """Converts every body paragraph of `src` to rich text and back, saving
    the result as `dst`."""
    _without_handle(lambda lib: lib.lxDocx_resave_full(_path(src), _path(dst)), rich_text_library())


def build_hf_xml(kind: str, text: str, align: str = "left") -> str:
    """A one-paragraph header (`kind` "header") or footer ("footer") part
    whose text may hold {PAGE}, {NUMPAGES}, {TITLE}, {CHAPTER} and {AUTHOR};
    `align` is "left", "center", "right" or "both"."""
    if kind not in ("header", "footer"):
        raise ValueError(f"kind must be 'header' or 'footer', not {kind!r}")
    length = ctypes.c_int()
    address = _without_handle(
        lambda lib: lib.lxDocx_build_hf_xml(1 if kind == "header" else 0, _text(text), _text(align), ctypes.byref(length)))
    return _decode(ctypes.string_at(address, length.value))


def library_version() -> str:
    """The version of the loaded library."""
    return _decode(library().lxDocx_version())
