#!/usr/bin/env python3
"""Runs the LorvexDocx benchmark and prints medians and same-run ratios.

    python3 bench/run_bench.py BUILD_DIR [--runs N] [--warmup N] [--tasks a,b] [--input PATH ...]

BUILD_DIR is a CMake build directory in which the lxdocx_bench target has been
built (cmake --build BUILD_DIR --target lxdocx_bench); this script builds nothing.

It writes the synthetic package (bench/make_package.py) and the synthetic HTML
page (bench/make_html.py) once into a temporary directory, then on each input
runs every task that takes that kind of input (a package or a page) as a
process of its own, the tasks taking turns round by round, after warm-up runs
that are not counted. For each run it records the wall time and the peak
resident memory (ru_maxrss of the reaped child). It prints each task's medians
and, for the comparisons below, the ratio of the task's median to its
baseline's median, both measured in this run.

To add a task: add a Task to TASKS (and, for a new lxdocx_bench task, a row to
the task table of lxdocx_bench.cpp); name its baselines in `compare`.
Standard library only; runs under any Python 3.8+, /usr/bin/python3 included.
"""

import argparse
import collections
import os
import platform
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "make_package.py")
PAGE_GENERATOR = os.path.join(HERE, "make_html.py")
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "bench"))
DEFAULT_MANUAL = os.path.join(SHARED, "manual8.docx")
DEFAULT_MANUAL_HTML = os.path.join(SHARED, "manual8.html")
PEER_PYTHON = "/usr/bin/python3"
# The large package: a main part of about 12.6 MB.
LARGE_PARAGRAPHS = 24000
# Reading a package should take at most this many bytes of memory per byte of its main part.
MAX_RSS_PER_BODY_BYTE = 10.0
PEER_OPEN_SAVE = "import docx, sys; docx.Document(sys.argv[1]).save(sys.argv[2])"
PEER_PAGE_PROPS = ("import docx, sys\n"
                   "from docx.shared import Twips\n"
                   "d = docx.Document(sys.argv[1]); s = d.sections[0]\n"
                   "s.top_margin = s.bottom_margin = Twips(1134); s.left_margin = s.right_margin = Twips(1418)\n"
                   "s.header_distance = s.footer_distance = Twips(709); s.gutter = Twips(0)\n"
                   "d.core_properties.title = 'Benchmarked'; d.save(sys.argv[2])")


class Context:
    """What a task's command line is built from."""

    def __init__(self, driver, cli, args, input_path, out_path):
        self.driver = driver
        self.cli = cli
        self.peer_python = args.peer_python
        self.pandoc = args.pandoc
        self.input = input_path
        self.out = out_path


# A comparison: the task's median over `baseline`'s median, with the goal it is
# held to (None: shown, not judged). `max_wall` and `max_rss` are upper bounds
# on the ratios; a bound of 1.0 on memory means "less than the baseline".
Compare = collections.namedtuple("Compare", "baseline max_wall max_rss")
Compare.__new__.__defaults__ = (None, None)


class Task:
    def __init__(self, key, label, argv, needs=(), compare=(), writes=True, kind="docx", max_rss_per_body_byte=None):
        self.key = key          # short name, used by --tasks and by comparisons
        self.label = label      # shown in the table
        self.argv = argv        # Context -> list of arguments
        self.needs = needs      # requirement names: "python-docx", "pandoc"
        self.compare = compare  # Compare tuples
        self.writes = writes    # leaves a package at ctx.out, checked at the end
        self.kind = kind        # the input it takes: "docx" (a package), "large-docx" (the large one) or "html" (a page)
        # The goal on peak memory over the bytes of the input's main part (None: not judged).
        self.max_rss_per_body_byte = max_rss_per_body_byte


