"""Sections: page size, orientation, margins, headers and footers of each
section of a document, and the lengths they are measured in."""
from __future__ import annotations

import ctypes
import xml.etree.ElementTree as ElementTree
from typing import TYPE_CHECKING, Iterator, Optional, Sequence, Tuple, Union, overload

if TYPE_CHECKING:
    from . import Document

_TWIPS_PER_INCH = 1440
_TWIPS_PER_CM = _TWIPS_PER_INCH / 2.54
_TWIPS_PER_PT = 20
_W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
_KINDS = {"default": 0, "even": 1, "first": 2}
_MARGIN_FIELDS = ("top", "bottom", "left", "right", "header", "footer", "gutter")

PORTRAIT = "portrait"
LANDSCAPE = "landscape"


class Length(int):
    """A length in twips (1/1440 inch), an int, readable in other units."""

    @property
    def twips(self) -> int:
        return int(self)

    @property
    def inches(self) -> float:
        return self / _TWIPS_PER_INCH

    @property
    def cm(self) -> float:
        return self / _TWIPS_PER_CM

    @property
    def mm(self) -> float:
        return self / _TWIPS_PER_CM * 10

    @property
    def pt(self) -> float:
        return self / _TWIPS_PER_PT


def _length(cls, value: float, per_unit: float) -> Length:
    return int.__new__(cls, int(round(value * per_unit)))


class Twips(Length):
    """A length given in twips."""

    def __new__(cls, value: float) -> "Twips":
        return _length(cls, value, 1)


class Inches(Length):
    """A length given in inches: ``Inches(1) == 1440``."""

    def __new__(cls, value: float) -> "Inches":
        return _length(cls, value, _TWIPS_PER_INCH)


class Cm(Length):
    """A length given in centimetres: ``Cm(2.54) == 1440``."""

    def __new__(cls, value: float) -> "Cm":
        return _length(cls, value, _TWIPS_PER_CM)


class Mm(Length):
    """A length given in millimetres."""

    def __new__(cls, value: float) -> "Mm":
        return _length(cls, value, _TWIPS_PER_CM / 10)


class Pt(Length):
    """A length given in points: ``Pt(1) == 20``."""

    def __new__(cls, value: float) -> "Pt":
        return _length(cls, value, _TWIPS_PER_PT)


def kind_number(kind: Union[str, int]) -> int:
    """The library's number of a header or footer kind, given by name or number."""
    if isinstance(kind, int) and kind in _KINDS.values():
        return kind
    try:
        return _KINDS[kind]  # type: ignore[index]
    except KeyError:
        raise ValueError(f"kind must be one of {', '.join(_KINDS)}, not {kind!r}") from None


def _xml_text(xml: str) -> str:
    """The text of a header or footer part: its paragraphs' w:t, one line each."""
    root = ElementTree.fromstring(xml.encode("utf-8"))
    return "\n".join("".join(t.text or "" for t in p.iter(_W + "t")) for p in root.iter(_W + "p"))


class HeaderFooter:
    """The header or footer of one kind ("default", "even", "first") a section
    shows. A section without its own part shows the previous section's (it is
    linked to the previous); setting ``xml`` gives it its own part then, or
    replaces its own part in place (every section showing that part shows the
    new one). Calling it with a kind gives that kind of the same section:
    ``section.header("first")`` is ``section.first_page_header``."""

    def __init__(self, section: "Section", is_header: bool, kind: Union[str, int]) -> None:
        self._section = section
        self._is_header = is_header
        self._kind = kind_number(kind)

    @property
    def xml(self) -> Optional[str]:
        """The part's XML, or None when the section shows none."""
        getter = "lxDocx_get_section_header_xml" if self._is_header else "lxDocx_get_section_footer_xml"
        length = ctypes.c_int()
        address = self._section._read(
            lambda lib, h, i: getattr(lib, getter)(h, i, self._kind, ctypes.byref(length)))
        return ctypes.string_at(address, length.value).decode("utf-8", "replace") if address else None

    @xml.setter
    def xml(self, value: Union[str, bytes]) -> None:
        setter = "lxDocx_set_section_header_xml" if self._is_header else "lxDocx_set_section_footer_xml"
        data = value.encode("utf-8") if isinstance(value, str) else bytes(value)
        self._section._call(lambda lib, h, i: getattr(lib, setter)(h, i, self._kind, data, len(data)))

    @property
    def text(self) -> str:
        """The text of the part's paragraphs (one line each); "" when none."""
        xml = self.xml
        return _xml_text(xml) if xml else ""

    @property
    def part_name(self) -> Optional[str]:
        """The name of the part shown ("word/header1.xml"), or None."""
        address = self._section._read(
            lambda lib, h, i: lib.lxDocx_get_section_hf_part(h, i, 1 if self._is_header else 0, self._kind))
        return ctypes.string_at(address).decode("utf-8", "replace") if address else None

    def __call__(self, kind: Union[str, int] = "default") -> "HeaderFooter":
        return HeaderFooter(self._section, self._is_header, kind)

    def __repr__(self) -> str:
        side = "header" if self._is_header else "footer"
        kind = next(name for name, value in _KINDS.items() if value == self._kind)
        return f"<{kind} {side} of section {self._section.index}>"


