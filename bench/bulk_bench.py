#!/usr/bin/python3
"""bulk_bench.py: documents per second of rendering one template for many records, lorvexdocx's
render_many on a Dask LocalCluster against docxtpl in a local process pool of the same size, in one run.

    LORVEXDOCX_LIBRARY=build/libLorvexDocx.so.1 python3 bench/bulk_bench.py [--docs 1000] [--workers 2] [--runs 5]

The template is a one-page invoice (a heading, paragraphs with values, a table whose rows come from a loop),
made with python-docx; both sides render the same template with the same records and write one .docx a record.
The cluster (one thread a worker) and the pool are started and warmed up before the timed runs, which take turns;
the figures are the medians over the runs. Every document of the last run of each side is counted and a few are
read back with python-docx. Needs python3-docx, python3-docxtpl and python3-distributed.
"""
from __future__ import annotations

import argparse
import multiprocessing
import shutil
import statistics
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "bindings" / "python"))

import docx  # noqa: E402
from docx.oxml.ns import qn  # noqa: E402
from lorvexdocx import bulk  # noqa: E402

GOAL = 3.0  # lorvexdocx's documents per second over docxtpl's
ITEMS_PER_INVOICE = 8


def keep_used_styles(document) -> None:
    """Leaves the styles the body uses (with those they are based on, link to or are followed by) and the
    defaults, and drops stylesWithEffects.xml, as Word saves a document; python-docx's own template holds 164
    styles (styles.xml of 350 KB, where the corpus's median is 27 KB)."""
    body = document.element.body
    styles = document.styles.element
    by_id = {s.get(qn("w:styleId")): s for s in styles.findall(qn("w:style"))}
    wanted = {e.get(qn("w:val")) for tag in ("w:pStyle", "w:rStyle", "w:tblStyle") for e in body.iter(qn(tag))}
    wanted |= {i for i, s in by_id.items() if s.get(qn("w:default")) == "1"}
    pending = list(wanted)
    while pending:
        style = by_id.get(pending.pop())
        for tag in ("w:basedOn", "w:link", "w:next"):
            ref = style.find(qn(tag)) if style is not None else None
            if ref is not None and ref.get(qn("w:val")) not in wanted:
                wanted.add(ref.get(qn("w:val")))
                pending.append(ref.get(qn("w:val")))
    for style_id, style in by_id.items():
        if style_id not in wanted:
            styles.remove(style)
    for rel_id, rel in list(document.part.rels.items()):
        if rel.reltype.endswith("/stylesWithEffects"):
            document.part.drop_rel(rel_id)


def make_template(path: Path, word_styles: bool) -> Path:
    document = docx.Document()
    document.add_heading("Invoice {{ number }}", level=1)
    document.add_paragraph("Billed to {{ customer.name }}, {{ customer.street }}, {{ customer.town }}")
    document.add_paragraph("Date {{ date }}; payment due within {{ terms }} days.")
    table = document.add_table(rows=4, cols=3)
    for row, cells in zip(table.rows, [("Item", "Quantity", "Price"), ("{%tr for item in items %}", "", ""),
                                       ("{{ item.name }}", "{{ item.quantity }}", "{{ item.price }}"),
                                       ("{%tr endfor %}", "", "")]):
        for cell, text in zip(row.cells, cells):
            cell.text = text
    document.add_paragraph("Total {{ total }}")
    document.add_paragraph("{%p if note %}")
    document.add_paragraph("Note: {{ note }}")
    document.add_paragraph("{%p endif %}")
    if word_styles:
        keep_used_styles(document)
    document.save(path)
    return path


def records(count: int) -> list:
    return [{"number": 1000 + i, "date": "2026-12-07", "terms": 30,
             "customer": {"name": f"Customer {i}", "street": f"{i} Main Street", "town": "Springfield"},
             "items": [{"name": f"Article {j}", "quantity": j + 1, "price": f"{(j + 1) * 2.5:.2f}"}
                       for j in range(ITEMS_PER_INVOICE)],
             "total": f"{sum((j + 1) * 2.5 for j in range(ITEMS_PER_INVOICE)):.2f}",
             "note": "Thank you." if i % 2 else ""} for i in range(count)]