TASKS = [
    Task("zlib-floor", "zlib alone: inflate + deflate every member",
         lambda c: [c.driver, "zlib-floor", c.input], writes=False),
    Task("python-docx", "python-docx: open + save",
         lambda c: [c.peer_python, "-c", PEER_OPEN_SAVE, c.input, c.out], needs=("python-docx",)),
    Task("open-saveas", "lxdocx: open + save-as",
         lambda c: [c.driver, "open-saveas", c.input, c.out],
         compare=(Compare("zlib-floor", max_wall=3.0),
                  Compare("python-docx", max_wall=0.5, max_rss=1.0))),
    Task("open-edit-saveas", "lxdocx: open + one body edit (set_body_html) + save-as",
         lambda c: [c.driver, "open-edit-saveas", c.input, c.out],
         compare=(Compare("open-saveas"), Compare("python-docx"))),
    Task("python-docx-page-props", "python-docx: open + margins + title + save",
         lambda c: [c.peer_python, "-c", PEER_PAGE_PROPS, c.input, c.out], needs=("python-docx",)),
    Task("open-page-props-saveas", "lxdocx: open + margins + title + save-as",
         lambda c: [c.driver, "open-page-props-saveas", c.input, c.out],
         compare=(Compare("python-docx-page-props", max_wall=1.0, max_rss=1.0),)),
    Task("pandoc-docx", "pandoc -f docx -t docx",
         lambda c: [c.pandoc, "-f", "docx", "-t", "docx", "-o", c.out, c.input], needs=("pandoc",)),
    Task("resave", "lxdocx: lxDocx_resave_full",
         lambda c: [c.driver, "resave", c.input, c.out],
         compare=(Compare("pandoc-docx", max_wall=0.2, max_rss=1 / 3), Compare("open-saveas"))),
    Task("qt-sethtml", "Qt alone: QTextDocument::setHtml",
         lambda c: [c.driver, "qt-sethtml", c.input], writes=False, kind="html"),
    Task("pandoc-html", "pandoc -f html -t docx",
         lambda c: [c.pandoc, "-f", "html", "-t", "docx", "-o", c.out, c.input], needs=("pandoc",), kind="html"),
    Task("write-html", "lxdocx: lxDocx_write_html",
         lambda c: [c.driver, "write-html", c.input, c.out], kind="html",
         compare=(Compare("pandoc-html", max_wall=0.2, max_rss=0.1), Compare("qt-sethtml"))),
    Task("cli-info", "lxdocx info (parts, sections, paragraph count, headings)",
         lambda c: [c.cli, "info", c.input], writes=False, kind="large-docx",
         max_rss_per_body_byte=MAX_RSS_PER_BODY_BYTE),
    Task("cli-preview", "lxdocx preview to PDF (every page laid out)",
         lambda c: [c.cli, "preview", c.input, c.out[:-len(".docx")] + ".pdf"], writes=False,
         kind="large-docx", max_rss_per_body_byte=MAX_RSS_PER_BODY_BYTE),
]


