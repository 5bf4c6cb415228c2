"""Bulk runs: 200 documents rendered on a LocalCluster of two workers, one record failing alone; documents
converted in a local process pool, a missing one and a failing function reported per path; the README's
runnable example."""
import os
import subprocess
import sys

import pytest

import lorvexdocx
from lorvexdocx import bulk
from conftest import PACKAGE_DIR, SAMPLE, make_template, paragraphs_of

distributed = pytest.importorskip("distributed", reason="needs dask.distributed (python3-distributed)")

LETTER = ["Dear {{ name }},", "{%p for line in lines %}", "{{ loop.index }}. {{ line }}", "{%p endfor %}",
          "Balance: {{ balance }}"]
BAD = 137  # the record whose value fails


def letter(i):
    lines = ["first", "second"] if i != BAD else 42  # a number cannot be looped over
    return {"name": f"Reader {i}", "lines": lines, "balance": i * 1.5}


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        yield client


def test_render_many_on_two_workers_fails_one_record_alone(client, tmp_path):
    template = make_template(tmp_path / "letter.docx", LETTER)
    results = bulk.render_many(template, (letter(i) for i in range(200)), tmp_path / "out", client=client,
                               name="letter-{index:03d}.docx")
    assert [r.record for r in results] == list(range(200))
    assert [r.record for r in results if r.error] == [BAD]
    assert "lines" in results[BAD].error and results[BAD].path is None
    assert not (tmp_path / "out" / f"letter-{BAD:03d}.docx").exists()
    for r in results:
        if r.record != BAD:
            assert r.ok and r.path == str(tmp_path / "out" / f"letter-{r.record:03d}.docx")
            assert paragraphs_of(r.path) == [f"Dear Reader {r.record},", "1. first", "2. second",
                                             f"Balance: {r.record * 1.5}"]
    processed = client.run(lambda: sorted(bulk._local_templates.values()))
    assert len(processed) == 2 and all(len(paths) == 1 for paths in processed.values())  # one copy a worker


def _text_file(doc):
    """Writes the document's text beside it; fails for documents without a title."""
    if not doc.properties["title"]:
        raise ValueError("no title")
    target = os.fsdecode(doc.path) + ".txt"
    with open(target, "w", encoding="utf-8") as f:
        f.write(doc.text())
    return target


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
