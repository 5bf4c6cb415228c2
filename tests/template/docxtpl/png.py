"""A small PNG of one colour, written with the standard library."""
import struct
import zlib


def _chunk(kind, payload):
    return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))


def solid_png(width, height, rgb):
    """The bytes of a width x height RGB picture filled with `rgb` (a 3-tuple of 0-255)."""
    row = b"\x00" + bytes(rgb) * width
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) + _chunk(b"IDAT", zlib.compress(row * height))
            + _chunk(b"IEND", b""))
