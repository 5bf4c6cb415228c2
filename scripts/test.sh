#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice (a
# normal build, which also installs into a temporary prefix and tests the
# Python package, and an AddressSanitizer + UndefinedBehaviorSanitizer build),
# then runs the fuzzers for a bounded time. Tests that run over the corpus of
# real documents (LXDOCX_CORPUS_DIR, else ../shared/corpus) skip without one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build-essential cmake pkg-config qt6-base-dev libqt6gui6 libqt6svg6 qt6-image-formats-plugins \
  zlib1g-dev libgtest-dev clang libclang-rt-14-dev python3 python3-docx python3-docxtpl python3-pytest python3-venv \
  python3-distributed unzip poppler-utils libreoffice-writer-nogui chromium
jobs="$(nproc)"
launcher=()   # a compiler cache, when there is one, makes later runs quick
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="*.debug=false"

corpus="${LXDOCX_CORPUS_DIR:-../shared/corpus}"
if ! compgen -G "$corpus/*.docx" >/dev/null; then
  echo "No corpus of real documents in $corpus: the tests that run over one skip" \
    "(set LXDOCX_CORPUS_DIR to a folder of .docx files)"
fi

echo "== normal build"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLXDOCX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-test -j"$jobs" >/dev/null
ctest --test-dir build-test -j"$jobs" --output-on-failure --timeout 900

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLXDOCX_SANITIZE=ON -DLXDOCX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-asan -j"$jobs" >/dev/null
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 1800

echo "== fuzzing"
scripts/fuzz.sh "${FUZZ_SECONDS:-180}"
