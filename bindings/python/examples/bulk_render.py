#!/usr/bin/env python3
"""Renders an invoice template for many records on a Dask cluster started here (a LocalCluster of two
workers); with a scheduler's address as the first argument, on that cluster instead (the output folder
must then be one its workers can write to).

    python3 bulk_render.py [SCHEDULER_ADDRESS] [--count N] [--out FOLDER]
"""
import argparse
import contextlib
import os

from dask.distributed import Client, LocalCluster

import lorvexdocx
from lorvexdocx import bulk

TEMPLATE_HTML = """<h1>Invoice {{ number }}</h1>
<p>Billed to {{ customer }}, due {{ due }}.</p>
<p>{%p for line in lines %}</p>
<p>{{ line.item }}: {{ line.price }}</p>
<p>{%p endfor %}</p>
<p>Total {{ total }}</p>"""


def invoice(i):
    lines = [{"item": f"Article {j}", "price": f"{2.5 * j:.2f}"} for j in range(1, 4)]
    return {"number": 1000 + i, "customer": f"Customer {i}", "due": "2027-01-31", "lines": lines,
            "total": f"{sum(2.5 * j for j in range(1, 4)):.2f}"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scheduler", nargs="?", help="a running scheduler's address (default: a LocalCluster)")
    parser.add_argument("--count", type=int, default=100)
    parser.add_argument("--out", default="invoices")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    template = os.path.join(args.out, "template.docx")
    lorvexdocx.from_html(TEMPLATE_HTML, template)
    with contextlib.ExitStack() as stack:
        cluster = args.scheduler or stack.enter_context(LocalCluster(n_workers=2, threads_per_worker=1))
        client = stack.enter_context(Client(cluster))
        results = bulk.render_many(template, [invoice(i) for i in range(args.count)], args.out, client=client,
                                   progress=True)
    failed = [r for r in results if r.error]
    print(f"\n{len(results) - len(failed)} invoices written to {args.out}, {len(failed)} failed")
    for r in failed:
        print(f"  record {r.record}: {r.error}")


if __name__ == "__main__":
    main()