def peer_has_docx(peer_python):
    if not os.access(peer_python, os.X_OK):
        return False
    return subprocess.run([peer_python, "-c", "import docx"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def peer_docx_version(peer_python):
    r = subprocess.run([peer_python, "-c", "import docx; print(getattr(docx, '__version__', '?'))"],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, universal_newlines=True)
    return r.stdout.strip() or "?"


def pandoc_version(pandoc):
    r = subprocess.run([pandoc, "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                       universal_newlines=True)
    return (r.stdout.splitlines() or ["?"])[0]


def run_once(argv, stderr_path):
    """Runs argv to the end; returns (wall seconds, peak RSS in bytes, exit code)."""
    with open(stderr_path, "wb") as err:
        start = time.perf_counter()
        p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status) if hasattr(os, "waitstatus_to_exitcode") else (status >> 8)
    p.returncode = code  # reaped here: keep Popen from waiting again
    return wall, usage.ru_maxrss * 1024, code  # Linux counts ru_maxrss in KiB


def self_peak_rss():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def fmt_ratio(value, bound):
    if value is None:
        return "-"
    text = "%.2fx" % value
    if bound is not None:
        text += " (%s %s)" % ("ok" if value <= bound else "MISSED", ("<1x" if bound == 1.0 else "<=%gx" % bound))
    return text


def print_table(rows, headers):
    widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(len(headers))]
    line = "  ".join("%-*s" % (w, h) for w, h in zip(widths, headers))
    print(line)
    print("  ".join("-" * w for w in widths))
    for r in rows:
        print("  ".join("%-*s" % (w, c) if i == 0 else "%*s" % (w, c) for i, (w, c) in enumerate(zip(widths, r))))


def body_part_size(path):
    """The uncompressed size of the package's main part (word/document.xml), from the archive's directory."""
    with zipfile.ZipFile(path) as z:
        return z.getinfo("word/document.xml").file_size


def bench_input(name, path, tasks, args, workdir, driver, cli):
    """Times every task on one input. Returns ({task key: {"wall": [...], "rss": [...]}},
    this runner's own peak RSS while the tasks ran)."""
    ctxs = {}
    for t in tasks:
        out = os.path.join(workdir, "%s.%s.docx" % (name, t.key))
        ctxs[t.key] = Context(driver, cli, args, path, out)
    results = {t.key: {"wall": [], "rss": []} for t in tasks}
    rss_floor = self_peak_rss()
    err_path = os.path.join(workdir, "stderr.txt")
    for round_no in range(args.warmup + args.runs):
        counted = round_no >= args.warmup
        for t in tasks:
            argv = t.argv(ctxs[t.key])
            wall, rss, code = run_once(argv, err_path)
            if code != 0:
                with open(err_path, "r", errors="replace") as f:
                    message = f.read().strip()
                sys.exit("run_bench: task %s failed on %s (exit %d): %s\n  command: %s"
                         % (t.key, path, code, message, " ".join(argv)))
            if counted:
                results[t.key]["wall"].append(wall)
                results[t.key]["rss"].append(rss)
    # Every package a task wrote must be a sound archive.
    for t in tasks:
        if t.writes:
            with zipfile.ZipFile(ctxs[t.key].out) as z:
                bad = z.testzip()
            if bad:
                sys.exit("run_bench: %s wrote a package with a bad member: %s" % (t.key, bad))
    return results, rss_floor


def report(name, path, tasks, results, rss_floor):
    by_key = {t.key: t for t in tasks}
    med = {k: (statistics.median(v["wall"]), statistics.median(v["rss"])) for k, v in results.items()}
    print()
    print("== %s: %s (%.2f MB on disk)" % (name, path, os.path.getsize(path) / 1e6))
    rows = []
    for t in tasks:
        walls = results[t.key]["wall"]
        wall, rss = med[t.key]
        rss_text = "%.1f" % (rss / 1e6)
        if rss <= rss_floor:
            rss_text = "<=" + rss_text  # at or under what this runner can resolve
        compares = [c for c in t.compare if c.baseline in by_key]
        first = [t.label, "%.3f" % wall, "%.3f-%.3f" % (min(walls), max(walls)), rss_text]
        if not compares:
            rows.append(first + ["", "", ""])
        for i, c in enumerate(compares):
            bwall, brss = med[c.baseline]
            lead = first if i == 0 else ["", "", "", ""]
            rows.append(lead + ["vs " + c.baseline, fmt_ratio(wall / bwall, c.max_wall),
                                fmt_ratio(rss / brss, c.max_rss)])
    print_table(rows, ["task", "median wall (s)", "min-max (s)", "median peak RSS (MB)",
                       "baseline", "wall ratio", "peak RSS ratio"])
    judged = [t for t in tasks if t.max_rss_per_body_byte is not None]
    if judged:
        body = body_part_size(path)
        print("peak RSS per byte of word/document.xml (%.2f MB):" % (body / 1e6))
        for t in judged:
            per_byte = med[t.key][1] / body
            print("  %-12s %.1f B/B (%s <=%g)" % (t.key, per_byte, "ok" if per_byte <= t.max_rss_per_body_byte
                                                   else "MISSED", t.max_rss_per_body_byte))
    return med


def main(argv=None):
    parser = argparse.ArgumentParser(description="Run the LorvexDocx benchmark.")
    parser.add_argument("build_dir", help="CMake build directory holding bench/lxdocx_bench")
    parser.add_argument("--runs", type=int, default=5, help="counted runs of each task (default %(default)s)")
    parser.add_argument("--warmup", type=int, default=1, help="uncounted runs first (default %(default)s)")
    parser.add_argument("--tasks", help="comma-separated task keys to run (default: all): "
                        + ", ".join(t.key for t in TASKS))
    parser.add_argument("--input", action="append", default=[],
                        help="another package to run the tasks on (repeatable)")
    parser.add_argument("--manual", default=DEFAULT_MANUAL,
                        help="real-world package run when it exists (default %(default)s)")
    parser.add_argument("--manual-html", default=DEFAULT_MANUAL_HTML,
                        help="real-world HTML page run when it exists (default %(default)s)")
    parser.add_argument("--input-html", action="append", default=[],
                        help="another HTML page to run the page tasks on (repeatable)")
    parser.add_argument("--paragraphs", type=int, default=None, help="paragraphs of the generated package")
    parser.add_argument("--page-size", type=int, default=None, help="bytes of the generated HTML page")
    parser.add_argument("--large-paragraphs", type=int, default=LARGE_PARAGRAPHS,
                        help="paragraphs of the large package the info and preview tasks read (default %(default)s)")
    parser.add_argument("--peer-python", default=PEER_PYTHON,
                        help="the Python that runs python-docx (default %(default)s)")
    parser.add_argument("--pandoc", default=shutil.which("pandoc") or "pandoc",
                        help="the pandoc run as the HTML peer (default %(default)s)")
    parser.add_argument("--workdir", help="keep the generated package and outputs here instead of a temp dir")
    args = parser.parse_args(argv)
    if args.runs < 1 or args.warmup < 0:
        parser.error("--runs must be at least 1 and --warmup at least 0")

    driver = os.path.join(os.path.abspath(args.build_dir), "bench", "lxdocx_bench")
    if not os.access(driver, os.X_OK):
        sys.exit("run_bench: %s not found; build it first:\n  cmake --build %s --target lxdocx_bench"
                 % (driver, args.build_dir))
    cli = os.path.join(os.path.abspath(args.build_dir), "tools", "lxdocx", "lxdocx")

    requirements = {"python-docx": peer_has_docx(args.peer_python),
                    "pandoc": shutil.which(args.pandoc) is not None}
    tasks = TASKS
    if args.tasks:
        wanted = args.tasks.split(",")
        unknown = [k for k in wanted if k not in {t.key for t in TASKS}]
        if unknown:
            parser.error("unknown task(s): " + ", ".join(unknown))
        tasks = [t for t in TASKS if t.key in wanted]
    skipped = [t for t in tasks if not all(requirements.get(n, False) for n in t.needs)]
    tasks = [t for t in tasks if t not in skipped]
    if any(t.kind == "large-docx" for t in tasks) and not os.access(cli, os.X_OK):
        sys.exit("run_bench: %s not found; build it first:\n  cmake --build %s --target lxdocx"
                 % (cli, args.build_dir))

    tmp = None
    workdir = args.workdir
    if workdir:
        os.makedirs(workdir, exist_ok=True)
    else:
        tmp = tempfile.TemporaryDirectory(prefix="lxdocx-bench-")
        workdir = tmp.name
    try:
        # Inputs are written by child processes: a child's ru_maxrss is never
        # below its parent's peak when it was started, so this runner stays small.
        kinds = {t.kind for t in tasks}
        generated_notes = []
        inputs = []  # (name, path, kind)

        def generate(cmd, what):
            gen = subprocess.run(cmd, stdout=subprocess.PIPE, universal_newlines=True)
            if gen.returncode != 0:
                sys.exit("run_bench: generating the %s failed" % what)
            generated_notes.append(gen.stdout.strip())

        # Per kind: the generator and its size option, then the real-world
        # input and the extra ones given on the command line.
        sources = [
            ("docx", "package", GENERATOR, "--paragraphs", args.paragraphs, "generated",
             "manual8", args.manual, args.input, "input"),
            ("html", "page", PAGE_GENERATOR, "--size", args.page_size, "generated-html",
             "manual8-html", args.manual_html, args.input_html, "page"),
            ("large-docx", "large package", GENERATOR, "--paragraphs", args.large_paragraphs, "generated-large",
             None, None, [], None),
        ]
        for kind, what, generator, size_option, size, generated_name, manual_name, manual, extras, prefix in sources:
            if kind not in kinds:
                continue
            generated = os.path.join(workdir, generated_name + "." + kind.split("-")[-1])
            gen_cmd = [sys.executable, generator, generated]
            if size:
                gen_cmd += [size_option, str(size)]
            generate(gen_cmd, what)
            inputs.append((generated_name, generated, kind))
            if manual and os.path.isfile(manual):
                inputs.append((manual_name, manual, kind))
            for i, extra in enumerate(extras):
                inputs.append(("%s%d" % (prefix, i + 1), extra, kind))

        print("LorvexDocx benchmark: %s, %s, %d CPUs, Python %s"
              % (platform.node(), platform.machine(), os.cpu_count() or 0, platform.python_version()))
        print("%d counted runs per task after %d warm-up; medians; ratios = task median / baseline median, "
              "same run" % (args.runs, args.warmup))
        for note in generated_notes:
            print("generated: " + note)
        if requirements["python-docx"] and any("python-docx" in t.needs for t in tasks):
            print("python-docx %s under %s" % (peer_docx_version(args.peer_python), args.peer_python))
        if requirements["pandoc"] and any("pandoc" in t.needs for t in tasks):
            print("%s at %s" % (pandoc_version(args.pandoc), shutil.which(args.pandoc)))
        for t in skipped:
            print("skipped %s: needs %s" % (t.key, ", ".join(n for n in t.needs if not requirements.get(n))))
        print("a child's peak RSS is never reported below this runner's own peak at its start "
              "(%.1f MB now): figures at or under it are marked <=" % (self_peak_rss() / 1e6))

        for name, path, kind in inputs:
            of_kind = [t for t in tasks if t.kind == kind]
            results, rss_floor = bench_input(name, path, of_kind, args, workdir, driver, cli)
            report(name, path, of_kind, results, rss_floor)
    finally:
        if tmp:
            tmp.cleanup()
    return 0


if __name__ == "__main__":
    sys.exit(main())
