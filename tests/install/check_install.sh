#!/bin/sh
# Installs a build into a temporary prefix and checks what a user gets: the shared library with its SONAME
# links, the headers, lxdocx, the CMake package and lorvexdocx.pc, and no static library. Then builds a small C
# host against it twice, through pkg-config and through find_package, and runs it.
# Usage: check_install.sh BUILD_DIR SAMPLE.docx
set -eu
build=$1 sample=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "$*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log"
lib=$(find "$prefix" -name 'libLorvexDocx.so.*.*.*' | head -n 1)
[ -n "$lib" ] || fail "no shared library installed: $(cat "$work/install.log")"
libdir=$(dirname "$lib")
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')
[ -L "$libdir/$soname" ] && [ -L "$libdir/libLorvexDocx.so" ] || fail "SONAME links missing: $(ls -l "$libdir")"
for f in include/lorvexdocx.h include/lorvexdocx_version.h bin/lxdocx; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -f "$libdir/cmake/LorvexDocx/LorvexDocxConfigVersion.cmake" ] || fail "no CMake package version file"
if find "$prefix" -name '*.a' | grep .; then fail "static libraries installed"; fi
expected="title: Field Notes on Lichens"
# pkg-config, as a Makefile would use it.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
version=$(sed -n 's/^#define LORVEXDOCX_VERSION_STRING "\(.*\)"$/\1/p' "$prefix/include/lorvexdocx_version.h")
[ "$(pkg-config --modversion lorvexdocx)" = "$version" ] || fail "lorvexdocx.pc differs from the header's $version"
# shellcheck disable=SC2046
cc -Wall -Werror -o "$work/host-pc" "$here/host.c" $(pkg-config --cflags --libs lorvexdocx)
out=$(LD_LIBRARY_PATH="$libdir" "$work/host-pc" "$sample")
[ "$out" = "$expected" ] || fail "pkg-config host printed: $out"
# find_package(LorvexDocx).
cmake -S "$here" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" ||
  fail "$(cat "$work/configure.log")"
cmake --build "$work/cmake-host" >"$work/build.log" || fail "$(cat "$work/build.log")"
out=$("$work/cmake-host/host" "$sample")
[ "$out" = "$expected" ] || fail "find_package host printed: $out"
# The installed lxdocx carries the library in itself: one copy in its process.
"$prefix/bin/lxdocx" props "$sample" | grep -q "Field Notes on Lichens" || fail "installed lxdocx failed"
if ldd "$prefix/bin/lxdocx" | grep -q "$soname"; then fail "lxdocx loads the shared library as well"; fi
echo "installed, and both hosts ran: $out"
