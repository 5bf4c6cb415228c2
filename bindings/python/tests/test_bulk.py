"""Bulk runs: 200 documents rendered on a LocalCluster of two workers with pictures from a resource folder, one
record failing alone; documents converted in a local process pool, a missing one and a failing function reported
per path; the README's runnable example."""
import base64
import decimal
import os
import subprocess
import sys

import docx
import pytest

import lorvexdocx
from lorvexdocx import bulk
from conftest import PACKAGE_DIR, SAMPLE, make_template, paragraphs_of

distributed = pytest.importorskip("distributed", reason="needs dask.distributed (python3-distributed)")

LETTER = ["Dear {{ name }},", "{%p for line in lines %}", "{{ loop.index }}. {{ line }}", "{%p endfor %}",
          "Balance: {{ balance }}", '{{ stamp|image(width="1cm") }}']
BAD = 137  # the record whose picture is not in the resource folder
# A PNG of one pixel.
PIXEL = base64.b64decode("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==")


def letter(i):
    return {"name": f"Reader {i}", "lines": ["first", "second"], "balance": decimal.Decimal(i) / 4,
            "stamp": "stamp.png" if i != BAD else "missing.png"}


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0") as cluster, \
            distributed.Client(cluster) as client:
        yield client


def test_render_many_on_two_workers_fails_one_record_alone(client, tmp_path):
    template = make_template(tmp_path / "letter.docx", LETTER)
    (tmp_path / "resources").mkdir()
    (tmp_path / "resources" / "stamp.png").write_bytes(PIXEL)
    results = bulk.render_many(template, (letter(i) for i in range(200)), tmp_path / "out", client=client,
                               resources=tmp_path / "resources", name="letter-{index:03d}.docx")
    assert [r.record for r in results] == list(range(200))
    assert [r.record for r in results if r.error] == [BAD]
    assert results[BAD].path is None and "missing.png" in results[BAD].error
    assert results[BAD].error.startswith("The template cannot be rendered:")
    assert not (tmp_path / "out" / f"letter-{BAD:03d}.docx").exists()
    for r in results:
        if r.record != BAD:
            assert r.ok and r.path == str(tmp_path / "out" / f"letter-{r.record:03d}.docx")
            written = docx.Document(r.path)
            assert [p.text for p in written.paragraphs] == [f"Dear Reader {r.record},", "1. first", "2. second",
                                                            f"Balance: {decimal.Decimal(r.record) / 4}", ""]
            assert len(written.inline_shapes) == 1
    copies = client.run(lambda: sorted(bulk._local_templates.values()))
    assert len(copies) == 2 and all(len(paths) == 1 for paths in copies.values())  # the template once a worker


def _text_file(doc):
    """Writes the document's text beside it; fails for documents without a title."""
    if not doc.properties["title"]:
        raise ValueError("no title")
    target = os.fsdecode(doc.path) + ".txt"
    with open(target, "w", encoding="utf-8") as f:
        f.write(doc.text())
    return target


def test_render_many_without_a_client_runs_in_a_process_pool(tmp_path):
    template = make_template(tmp_path / "letter.docx", LETTER[:-1])
    records = [letter(i) for i in range(5)] + [{"lines": [], "balance": 0}]  # no name, which strict refuses
    results = bulk.render_many(template, records, tmp_path / "out", strict=True, processes=2)
    assert [(r.record, r.ok) for r in results] == [(i, i < 5) for i in range(6)]
    assert "name" in results[5].error and paragraphs_of(results[4].path)[0] == "Dear Reader 4,"


def test_convert_many_in_a_process_pool_reports_each_path(tmp_path):
    titled, untitled, missing = tmp_path / "titled.docx", tmp_path / "untitled.docx", tmp_path / "missing.docx"
    titled.write_bytes(SAMPLE.read_bytes())
    lorvexdocx.blank(untitled).close()
    results = bulk.convert_many([titled, missing, untitled], _text_file, processes=2)
    assert results == [bulk.Result(0, f"{titled}.txt", None),
                       bulk.Result(1, None, f"Cannot open: {missing}: No such file or directory"),
                       bulk.Result(2, None, "ValueError: no title")]
    with lorvexdocx.open(titled) as doc:
        assert (tmp_path / "titled.docx.txt").read_text(encoding="utf-8") == doc.text()


def test_the_example_runs_on_a_local_cluster(tmp_path):
    env = dict(os.environ, PYTHONPATH=str(PACKAGE_DIR))
    run = subprocess.run([sys.executable, str(PACKAGE_DIR / "examples" / "bulk_render.py"), "--count", "20",
                          "--out", str(tmp_path / "invoices")], env=env, capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    assert "20 invoices written" in run.stdout and ", 0 failed" in run.stdout
    assert paragraphs_of(tmp_path / "invoices" / "00019.docx")[:2] == ["Invoice 1019", "Billed to Customer 19, due 2027-01-31."]