class Section:
    """One section of a document, by its 0-based index. Lengths are Length
    (twips); a setter changes that value only."""

    def __init__(self, document: "Document", index: int) -> None:
        self._document = document
        self.index = index

    def _call(self, call) -> None:
        self._document._call(lambda lib, h: call(lib, h, self.index))

    def _read(self, call):
        return self._document._read(lambda lib, h: call(lib, h, self.index))

    def _margins(self) -> list:
        values = [ctypes.c_int() for _ in range(8)]
        self._call(lambda lib, h, i: lib.lxDocx_get_section_margins(h, i, *[ctypes.byref(v) for v in values]))
        return [v.value for v in values]

    def _set_margin(self, position: int, value: int) -> None:
        """Sets one of the eight margin values (the mirror switch last); the others are passed back as read,
        which the library leaves as they are."""
        values = self._margins()
        values[position] = int(value)
        self._call(lambda lib, h, i: lib.lxDocx_set_section_margins(h, i, *values))

    def _size(self) -> Tuple[int, int, bool]:
        values = [ctypes.c_int() for _ in range(3)]
        self._call(lambda lib, h, i: lib.lxDocx_get_page_size(h, i, *[ctypes.byref(v) for v in values]))
        return values[0].value, values[1].value, bool(values[2].value)

    def _set_size(self, width: int, height: int, landscape: bool) -> None:
        self._call(lambda lib, h, i: lib.lxDocx_set_page_size(h, i, int(width), int(height), 1 if landscape else 0))

    @property
    def page_size(self) -> Tuple[Length, Length]:
        """(width, height); raises LorvexDocxError when the section gives none."""
        width, height, _ = self._size()
        return Length(width), Length(height)

    @page_size.setter
    def page_size(self, size: Tuple[int, int]) -> None:
        self._set_size(size[0], size[1], self._size()[2])

    @property
    def page_width(self) -> Length:
        """The page's width, a Length."""
        return self.page_size[0]

    @page_width.setter
    def page_width(self, value: int) -> None:
        _, height, landscape = self._size()
        self._set_size(value, height, landscape)

    @property
    def page_height(self) -> Length:
        """The page's height, a Length."""
        return self.page_size[1]

    @page_height.setter
    def page_height(self, value: int) -> None:
        width, _, landscape = self._size()
        self._set_size(width, value, landscape)

    @property
    def orientation(self) -> str:
        """PORTRAIT or LANDSCAPE (w:orient); setting it does not swap width and height."""
        return LANDSCAPE if self._size()[2] else PORTRAIT

    @orientation.setter
    def orientation(self, value: str) -> None:
        if value not in (PORTRAIT, LANDSCAPE):
            raise ValueError(f"orientation must be {PORTRAIT!r} or {LANDSCAPE!r}, not {value!r}")
        width, height, _ = self._size()
        self._set_size(width, height, value == LANDSCAPE)

    @property
    def mirror_margins(self) -> bool:
        """Whether left and right margins are inside and outside on facing pages."""
        return bool(self._margins()[7])

    @mirror_margins.setter
    def mirror_margins(self, on: bool) -> None:
        self._set_margin(len(_MARGIN_FIELDS), 1 if on else 0)

    @property
    def title_page(self) -> bool:
        """Whether the section's first page has headers and footers of its own."""
        return bool(self._read(lambda lib, h, i: lib.lxDocx_get_section_title_page(h, i)))

    @title_page.setter
    def title_page(self, on: bool) -> None:
        self._call(lambda lib, h, i: lib.lxDocx_set_section_title_page(h, i, 1 if on else 0))

    def set_page_number_format(self, fmt: str, start: Optional[int] = None) -> None:
        """Sets the page-number format ("decimal", "lowerRoman", ...) and the first number (None: none)."""
        first = -1 if start is None else start
        self._call(lambda lib, h, i: lib.lxDocx_set_section_page_number_format(h, i, fmt.encode("utf-8"), first))

    def __repr__(self) -> str:
        return f"<Section {self.index}>"


def _margin_property(field: str, doc: str) -> property:
    position = _MARGIN_FIELDS.index(field)
    return property(lambda self: Length(self._margins()[position]),
                    lambda self, value: self._set_margin(position, value), doc=doc)


for _name, _field, _what in (("top_margin", "top", "The top margin"), ("bottom_margin", "bottom", "The bottom margin"),
                             ("left_margin", "left", "The left margin"), ("right_margin", "right", "The right margin"),
                             ("header_distance", "header", "From the page's top edge to the header"),
                             ("footer_distance", "footer", "From the page's bottom edge to the footer"),
                             ("gutter", "gutter", "The gutter (room for binding)")):
    setattr(Section, _name, _margin_property(
        _field, f"{_what}, a Length as written (w:pgMar); setting it changes this value alone."))


def _header_footer_property(is_header: bool, kind: str, doc: str) -> property:
    return property(lambda self: HeaderFooter(self, is_header, kind), doc=doc)


for _name, _is_header, _kind_name in (("header", True, "default"), ("first_page_header", True, "first"),
                                      ("even_page_header", True, "even"), ("footer", False, "default"),
                                      ("first_page_footer", False, "first"), ("even_page_footer", False, "even")):
    _side = "header" if _is_header else "footer"
    setattr(Section, _name, _header_footer_property(_is_header, _kind_name, f"The {_kind_name} {_side} (a HeaderFooter)."))


class Sections(Sequence[Section]):
    """The sections of a document in document order."""

    def __init__(self, document: "Document") -> None:
        self._document = document

    def __len__(self) -> int:
        return int(self._document._read(lambda lib, h: lib.lxDocx_section_count(h)))

    @overload
    def __getitem__(self, index: int) -> Section: ...

    @overload
    def __getitem__(self, index: slice) -> Sequence[Section]: ...

    def __getitem__(self, index):
        count = len(self)
        if isinstance(index, slice):
            return [Section(self._document, i) for i in range(*index.indices(count))]
        if index < 0:
            index += count
        if not 0 <= index < count:
            raise IndexError(f"section index out of range (the document has {count})")
        return Section(self._document, index)

    def __iter__(self) -> Iterator[Section]:
        return (Section(self._document, i) for i in range(len(self)))
