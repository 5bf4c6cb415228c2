"""Template data as the library takes it: a JSON object in UTF-8."""
from __future__ import annotations

import json
from typing import Any, Mapping

#: Flag of lxDocx_render_template: a name the data does not define fails the render.
STRICT = 8


def _plain(value: Any) -> str:
    """A value JSON has no form for (a date, a Decimal, a UUID ...) as its str()."""
    return str(value)


def data_json(data: Mapping[str, Any]) -> bytes:
    """`data` as a JSON object. Values JSON cannot hold are written as their
    str(); a float that is not a number (nan, inf) raises ValueError."""
    if not isinstance(data, Mapping):
        raise TypeError(f"template data must be a mapping, not {type(data).__name__}")
    return json.dumps(dict(data), default=_plain, ensure_ascii=False, allow_nan=False).encode("utf-8")
