"""Many documents at once: a template rendered for many records, or a function
run over many documents, on the workers of a Dask cluster or in a local pool of
processes.

    from dask.distributed import Client, LocalCluster
    from lorvexdocx import bulk

    if __name__ == "__main__":
        with LocalCluster(n_workers=2, threads_per_worker=1) as cluster, Client(cluster) as client:
            records = [{"customer": f"Customer {i}", "total": i * 10} for i in range(1000)]
            results = bulk.render_many("invoice.docx", records, "out/", client=client, progress=True)
            print(sum(r.error is None for r in results), "written")

The work goes out in shares of consecutive records, several per worker thread;
the records of a share render on a few threads of their own (RENDER_THREADS),
one document each, the library being safe for one document per thread. With
a Client, each share is a Dask task: the template travels to each worker
once (scattered) and is kept on the worker's local disk for the shares it
runs; `out_dir` must be a folder the workers can write to under that name (a
shared file system when they run on other machines). Without one, a local pool
of processes (started with "spawn": a script calling these functions needs the
``if __name__ == "__main__":`` guard) does the same.

Every record gets a Result, in the order of the records: its index, the path
written and None, or None and the text of what failed (the library's text for
its own failures). A failure never stops the run, not even a worker lost
while running a share: the records of that share then carry that failure.
"""
from __future__ import annotations

import atexit
import hashlib
import math
import multiprocessing
import os
import shutil
import tempfile
import threading
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor
from typing import Any, Callable, Dict, Iterable, List, Mapping, NamedTuple, Optional, Sequence, Tuple

from . import Document, LorvexDocxError, PathArg, _template
from . import open as open_document

#: Shares handed out per worker thread (or pool process): enough for the
#: scheduler to even the load and for a progress bar to move.
SHARES_PER_SLOT = 4
#: The name of each rendered document in `out_dir`, formatted with the record's index.
DEFAULT_NAME = "{index:05d}.docx"
#: Threads rendering the records of one share. The library is safe for one
#: document per thread and Python lets go of the interpreter during its calls,
#: so one record's wait for the disk (a saved document is flushed to it)
#: overlaps the work of another.
RENDER_THREADS = 4


class Result(NamedTuple):
    """What became of one record (or one path of convert_many)."""

    record: int  #: the index of the record in the sequence given
    path: Optional[str]  #: the document written (or the path convert_many's function gave); None on failure
    error: Optional[str]  #: None on success, else the text of what failed

    @property
    def ok(self) -> bool:
        """Whether the record succeeded."""
        return self.error is None


# A share: (index, item) pairs of consecutive records or paths.
Share = List[Tuple[int, Any]]


def render_many(template: PathArg, records: Iterable[Mapping[str, Any]], out_dir: PathArg, client: Any = None, *,
                strict: bool = False, resources: Optional[PathArg] = None, name: str = DEFAULT_NAME,
                progress: bool = False, processes: Optional[int] = None) -> List[Result]:
    """Renders the template once per record (see Document.render) and saves
    each result in `out_dir` as `name` formatted with the record's index
    ("00042.docx"). With `client`, a dask.distributed Client, the shares run as
    Dask tasks on its workers, shown by Dask's progress bar when `progress` is
    true; without one, in a pool of `processes` local processes (default: one
    a CPU). `strict` and `resources` are those of Document.render; the
    resource folder must exist where the work runs. Returns a Result a
    record, in the records' order."""
    with open(template, "rb") as f:
        template_data = f.read()
    out = os.path.abspath(os.fsdecode(os.fspath(out_dir)))
    os.makedirs(out, exist_ok=True)
    folder = None if resources is None else os.path.abspath(os.fsdecode(os.fspath(resources)))
    results: Dict[int, Result] = {}
    items: List[Tuple[int, Any]] = []
    for index, record in enumerate(records):
        try:
            items.append((index, (_template.data_json(record), os.path.join(out, name.format(index=index)))))
        except Exception as e:  # a record whose data cannot be written is that record's failure
            results[index] = Result(index, None, _describe(e))
    work = _RenderWork(strict, folder)
    for result in _run(work, template_data, items, client, progress, processes):
        results[result.record] = result
    return [results[i] for i in sorted(results)]


def convert_many(paths: Iterable[PathArg], fn: Callable[[Document], Optional[PathArg]], client: Any = None, *,
                 progress: bool = False, processes: Optional[int] = None) -> List[Result]:
    """Opens each document and calls ``fn(doc)``, which may edit it, save it
    or write something from it (``doc.preview(...)``, ``doc.to_html()``);
    what fn returns, a path, is the result's path (when it returns None, the
    document's own path). The document is closed afterwards, unsaved unless
    fn saved it. `fn` must be picklable (a function of a module; with a Dask
    client, anything cloudpickle takes). `client`, `progress` and `processes`
    are those of render_many. Returns a Result a path, in the paths' order."""
    items = [(index, os.fsdecode(os.path.abspath(os.fspath(path)))) for index, path in enumerate(paths)]
    return _run(_ConvertWork(fn), None, items, client, progress, processes)


