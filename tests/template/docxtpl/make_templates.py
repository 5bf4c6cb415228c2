#!/usr/bin/python3
"""make_templates.py OUTDIR: writes the templates made in Word's manner, NAME.docx, with their data NAME.json
and their marks NAME.marks.json: [[value text, bold, italic, colour], ...], each value a tag renders and the
formatting of that tag's first character, which the value must carry.

Needs python-docx (the package around the body: styles, settings, header and footer parts)."""
import json
import os
import sys

import docx
from docx.oxml import parse_xml

from wordlike import W_NS, Builder, tag_format

CASES = []


def case(function):
    CASES.append(function)
    return function


class Template:
    """One template: body, header and footer XML, its data and the tags whose values are checked."""

    def __init__(self, name, data):
        self.name, self.data = name, data
        self.b = Builder()
        self.body, self.header, self.footer = [], [], []
        self.marks = []

    def mark(self, tag, *values):
        """`tag` renders each of `values`: they must carry the formatting of the tag's first character."""
        fmt = tag_format(tag)
        self.marks.extend([v, fmt.bold, fmt.italic, fmt.color] for v in values)

    def save(self, outdir):
        d = docx.Document()
        body = d.element.body
        sect = body[-1]
        for child in list(body):
            body.remove(child)
        for el in fragment(self.body):
            body.append(el)
        body.append(sect)
        section = d.sections[0]
        for story, paras in ((section.header, self.header), (section.footer, self.footer)):
            if paras:
                story.is_linked_to_previous = False
                root = story._element
                for child in list(root):
                    root.remove(child)
                for el in fragment(paras):
                    root.append(el)
        base = os.path.join(outdir, self.name)
        d.save(base + ".docx")
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump(self.data, f, ensure_ascii=False, indent=1)
        with open(base + ".marks.json", "w", encoding="utf-8") as f:
            json.dump(self.marks, f, ensure_ascii=False)


NAMESPACES = {
    "w": W_NS,
    "mc": "http://schemas.openxmlformats.org/markup-compatibility/2006",
    "wp": "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing",
    "wps": "http://schemas.microsoft.com/office/word/2010/wordprocessingShape",
    "v": "urn:schemas-microsoft-com:vml",
}


def fragment(xml_pieces):
    declarations = " ".join('xmlns:%s="%s"' % kv for kv in NAMESPACES.items())
    return list(parse_xml("<w:body %s>%s</w:body>" % (declarations, "".join(xml_pieces))))


@case
def letter():
    """Inline values with filters, inline conditions, escaping, line breaks, header and footer."""
    t = Template("letter", {
        "company": {"name": "Harbour & Sons <Ltd>", "city": "bristol"},
        "customer": {"first": "ada", "last": "Lovelace", "title": "Countess"},
        "ref": "INV-2041",
        "address": "12 Quay Street\nBristol\nBS1 4DJ",
        "tags": ["sails", "rope", "tar"],
        "amount": 1250,
        "overdue": True,
        "tier": "gold",
        "note": "",
    })
    b = t.b
    t.header = [b.p("{{ company.name }} — {{ company.city|title }}", style="Header")]
    t.footer = [b.p("Reference {{ ref }}{% if overdue %} (overdue){% endif %}", style="Footer")]
    t.body = [
        b.p("{{ customer.title }} {{ customer.first|title }} {{ customer.last|upper }}", style="Title"),
        b.p("{{ address }}"),
        b.p("Dear {{ customer.first|title }},"),
        b.p("Our records show {{ amount }} pounds owed on {{ ref }} for {{ tags|join(', ') }} "
            "({{ tags|length }} items)."),
        b.p("{% if overdue %}The payment is overdue.{% else %}Nothing is due yet.{% endif %} "
            "Your tier: {% if tier == 'gold' %}Gold{% elif tier == 'silver' %}Silver{% else %}Standard{% endif %}."),
        b.p("Note: {{ note|default('none given') }} / {{ missing|default('no such field') }} / [{{ missing }}]"),
        b.p("Sent from {{ company.city|upper }} by {{ company.name|lower }}."),
    ]
    t.mark("{{ customer.title }}", "Countess")
    t.mark("{{ customer.last|upper }}", "LOVELACE")
    t.mark("{{ company.city|upper }}", "BRISTOL")
    t.mark("{{ company.name }}", "Harbour & Sons <Ltd>")
    t.mark("{{ ref }}", "INV-2041")
    t.mark("{{ tags|join(', ') }}", "sails, rope, tar")
    return t


