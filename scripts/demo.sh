#!/usr/bin/env bash
# Installs what is missing, builds the library and the lxdocx host, and shows a
# bundled sample document.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build-essential cmake qt6-base-dev libqt6gui6 zlib1g-dev
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DLXDOCX_TESTS=OFF -DLXDOCX_BENCH=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target lxdocx >/dev/null
build-release/tools/lxdocx/lxdocx info samples/sample.docx
