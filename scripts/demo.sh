#!/usr/bin/env bash
# Installs what is missing, builds the library and the lxdocx host, turns the
# bundled sample HTML page into a DOCX and shows what is in it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build-essential cmake qt6-base-dev libqt6gui6 libqt6svg6 qt6-image-formats-plugins zlib1g-dev
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DLXDOCX_TESTS=OFF -DLXDOCX_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target lxdocx >/dev/null
mkdir -p out
build-release/tools/lxdocx/lxdocx from-html samples/sample.html out/sample.docx
build-release/tools/lxdocx/lxdocx info out/sample.docx
