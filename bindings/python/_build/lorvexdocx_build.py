"""The build backend of the lorvexdocx package (PEP 517), with nothing to install first.

pip builds a package in an environment of its own holding only what the package
asks for; without a package index to fetch setuptools from, a backend that needs
nothing is what works everywhere. This one builds the LorvexDocx shared library
with CMake (the shared library target only, a Release build, ccache when there is
one) and writes a wheel holding the Python package and the library, with the
standard library's zipfile. The metadata comes from the [project] table of
bindings/python/pyproject.toml.

Environment (all optional): LORVEXDOCX_BUILD_DIR, the CMake build directory
(default: build-wheel/ at the repository's root, so later builds are
incremental); CMAKE_BUILD_PARALLEL_LEVEL, the parallel jobs (default 2).
"""
from __future__ import annotations

import base64
import hashlib
import os
import shutil
import subprocess
import sys
import sysconfig
import zipfile
from pathlib import Path
from typing import Dict, Iterator, List, Optional, Tuple

PACKAGE_ROOT = Path(__file__).resolve().parents[1]   # bindings/python
REPOSITORY = PACKAGE_ROOT.parents[1]
PACKAGE = "lorvexdocx"
LIBRARY_TARGET = "LorvexDocx"
LIBRARY_FILE = "libLorvexDocx.so.1"   # the name the package loads (its SONAME)
DEFAULT_JOBS = "2"
_GENERATOR = "lorvexdocx_build"


# -- the hooks pip calls ------------------------------------------------------------

def get_requires_for_build_wheel(config_settings: Optional[dict] = None) -> List[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str, config_settings: Optional[dict] = None) -> str:
    dist_info = Path(metadata_directory) / _dist_info_name()
    dist_info.mkdir(parents=True, exist_ok=True)
    for name, data in _metadata_files().items():
        (dist_info / name).write_bytes(data)
    return dist_info.name


def build_wheel(wheel_directory: str, config_settings: Optional[dict] = None,
                metadata_directory: Optional[str] = None) -> str:
    library = build_library()
    wheel_name = f"{_distribution()}-{_project()['version']}-py3-none-{_platform_tag()}.whl"
    files = list(_package_files()) + [(f"{PACKAGE}/{LIBRARY_FILE}", library.read_bytes())]
    files += [(f"{_dist_info_name()}/{name}", data) for name, data in _metadata_files().items()]
    _write_wheel(Path(wheel_directory) / wheel_name, files)
    return wheel_name


# -- the library ----------------------------------------------------------------------

def _build_dir() -> Path:
    return Path(os.environ.get("LORVEXDOCX_BUILD_DIR") or REPOSITORY / "build-wheel")


def _cmake_options() -> List[str]:
    """A Release build of the library alone. The library carries no run path:
    it finds Qt where the system keeps libraries, on this machine or another."""
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DLXDOCX_TESTS=OFF", "-DLXDOCX_BENCH=OFF", "-DLXDOCX_INSTALL=OFF",
               "-DCMAKE_SKIP_RPATH=ON"]
    if shutil.which("ccache"):
        options += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
    return options


def _run(command: List[str]) -> None:
    """Runs a build step, its output going to pip's log (stderr), which pip shows when the build fails."""
    print("+", " ".join(command), file=sys.stderr, flush=True)
    subprocess.run(command, check=True, stdout=sys.stderr)


def build_library() -> Path:
    """Configures and builds the shared library; returns the built file."""
    if not (REPOSITORY / "CMakeLists.txt").is_file():
        raise RuntimeError(f"The LorvexDocx sources are not at {REPOSITORY}: build the package from the repository")
    cmake = shutil.which("cmake")
    if cmake is None:
        raise RuntimeError("Building lorvexdocx needs CMake (and a C++17 compiler, Qt 6 and zlib)")
    build = _build_dir()
    _run([cmake, "-S", str(REPOSITORY), "-B", str(build)] + _cmake_options())
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or DEFAULT_JOBS
    _run([cmake, "--build", str(build), "--target", LIBRARY_TARGET, "-j", jobs])
    built = build / LIBRARY_FILE
    if not built.exists():
        raise RuntimeError(f"CMake built no {LIBRARY_FILE} in {build}")
    return built.resolve()


# -- metadata -------------------------------------------------------------------------

def _project() -> Dict[str, object]:
    """The [project] table of bindings/python/pyproject.toml."""
    try:
        import tomllib
    except ImportError:  # Python before 3.11
        import tomli as tomllib  # type: ignore[no-redef]
    with open(PACKAGE_ROOT / "pyproject.toml", "rb") as f:
        return tomllib.load(f)["project"]


def _distribution() -> str:
    return str(_project()["name"]).replace("-", "_")


def _dist_info_name() -> str:
    return f"{_distribution()}-{_project()['version']}.dist-info"


def _platform_tag() -> str:
    return sysconfig.get_platform().replace("-", "_").replace(".", "_")


def _metadata() -> str:
    project = _project()
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}",
             f"Summary: {project['description']}", f"Requires-Python: {project['requires-python']}",
             f"License: {project['license']['text']}"]
    lines += [f"Classifier: {c}" for c in project.get("classifiers", [])]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {r}; extra == "{extra}"' for r in requirements]
    lines.append("Description-Content-Type: text/markdown")
    readme = (PACKAGE_ROOT / str(project["readme"])).read_text(encoding="utf-8")
    return "\n".join(lines) + "\n\n" + readme


def _metadata_files() -> Dict[str, bytes]:
    wheel = f"Wheel-Version: 1.0\nGenerator: {_GENERATOR}\nRoot-Is-Purelib: false\nTag: py3-none-{_platform_tag()}\n"
    return {"METADATA": _metadata().encode("utf-8"), "WHEEL": wheel.encode("utf-8")}


# -- the wheel ------------------------------------------------------------------------

def _package_files() -> Iterator[Tuple[str, bytes]]:
    source = PACKAGE_ROOT / PACKAGE
    for path in sorted(source.rglob("*")):
        if path.is_file() and "__pycache__" not in path.parts and path.suffix != ".so" and ".so." not in path.name:
            yield path.relative_to(PACKAGE_ROOT).as_posix(), path.read_bytes()


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")
    return f"{name},sha256={digest},{len(data)}"


def _write_wheel(path: Path, files: List[Tuple[str, bytes]]) -> None:
    record = f"{_dist_info_name()}/RECORD"
    lines = [_record_line(name, data) for name, data in files] + [f"{record},,"]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if name.endswith(LIBRARY_FILE) else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
        wheel.writestr(record, "\n".join(lines) + "\n")
