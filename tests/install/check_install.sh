#!/bin/sh
# Installs a build into a temporary prefix and checks what a user gets: the
# shared library with its SONAME links, the headers, lxdocx, the CMake package
# and lorvexdocx.pc, and no static library. Then builds a small C host against
# it twice, through pkg-config and through find_package, and runs it.
# Usage: check_install.sh BUILD_DIR SAMPLE.docx
set -eu
build=$1
sample=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >"$work/install.log"
lib=$(find "$prefix" -name 'libLorvexDocx.so.*.*.*' | head -n 1)
[ -n "$lib" ] || { echo "no shared library installed"; cat "$work/install.log"; exit 1; }
libdir=$(dirname "$lib")
soname=$(objdump -p "$lib" | awk '$1 == "SONAME" { print $2 }')
[ -L "$libdir/$soname" ] && [ -L "$libdir/libLorvexDocx.so" ] || { echo "SONAME links missing"; ls -l "$libdir"; exit 1; }
for f in include/lorvexdocx.h include/lorvexdocx_version.h bin/lxdocx; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ -f "$libdir/cmake/LorvexDocx/LorvexDocxConfigVersion.cmake" ] || { echo "no CMake package version file"; exit 1; }
if find "$prefix" -name '*.a' | grep .; then echo "static libraries installed"; exit 1; fi
expected="title: Field Notes on Lichens"

# pkg-config, as a Makefile would use it.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion lorvexdocx)" = "$(sed -n 's/^#define LORVEXDOCX_VERSION_STRING "\(.*\)"$/\1/p' "$prefix/include/lorvexdocx_version.h")" ]
# shellcheck disable=SC2046
cc -Wall -Werror -o "$work/host-pc" "$here/host.c" $(pkg-config --cflags --libs lorvexdocx)
out=$(LD_LIBRARY_PATH="$libdir" "$work/host-pc" "$sample")
[ "$out" = "$expected" ] || { echo "pkg-config host printed: $out"; exit 1; }

# find_package(LorvexDocx).
cmake -S "$here" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" ||
  { cat "$work/configure.log"; exit 1; }
cmake --build "$work/cmake-host" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
out=$("$work/cmake-host/host" "$sample")
[ "$out" = "$expected" ] || { echo "find_package host printed: $out"; exit 1; }

# The installed lxdocx finds the installed library.
"$prefix/bin/lxdocx" props "$sample" | grep -q "Field Notes on Lichens" || { echo "installed lxdocx failed"; exit 1; }
loaded=$(ldd "$prefix/bin/lxdocx" | awk -v so="$soname" '$1 == so { print $3 }')
[ "$(realpath "$loaded")" = "$(realpath "$libdir/$soname")" ] || { echo "lxdocx loads $loaded"; exit 1; }
echo "installed, and both hosts ran: $out"