@case
def invoice_rows():
    """Row loops: loop.index, nested inline conditions in cells, a conditional row, totals after."""
    t = Template("invoice_rows", {
        "items": [
            {"desc": "Mainsail", "qty": 1, "price": "840.00"},
            {"desc": "Hemp rope 20 m", "qty": 4, "price": "96.50"},
            {"desc": "Pine tar", "qty": 3, "price": "12.75"},
        ],
        "total": "1,258.75",
        "show_discount": False,
        "show_terms": True,
    })
    b = t.b
    t.body = [
        b.p("Invoice", style="Heading1"),
        b.row_loop_table(
            ["#", "Item", "Qty", "Price"],
            "{%tr for item in items %}",
            ["{{ loop.index }}", "{{ item.desc }}{% if loop.first %} (first){% endif %}",
             "{{ item.qty }}{% if item.qty > 2 %} bulk{% endif %}", "{{ item.price }}"],
            "{%tr endfor %}",
            after=[["{%tr if show_discount %}"], ["", "Discount", "", "-10%"], ["{%tr endif %}"],
                   ["{%tr if show_terms %}"], ["", "Terms: 30 days", "", ""], ["{%tr endif %}"],
                   ["", "Total", "", "{{ total }}"]]),
        b.p("{{ items|length }} lines."),
    ]
    t.mark("{{ item.desc }}", "Mainsail", "Hemp rope 20 m", "Pine tar")
    t.mark("{{ total }}", "1,258.75")
    return t


@case
def paragraph_loops():
    """Paragraph loops, nested, with loop.first/last and {%p if/else %} around paragraphs."""
    t = Template("paragraph_loops", {
        "chapters": [
            {"title": "Rigging", "points": ["Check the shrouds", "Tension the stays"]},
            {"title": "Hull", "points": ["Scrape the keel"]},
            {"title": "Deck", "points": []},
        ],
        "signed": False,
        "author": "M. Quayle",
    })
    b = t.b
    t.body = [
        b.p("Maintenance plan", style="Title"),
        b.p("{%p for ch in chapters %}"),
        b.p("{{ loop.index }}. {{ ch.title }}{% if loop.last %} (last){% endif %}", style="Heading2"),
        b.p("{%p for pt in ch.points %}"),
        b.p("{% if loop.first %}First: {% endif %}{{ pt }}{% if not loop.last %};{% else %}.{% endif %}",
            style="ListBullet"),
        b.p("{%p endfor %}"),
        b.p("{%p if ch.points|length == 0 %}"),
        b.p("Nothing planned for {{ ch.title|lower }}."),
        b.p("{%p endif %}"),
        b.p("{%p endfor %}"),
        b.p("{%p if signed %}"),
        b.p("Signed by {{ author }}."),
        b.p("{%p elif author %}"),
        b.p("Awaiting the signature of {{ author }}."),
        b.p("{%p else %}"),
        b.p("Nobody is named to sign."),
        b.p("{%p endif %}"),
        b.p("End of plan."),
    ]
    t.mark("{{ ch.title }}", "Rigging", "Hull", "Deck")
    t.mark("{{ pt }}", "Check the shrouds", "Tension the stays", "Scrape the keel")
    t.mark("{{ author }}", "M. Quayle")
    return t


@case
def nested_tables():
    """A paragraph loop around a heading and a table with its own row loop; a cell loop across columns."""
    t = Template("nested_tables", {
        "crews": [
            {"boat": "Kestrel", "members": [{"name": "Jon", "role": "skipper"},
                                            {"name": "Ife", "role": "navigator"}]},
            {"boat": "Petrel", "members": [{"name": "Sam", "role": "skipper"}]},
        ],
        "days": ["Mon", "Tue", "Wed"],
    })
    b = t.b
    t.body = [
        b.p("{%p for crew in crews %}"),
        b.p("Boat {{ crew.boat|upper }}", style="Heading2"),
        b.row_loop_table(["Name", "Role"], "{%tr for m in crew.members %}",
                         ["{{ m.name }}", "{{ m.role|title }}{% if loop.last %} *{% endif %}"],
                         "{%tr endfor %}"),
        b.p("{{ crew.members|length }} aboard {{ crew.boat }}."),
        b.p("{%p endfor %}"),
        b.table([["Watch", "{%tc for d in days %}", "{{ d }}", "{%tc endfor %}"],
                 ["Hours", "{%tc for d in days %}", "{{ loop.index }}", "{%tc endfor %}"]]),
    ]
    t.mark("{{ m.name }}", "Jon", "Ife", "Sam")
    t.mark("{{ crew.boat|upper }}", "KESTREL", "PETREL")
    return t