def _docxtpl_share(template: str, share: list) -> int:
    from docxtpl import DocxTemplate
    for output, record in share:
        document = DocxTemplate(template)
        document.render(record)
        document.save(output)
    return len(share)


def run_docxtpl(pool: ProcessPoolExecutor, template: Path, data: list, out: Path, workers: int) -> None:
    items = [(str(out / f"{i:05d}.docx"), record) for i, record in enumerate(data)]
    size = -(-len(items) // (workers * bulk.SHARES_PER_SLOT))
    shares = [items[i:i + size] for i in range(0, len(items), size)]
    done = sum(f.result() for f in [pool.submit(_docxtpl_share, str(template), s) for s in shares])
    assert done == len(items)


def run_lorvexdocx(client, template: Path, data: list, out: Path) -> None:
    failed = [r for r in bulk.render_many(template, data, out, client=client) if r.error]
    assert not failed, failed[:3]


def check_outputs(out: Path, data: list) -> None:
    written = sorted(out.glob("*.docx"))
    assert len(written) == len(data), (out, len(written))
    for index in (0, len(data) // 2, len(data) - 1):
        texts = [p.text for p in docx.Document(str(written[index])).paragraphs]
        assert f"Invoice {data[index]['number']}" in texts, (written[index], texts)


def timed(step) -> float:
    start = time.perf_counter()
    step()
    return time.perf_counter() - start


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--docs", type=int, default=1000)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--styles", choices=("word", "python-docx"), default="word",
                        help="the template's styles: those it uses, as Word saves them (default), or all of "
                             "python-docx's own template")
    args = parser.parse_args()
    from dask.distributed import Client, LocalCluster

    work = Path(tempfile.mkdtemp(prefix="bulk-bench-"))
    template, data = make_template(work / "invoice.docx", args.styles == "word"), records(args.docs)
    times = {"lorvexdocx": [], "docxtpl": []}
    with LocalCluster(n_workers=args.workers, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client, \
            ProcessPoolExecutor(args.workers, mp_context=multiprocessing.get_context("spawn")) as pool:
        out = {name: work / name for name in times}
        steps = {"lorvexdocx": lambda: run_lorvexdocx(client, template, data, out["lorvexdocx"]),
                 "docxtpl": lambda: run_docxtpl(pool, template, data[:args.workers * 4], out["docxtpl"],
                                                args.workers)}
        for name, step in steps.items():  # warm-up: imports and the template on every worker
            out[name].mkdir()
            step()
        steps["docxtpl"] = lambda: run_docxtpl(pool, template, data, out["docxtpl"], args.workers)
        for run in range(args.runs):
            for name, step in steps.items():
                shutil.rmtree(out[name])
                out[name].mkdir()
                times[name].append(timed(step))
            print(f"run {run + 1}: " + ", ".join(f"{n} {args.docs / t[-1]:.0f} docs/s" for n, t in times.items()),
                  flush=True)
        for name in times:
            check_outputs(out[name], data)
    rates = {name: args.docs / statistics.median(t) for name, t in times.items()}
    print(f"\n{args.docs} renders of a one-page template, {args.workers} workers, median of {args.runs} runs:")
    for name, rate in rates.items():
        spread = ", ".join(f"{args.docs / t:.0f}" for t in sorted(times[name], reverse=True))
        print(f"  {name:<11} {rate:8.0f} docs/s   (runs: {spread})")
    ratio = rates["lorvexdocx"] / rates["docxtpl"]
    print(f"  ratio       {ratio:8.2f}x   goal >= {GOAL:.0f}x: {'ok' if ratio >= GOAL else 'MISSED'}")
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