# -- the work of one share, run where the share runs ------------------------------------

class _Work:
    """What is done to one item of a share, given the template's local file
    (None when there is no template); returns the path written."""

    threads = 1  #: how many items of a share run at once

    def __call__(self, template: Optional[str], item: Any) -> str:
        raise NotImplementedError


class _RenderWork(_Work):
    """Renders (data, output path) items from the template."""

    threads = RENDER_THREADS

    def __init__(self, strict: bool, resources: Optional[str]) -> None:
        self.strict = strict
        self.resources = resources

    def __call__(self, template: Optional[str], item: Tuple[bytes, str]) -> str:
        payload, output = item
        with _copy_of_open_template(template) as doc:
            doc._fill(payload, self.strict, self.resources)
            doc.save_as(output)
        return output


class _ConvertWork(_Work):
    """Opens a path and gives the document to the function (one at a time: the function is the caller's code)."""

    def __init__(self, fn: Callable[[Document], Optional[PathArg]]) -> None:
        self.fn = fn

    def __call__(self, template: Optional[str], path: str) -> str:
        with open_document(path) as doc:
            written = self.fn(doc)
        return path if written is None else os.fsdecode(os.fspath(written))


def _describe(error: BaseException) -> str:
    """The text a failed record carries: the library's own text, else the exception's kind and text."""
    return str(error) if isinstance(error, LorvexDocxError) else f"{type(error).__name__}: {error}"


_local_templates: Dict[str, str] = {}
_local_folder: Optional[str] = None
_local_lock = threading.Lock()


def _local_template(data: bytes) -> str:
    """The template's file on this machine, written the first time this process needs it."""
    global _local_folder
    digest = hashlib.sha256(data).hexdigest()
    with _local_lock:
        if digest not in _local_templates:
            if _local_folder is None:
                _local_folder = tempfile.mkdtemp(prefix="lorvexdocx-templates-")
                atexit.register(shutil.rmtree, _local_folder, True)
            path = os.path.join(_local_folder, digest + ".docx")
            with open(path, "wb") as f:
                f.write(data)
            _local_templates[digest] = path
        return _local_templates[digest]


_open_templates: Dict[str, Document] = {}


def _copy_of_open_template(path: str) -> Document:
    """A copy of the template at `path`, which this process opens once and keeps open."""
    with _local_lock:  # one thread at a time on the open template's handle
        if path not in _open_templates:
            _open_templates[path] = open_document(path)
        return _open_templates[path].copy()


def _run_share(work: _Work, template: Optional[bytes], share: Share) -> List[Result]:
    local = None if template is None else _local_template(template)

    def run(entry: Tuple[int, Any]) -> Result:
        index, item = entry
        try:
            return Result(index, work(local, item), None)
        except Exception as e:
            return Result(index, None, _describe(e))

    if work.threads == 1:
        return [run(entry) for entry in share]
    with ThreadPoolExecutor(max_workers=work.threads) as threads:
        return list(threads.map(run, share))


# -- handing the shares out ----------------------------------------------------------------

def _shares(items: Sequence[Tuple[int, Any]], slots: int) -> List[Share]:
    count = max(1, min(len(items), slots * SHARES_PER_SLOT))
    size = math.ceil(len(items) / count) if items else 0
    return [list(items[i:i + size]) for i in range(0, len(items), size)] if size else []


def _failed_share(share: Share, error: BaseException) -> List[Result]:
    return [Result(index, None, _describe(error)) for index, _ in share]


def _run(work: _Work, template: Optional[bytes], items: Sequence[Tuple[int, Any]],
         client: Any, progress: bool, processes: Optional[int]) -> List[Result]:
    if not items:
        return []
    if client is not None:
        return _run_on_dask(work, template, items, client, progress)
    return _run_in_pool(work, template, items, processes or os.cpu_count() or 1)


def _run_on_dask(work, template, items, client, progress) -> List[Result]:
    slots = sum(client.nthreads().values()) or 1
    shared = client.scatter(template, broadcast=True) if template is not None else None
    shares = _shares(items, slots)
    futures = [client.submit(_run_share, work, shared, share, pure=False) for share in shares]
    if progress:
        from distributed import progress as show_progress
        show_progress(futures)
    results: List[Result] = []
    for share, future in zip(shares, futures):
        try:
            results += future.result()
        except Exception as e:  # the share's task failed as a whole (a worker lost, say)
            results += _failed_share(share, e)
    return results


def _run_in_pool(work, template, items, processes: int) -> List[Result]:
    shares = _shares(items, processes)
    results: List[Result] = []
    with ProcessPoolExecutor(max_workers=processes, mp_context=multiprocessing.get_context("spawn")) as pool:
        futures = [pool.submit(_run_share, work, template, share) for share in shares]
        for share, future in zip(shares, futures):
            try:
                results += future.result()
            except Exception as e:  # the share's process died, or its work could not be sent
                results += _failed_share(share, e)
    return results