@case
def cell_paragraph_loops():
    """A paragraph loop inside a cell of a row loop; an empty list leaves the cell's other paragraphs."""
    t = Template("cell_paragraph_loops", {
        "ports": [{"name": "Falmouth", "berths": ["North quay", "Custom house"]},
                  {"name": "Fowey", "berths": []},
                  {"name": "Looe", "berths": ["Harbour wall"]}],
    })
    b = t.b
    t.body = [
        b.row_loop_table(["Port", "Berths"], "{%tr for port in ports %}",
                         ["{{ port.name }}", ["{%p for berth in port.berths %}", "{{ loop.index }}: {{ berth }}",
                                              "{%p endfor %}", "({{ port.berths|length }} berths)"]],
                         "{%tr endfor %}"),
    ]
    t.mark("{{ port.name }}", "Falmouth", "Fowey", "Looe")
    t.mark("{{ berth }}", "North quay", "Custom house", "Harbour wall")
    return t


@case
def containers():
    """Tags in a hyperlink, in content controls (inline and around paragraphs) and in a text box."""
    t = Template("containers", {"site": {"name": "Harbour Office", "url": "harbour.example"},
                                "person": "Wren Abbott", "boxed": "Tide tables", "show": True})
    b = t.b
    t.body = [
        b.p_with("Visit {{ site.name }} at ", b.hyperlink("{{ site.url }}"), "."),
        b.p_with("Contact: ", b.inline_control("{{ person }}", "Contact"), " (duty officer)."),
        b.block_control(["Signed: {{ person|upper }}", "{% if show %}Shown{% else %}Hidden{% endif %} here."],
                        "Signature"),
        b.p_with("See the box: ", b.text_box(["Box: {{ boxed }}", "{{ site.name|lower }}"])),
    ]
    t.mark("{{ site.url }}", "harbour.example")
    t.mark("{{ person }}", "Wren Abbott")
    t.mark("{{ boxed }}", "Tide tables")
    return t


@case
def modifier_units():
    """A modifier's whole unit goes with its tag, the text around the tag in it too."""
    t = Template("modifier_units", {"show": True, "hide": False, "rows": ["first", "second"]})
    b = t.b
    t.body = [
        b.p("Lead-in words {%p if show %} dropped with the tag"),
        b.p("Shown paragraph."),
        b.p("More words {%p endif %}"),
        b.p("{%p if hide %}"),
        b.p("Hidden paragraph."),
        b.p("{%p endif %}"),
        b.table([["Rows"], ["{%tr for r in rows %}", "row note"], ["{{ r }}", "{{ loop.index }}"],
                 ["{%tr endfor %}", "end note"]]),
        b.p("After."),
    ]
    return t


@case
def expressions():
    """Operators, indexes, membership, literals, Word's curly quotes and escaped comparison signs."""
    t = Template("expressions", {
        "order": {"lines": [{"sku": "A-1", "qty": 2}, {"sku": "B-7", "qty": 10}], "status": "shipped",
                  "flags": ["fragile", "insured"]},
        "limit": 5,
        "kind": "gold",
        "who": "Ada",
        "empty": {"list": [], "text": "", "zero": 0, "object": {}, "null": None},
        "full": {"list": [0], "text": "0", "one": 1, "object": {"a": 1}},
        "name": "mARY ann",
    })
    b = t.b
    t.body = [
        b.p("First line {{ order.lines[0].sku }}, second qty {{ order.lines[1].qty }}."),
        b.p("{% if order.lines[1].qty > limit and order.status == 'shipped' %}Large shipped order"
            "{% endif %}{% if order.lines[0].qty <= limit or false %}, small first line{% endif %}."),
        b.p("{% if 'fragile' in order.flags %}Handle with care{% endif %}"
            "{% if not 'heavy' in order.flags %}, not heavy{% endif %}"
            "{% if not order.status != 'shipped' %}, on its way{% endif %}."),
        b.p("{% if order.lines|length >= 2 %}Two or more lines{% endif %}"
            "{% if limit < 5 %} under{% elif limit == 5 %} exactly five{% endif %}."),
        b.p("Escaped: {% if limit < 10 %}below ten{% endif %}{% if limit > 1 %}, above one{% endif %}."),
        b.p("{{ \"Hello, \" }}{{ who }}{{ '!' }}"),
        b.p("Empty: {% if empty.list %}L{% endif %}{% if empty.text %}T{% endif %}{% if empty.zero %}Z{% endif %}"
            "{% if empty.object %}O{% endif %}{% if empty.null %}N{% endif %}{% if empty.absent %}A{% endif %}-"
            "full: {% if full.list %}L{% endif %}{% if full.text %}T{% endif %}{% if full.one %}1{% endif %}"
            "{% if full.object %}O{% endif %}"),
        b.p("Chained {{ name|lower|title }} {{ name|upper|length }}; spacing [{{who}}] [{%if limit%}y{%endif%}]"
            " [{{   who   }}]"),
    ]
    t.mark("{{ order.lines[0].sku }}", "A-1")
    return t


