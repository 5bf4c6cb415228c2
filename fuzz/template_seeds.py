#!/usr/bin/env python3
"""template_seeds.py DIR: writes seeds for fuzz_template into DIR: a template's text (lines are
paragraphs, the third in a table cell), a NUL, then its JSON data."""
import json
import os
import sys

DATA = {"name": "Ann & <Bob>", "n": 3, "items": [{"a": 1, "b": "x"}, {"a": 2, "b": "y"}],
        "html": "<h1>T</h1><ul><li>a</li></ul><table><tr><td>c</td></tr></table>", "flag": True,
        "pic": "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDA"
               "wMDAAAANHQEDasKb6QAAAABJRU5ErkJggg=="}
SEEDS = [
    "Dear {{ name|upper }}, {{ n * 2 + 1 }} {{ items|length }}",
    "{%p for it in items %}\n{{ loop.index }} {{ it.a }} {{ it.b|default('-') }}\n{%p endfor %}",
    "{%tr for it in items %}\n{{ it.b }}\n{%tr endfor %}",
    "{% if flag and n > 2 %}yes{% elif n %}maybe{% else %}no{% endif %} {# note #}",
    "{{p html|html }}\nafter {{ html|html }} and {{ pic|image(width='1cm') }}",
    "{%r if flag %}on{%r endif %} {% set x = [1, 'a'] %}{{ x }} {{ 'ink' in name }}",
    "{% for k, v in items[0].items() %}{{ k }}={{ v }}{% endfor %} {{ range(3)|join(',') }}",
    "{% if x %}\nopen\n{% endif %}{{ unclosed",
]


def main(folder):
    for i, text in enumerate(SEEDS):
        with open(os.path.join(folder, "seed%d" % i), "wb") as f:
            f.write(text.encode() + b"\0" + json.dumps(DATA).encode())


if __name__ == "__main__":
    main(sys.argv[1])
