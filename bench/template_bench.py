#!/usr/bin/env python3
"""Times `lxdocx render` against docxtpl on the same large template and data, in one run.

    python3 bench/template_bench.py BUILD_DIR [--runs N] [--warmup N] [--rows N] [--paragraphs N] [--plain-tags]

BUILD_DIR is a CMake build directory in which the lxdocx target has been built; this script builds
nothing. It writes the template and its data once (bench/make_template.py, in a child process), then runs
`lxdocx render` and docxtpl's `DocxTemplate(T).render(data, autoescape=True)` + save, each run a process of
its own, taking turns, after uncounted warm-up runs. It prints each one's median wall time and median peak
resident memory (ru_maxrss of the reaped child) and the ratios lxdocx / docxtpl with their goals, then
checks that both outputs hold the same numbers of table rows and paragraphs and no tag.
Standard library only; docxtpl runs under --peer-python (default /usr/bin/python3)."""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import zipfile

from run_bench import PEER_PYTHON, fmt_ratio, print_table, run_once, self_peak_rss

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "make_template.py")
PEER_RENDER = ("import json, sys\nfrom docxtpl import DocxTemplate\n"
               "t = DocxTemplate(sys.argv[1])\n"
               "with open(sys.argv[2], encoding='utf-8') as f: data = json.load(f)\n"
               "t.render(data, autoescape=True); t.save(sys.argv[3])")
GOAL_WALL, GOAL_RSS = 0.2, 0.2  # at least 5x faster, at most a fifth of the memory


def counts(path):
    """(table rows, paragraphs, tags left) of a rendered package's main part."""
    with zipfile.ZipFile(path) as z:
        xml = z.read("word/document.xml").decode("utf-8")
    return (len(re.findall(r"<w:tr[ >]", xml)), len(re.findall(r"<w:p[ >]", xml)),
            len(re.findall(r"\{\{|\{%", xml)))


def main(argv=None):
    parser = argparse.ArgumentParser(description="Time lxdocx render against docxtpl.")
    parser.add_argument("build_dir", help="CMake build directory holding tools/lxdocx/lxdocx")
    parser.add_argument("--runs", type=int, default=5, help="counted runs of each (default %(default)s)")
    parser.add_argument("--warmup", type=int, default=1, help="uncounted runs first (default %(default)s)")
    parser.add_argument("--rows", type=int, default=10000, help="rows of the table loop (default %(default)s)")
    parser.add_argument("--paragraphs", type=int, default=2000, help="items of the paragraph loop (default %(default)s)")
    parser.add_argument("--plain-tags", action="store_true", help="tags whole in their runs, not cut as Word cuts them")
    parser.add_argument("--peer-python", default=PEER_PYTHON, help="the Python that runs docxtpl (default %(default)s)")
    parser.add_argument("--workdir", help="keep the template, data and outputs here instead of a temp dir")
    args = parser.parse_args(argv)
    if args.runs < 1 or args.warmup < 0:
        parser.error("--runs must be at least 1 and --warmup at least 0")
    cli = os.path.join(os.path.abspath(args.build_dir), "tools", "lxdocx", "lxdocx")
    if not os.access(cli, os.X_OK):
        sys.exit("template_bench: %s not found; build it first:\n  cmake --build %s --target lxdocx"
                 % (cli, args.build_dir))
    if subprocess.run([args.peer_python, "-c", "import docxtpl"], stderr=subprocess.DEVNULL).returncode != 0:
        sys.exit("template_bench: %s cannot import docxtpl (Debian: python3-docxtpl)" % args.peer_python)

    tmp = None if args.workdir else tempfile.TemporaryDirectory(prefix="lxdocx-tpl-bench-")
    workdir = args.workdir or tmp.name
    os.makedirs(workdir, exist_ok=True)
    try:
        template, data = os.path.join(workdir, "template.docx"), os.path.join(workdir, "data.json")
        gen_cmd = [sys.executable, GENERATOR, template, data, "--rows", str(args.rows),
                   "--paragraphs", str(args.paragraphs)] + (["--plain-tags"] if args.plain_tags else [])
        gen = subprocess.run(gen_cmd, stdout=subprocess.PIPE, universal_newlines=True)
        if gen.returncode != 0:
            sys.exit("template_bench: generating the template failed")
        outs = {"lxdocx": os.path.join(workdir, "out.lxdocx.docx"), "docxtpl": os.path.join(workdir, "out.docxtpl.docx")}
        commands = {"lxdocx": [cli, "render", template, data, outs["lxdocx"]],
                    "docxtpl": [args.peer_python, "-c", PEER_RENDER, template, data, outs["docxtpl"]]}
        labels = {"lxdocx": "lxdocx render", "docxtpl": "docxtpl render + save"}
        results = {k: {"wall": [], "rss": []} for k in commands}
        rss_floor = self_peak_rss()
        err_path = os.path.join(workdir, "stderr.txt")
        for round_no in range(args.warmup + args.runs):
            for key, argv_ in commands.items():
                wall, rss, code = run_once(argv_, err_path)
                if code != 0:
                    with open(err_path, errors="replace") as f:
                        sys.exit("template_bench: %s failed (exit %d): %s" % (key, code, f.read().strip()))
                if round_no >= args.warmup:
                    results[key]["wall"].append(wall)
                    results[key]["rss"].append(rss)

        print("Template rendering: %d counted runs each after %d warm-up; medians; ratios lxdocx / docxtpl, same run"
              % (args.runs, args.warmup))
        print("generated: " + gen.stdout.strip())
        med = {k: (statistics.median(v["wall"]), statistics.median(v["rss"])) for k, v in results.items()}
        rows = []
        for key in commands:
            walls = results[key]["wall"]
            rss = med[key][1]
            rows.append([labels[key], "%.3f" % med[key][0], "%.3f-%.3f" % (min(walls), max(walls)),
                         ("<=" if rss <= rss_floor else "") + "%.1f" % (rss / 1e6)])
        print_table(rows, ["task", "median wall (s)", "min-max (s)", "median peak RSS (MB)"])
        wall_ratio = med["lxdocx"][0] / med["docxtpl"][0]
        rss_ratio = med["lxdocx"][1] / med["docxtpl"][1]
        print("lxdocx / docxtpl: wall %s, peak RSS %s" % (fmt_ratio(wall_ratio, GOAL_WALL), fmt_ratio(rss_ratio, GOAL_RSS)))
        print("speed-up %.1fx, memory 1/%.1f" % (1 / wall_ratio, 1 / rss_ratio))

        made = {k: counts(p) for k, p in outs.items()}
        print("table rows, paragraphs, tags left: " + ", ".join("%s %r" % kv for kv in made.items()))
        if made["lxdocx"] != made["docxtpl"] or made["lxdocx"][2]:
            sys.exit("template_bench: the two outputs differ in rows or paragraphs, or hold tags")
    finally:
        if tmp:
            tmp.cleanup()
    return 0


if __name__ == "__main__":
    sys.exit(main())