@case
def run_and_header_loops():
    """{%r %} run conditions, loops in headers and footers, a {%p if %} in the header."""
    t = Template("run_and_header_loops", {
        "draft": True,
        "authors": ["Quayle", "Hart", "Moss"],
        "version": "3.2",
        "pages_note": "printed copies are uncontrolled",
    })
    b = t.b
    t.header = [
        b.p("{%p if draft %}", style="Header"),
        b.p("DRAFT {{ version }}", style="Header"),
        b.p("{%p endif %}", style="Header"),
        b.p("Authors: {% for a in authors %}{{ a }}{% if not loop.last %}, {% endif %}{% endfor %}", style="Header"),
    ]
    t.footer = [b.p("Version {{ version }}: {{ pages_note|upper }}", style="Footer")]
    t.body = [
        b.p("Status: {%r if draft %}draft{%r else %}final{%r endif %} copy."),
        b.p("{% for a in authors %}[{{ loop.index }}:{{ a|lower }}]{% endfor %}"),
    ]
    t.mark("{{ version }}", "3.2")
    t.mark("{{ a }}", "Quayle", "Hart", "Moss")
    return t


@case
def word_habits():
    """What Word and Jinja users write beyond the plain grammar, one template each: curly quotes typed by
    Word's autocorrect, `not in`, parentheses, string keys in brackets."""
    data = {"kind": "gold", "order": {"flags": ["fragile"], "status": "shipped", "lines": [{"qty": 2}]}}
    habits = {
        "curly_quotes": "Kind: {% if kind == \u201cgold\u201d %}gold member{% else %}other{% endif %}.",
        "not_in": "{% if 'heavy' not in order.flags %}Not heavy{% endif %}.",
        "parentheses": "{% if not (order.status != 'shipped') %}On its way{% endif %}.",
        "string_key": "Quantity {{ order.lines[0]['qty'] }}.",
        "negative_index": "Last flag {{ order.flags[-1] }}.",
        "loop_extras": "{% for f in order.flags %}{{ loop.index0 }}/{{ loop.length }} {{ f }}{% endfor %}",
    }
    made = []
    for name, text in habits.items():
        t = Template("habit_" + name, data)
        t.body = [t.b.p(text)]
        made.append(t)
    return made


@case
def values():
    """What values of each JSON kind print as: integers, decimals, booleans, null, nested lists."""
    t = Template("values", {
        "n": {"int": 42, "neg": -7, "dec": 19.99, "whole": 3.0, "big": 10000000000},
        "yes": True, "no": False, "nothing": None,
        "list": [1, 2, 3], "unicode": "Zoë – naïve ✓",
    })
    b = t.b
    t.body = [
        b.p("int {{ n.int }} neg {{ n.neg }} dec {{ n.dec }} big {{ n.big }}"),
        b.p("whole {{ n.whole }}"),
        b.p("booleans {{ yes }} {{ no }}"),
        b.p("null [{{ nothing }}] [{{ nothing|default('fallback') }}]"),
        b.p("list {{ list|join('-') }} length {{ list|length }}"),
        b.p("unicode {{ unicode }} {{ unicode|upper }}"),
    ]
    t.mark("{{ unicode }}", "Zoë – naïve ✓")
    return t


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    os.makedirs(argv[1], exist_ok=True)
    names = []
    for make in CASES:
        made = make()
        for t in made if isinstance(made, list) else [made]:
            t.save(argv[1])
            names.append(t.name)
    print("%d templates in %s" % (len(names), argv[1]))


if __name__ == "__main__":
    main(sys.argv)
