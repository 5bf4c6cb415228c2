#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# seeded with packages (the bundled sample, small generated ones, and the
# corpus of real documents when there is one: LXDOCX_CORPUS_DIR, else
# ../shared/corpus beside the repository) for the package reader, their body
# parts for the rich-text path, and HTML pages (the bundled sample and small
# generated pages) for the HTML writer, and templates with their data (the
# tags of every kind, nul-separated from JSON) for the template renderer.
# Usage: scripts/fuzz.sh [TOTAL_SECONDS], shared evenly by the targets.
# The seed is fixed (FUZZ_SEED, default 1) so that a run can be repeated;
# FUZZ_SEED=0 lets each run pick its own and explore further.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-180}"
corpus="${LXDOCX_CORPUS_DIR:-../shared/corpus}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLXDOCX_FUZZ=ON \
  -DLXDOCX_TESTS=OFF -DLXDOCX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_package fuzz_richtext fuzz_html fuzz_template >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/packages" "$work/bodies" "$work/pages" "$work/templates"
cp samples/sample.docx "$work/packages/"
for seed in 1 2 3 4; do
  python3 bench/make_package.py --paragraphs 30 --seed "$seed" "$work/packages/generated$seed.docx" >/dev/null
done
if compgen -G "$corpus/*.docx" >/dev/null; then
  cp "$corpus"/*.docx "$work/packages/"
else
  echo "fuzz.sh: no corpus of real documents in $corpus (set LXDOCX_CORPUS_DIR): seeding from the bundled sample and generated packages"
fi
for f in "$work"/packages/*.docx; do
  unzip -p "$f" word/document.xml > "$work/bodies/$(basename "$f" .docx).xml" 2>/dev/null || true
done
cp samples/sample.html "$work/pages/"
python3 fuzz/nested_seeds.py "$work/bodies" "$work/packages"  # markup nested close to the limit
for seed in 1 2 3 4; do
  python3 bench/make_html.py --size 20000 --seed "$seed" "$work/pages/generated$seed.html" >/dev/null
done
python3 fuzz/template_seeds.py "$work/templates"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
targets="fuzz_package:packages fuzz_richtext:bodies fuzz_html:pages fuzz_template:templates"
each=$(( seconds / 4 > 0 ? seconds / 4 : 1 ))
for target in $targets; do
  name="${target%%:*}"; seeds="$work/${target##*:}"
  echo "== $name for ${each}s"
  status=0
  (cd "$work" && "$OLDPWD/build-fuzz/fuzz/$name" -max_total_time="$each" -seed="${FUZZ_SEED:-1}" -timeout=20 -rss_limit_mb=3072 \
    -print_final_stats=1 "$seeds" >"$work/$name.log" 2>&1) || status=$?
  grep -E "^stat::number_of_executed_units|^Done" "$work/$name.log" || true
  if [ "$status" != 0 ]; then
    tail -n 40 "$work/$name.log"
    mkdir -p build-fuzz/crashes && cp "$work"/crash-* "$work"/timeout-* "$work"/oom-* build-fuzz/crashes/ 2>/dev/null || true
    echo "fuzz.sh: $name failed (inputs kept in build-fuzz/crashes)"
    exit 1
  fi
done
