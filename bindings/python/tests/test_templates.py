"""Templates through the Python package: values of every kind, loops and conditions, strict names, resources,
failures that leave the document as it was, and four threads rendering at once, read back with python-docx."""
import datetime
import decimal
import threading

import pytest

import lorvexdocx
from conftest import make_template, paragraphs_of

INVOICE = ["Invoice {{ number }} for {{ customer.name }}",
           "{%p for item in items %}",
           "{{ item.name }}: {{ item.price }}",
           "{%p endfor %}",
           "{%p if paid %}",
           "Paid on {{ paid }}, thank you.",
           "{%p endif %}",
           "Total {{ total }}",
           "Note: {{ note|html }}"]


def invoice(number, paid=None):
    return {"number": number, "customer": {"name": f"Customer {number}"}, "paid": paid,
            "items": [{"name": "Tea", "price": decimal.Decimal("4.50")}, {"name": "Cake", "price": 3}],
            "total": decimal.Decimal("7.50"), "note": f"<b>Thanks</b>, {number}"}


def test_render_fills_values_loops_and_conditions(tmp_path):
    template = make_template(tmp_path / "invoice.docx", INVOICE)
    with lorvexdocx.open(template) as doc:
        assert doc.render(invoice(7, paid=datetime.date(2026, 3, 1))) is None
        doc.save_as(tmp_path / "paid.docx")
    with lorvexdocx.open(template) as doc:
        doc.render(invoice(8))
        doc.save_as(tmp_path / "unpaid.docx")
    assert paragraphs_of(tmp_path / "paid.docx") == ["Invoice 7 for Customer 7", "Tea: 4.50", "Cake: 3",
                                                     "Paid on 2026-03-01, thank you.", "Total 7.50", "Note: Thanks, 7"]
    assert paragraphs_of(tmp_path / "unpaid.docx") == ["Invoice 8 for Customer 8", "Tea: 4.50", "Cake: 3", "Total 7.50",
                                                       "Note: Thanks, 8"]
    assert paragraphs_of(template)[0] == INVOICE[0]  # the template file itself is not saved


def test_failures_raise_their_kind_and_leave_the_document_as_it_was(tmp_path):
    template = make_template(tmp_path / "t.docx", ["Hello {{ name }} from {{ town }}", "{% if x %}open"])
    with lorvexdocx.open(template) as doc:
        before = doc.text()
        with pytest.raises(lorvexdocx.TemplateError):
            doc.render({"name": "Ada"})  # the if is never closed
        assert doc.text() == before
        with pytest.raises(ValueError):
            doc.render({"name": float("nan")})
        with pytest.raises(TypeError):
            doc.render(["not", "a", "mapping"])
        with pytest.raises(TypeError):
            doc.render(tmp_path / "page.pdf", strict=True)
        with pytest.raises(lorvexdocx.LorvexDocxError):
            doc.render({"name": "Ada"}, resources=tmp_path / "no-such-folder")
        assert doc.text() == before

    strict = make_template(tmp_path / "strict.docx", ["Hello {{ name }} from {{ town }}"])
    with lorvexdocx.open(strict) as doc:
        with pytest.raises(lorvexdocx.TemplateError, match="town"):
            doc.render({"name": "Ada"}, strict=True)
        doc.render({"name": "Ada"})  # not strict: an undefined name reads as nothing
        doc.save_as(tmp_path / "lenient.docx")
    assert paragraphs_of(tmp_path / "lenient.docx") == ["Hello Ada from "]


def test_four_threads_render_at_once_each_with_its_own_documents(tmp_path):
    template = make_template(tmp_path / "invoice.docx", INVOICE)
    failures, texts = [], {}

    def work(thread):
        try:
            for n in range(thread * 100, thread * 100 + 25):
                with lorvexdocx.open(template) as doc:
                    doc.render(invoice(n))
                    doc.save_as(tmp_path / f"{n}.docx")
                missing = tmp_path / f"missing-{n}.docx"  # a failure without a handle keeps its own text
                try:
                    lorvexdocx.open(missing)
                except lorvexdocx.LorvexDocxError as e:
                    texts[n] = str(e)
        except Exception as e:  # a failure in a thread shows in the assertion below
            failures.append(repr(e))

    threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    numbers = [t * 100 + i for t in range(4) for i in range(25)]
    for n in numbers:
        assert paragraphs_of(tmp_path / f"{n}.docx")[0] == f"Invoice {n} for Customer {n}"
        assert f"missing-{n}.docx" in texts[n]
