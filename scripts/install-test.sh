#!/usr/bin/env bash
# The installed driver, as an outside user gets it:
#
#   1. cmake --install into a staging folder (DESTDIR) under a prefix of its
#      own; no installed file may name the build folder;
#   2. a host (tests/install/host.c) built against the staged files with
#      pkg-config and another with find_package(tarvoscn), both run against the
#      staged simulator; the staged rt650scan scans, its manual page passes
#      `man --warnings`, its bash completion answers;
#   3. the Debian package (cpack), installed with apt, rt650scan --simulate
#      run from /usr/bin, pkg-config asked, and the package removed again.
#      Needs root (or sudo); TARVOSCN_SKIP_DEB=1 leaves this step out.
#
#   scripts/install-test.sh
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARVOSCN_BUILD_DIR:-$repo/build}"
"$repo/scripts/setup.sh" man-db dpkg-dev file

work="$build/install-test"
stage="$work/stage"
prefix=/opt/tarvoscn
rm -rf "$work"
mkdir -p "$work/root"
export TARVOSCN_ROOT="$work/root"
fail() { echo "install-test: $*" >&2; exit 1; }

echo "== staged install ($prefix)"
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" --strip >/dev/null
top="$stage$prefix"
lib="$top/$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")"
for f in "$lib/libtarvoscn.so.1.7" "$lib/libtarvoscn.so.1" "$lib/libtarvoscn.so" \
  "$lib/libklxjpeg.so" "$lib/libravezeva.so" "$lib/librt650sim.so" "$top/bin/rt650scan" \
  "$top/include/tarvoscn/tarvoscn.h" "$lib/pkgconfig/tarvoscn.pc" \
  "$lib/cmake/tarvoscn/tarvoscnConfig.cmake" "$lib/cmake/tarvoscn/tarvoscnConfigVersion.cmake" \
  "$top/share/tarvoscn/klxscan/rt650us.txt" "$top/share/man/man1/rt650scan.1" \
  "$top/share/bash-completion/completions/rt650scan"; do
  [ -e "$f" ] || fail "not installed: ${f#"$stage"}"
done
soname=$(objdump -p "$lib/libtarvoscn.so.1.7" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libtarvoscn.so.1 ] || fail "soname is '$soname'"
if named=$(grep -rlF "$build" "$stage"); then
  fail "installed files name the build folder $build: $named"
fi

echo "== hosts built against the staged files"
export PKG_CONFIG_PATH="$lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$stage"
# shellcheck disable=SC2046  # the flags are words
cc -o "$work/host-pkgconfig" "$repo/tests/install/host.c" $(pkg-config --cflags --libs tarvoscn)
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR
cmake -S "$repo/tests/install" -B "$work/host-cmake" -DCMAKE_PREFIX_PATH="$top" >/dev/null
cmake --build "$work/host-cmake" >/dev/null
printf 'scanner 0 0\nsynthetic 3 seed 5\n' > "$work/sim.conf"
for host in "$work/host-pkgconfig" "$work/host-cmake/host"; do
  out=$(cd "$work" && LD_LIBRARY_PATH="$lib" TARVOSCN_ASPI="$lib/librt650sim.so" \
    RT650SIM_CONFIG="$work/sim.conf" "$host" "$work/${host##*/}.tif")
  echo "$out"
  [ "$out" = "libtarvoscn.so.1 1.007 Tarvo RT650: 3 pages, result 6" ] || fail "${host##*/}: $out"
done

echo "== staged rt650scan"
(cd "$work" && "$top/bin/rt650scan" --version) | tee "$work/version.txt"
provider=$(cd "$work" && "$top/bin/rt650scan" --simulate --version | sed -n 's/^provider: //p')
[ "$(readlink -f "$provider")" = "$(readlink -f "$lib/librt650sim.so")" ] ||
  fail "rt650scan --simulate uses the provider '$provider', not the staged one"
(cd "$work" && "$top/bin/rt650scan" --simulate="$top/share/tarvoscn/sim/separator-job.conf" \
  -n 2 -f png -q)
for png in page001.png page002.png; do
  [ -s "$work/$png" ] || fail "no $png from the image coder"
done
warnings=$(man --warnings -l "$top/share/man/man1/rt650scan.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"
man -l "$top/share/man/man1/rt650scan.1" 2>/dev/null | grep -q -- '--simulate' ||
  fail "the man page lacks --simulate"
completions=$(PATH="$top/bin:$PATH" bash -c '
  source "$1"; COMP_WORDS=(rt650scan --set = reso); COMP_CWORD=3; _rt650scan
  echo "${COMPREPLY[*]}"' _ "$top/share/bash-completion/completions/rt650scan")
[ "$completions" = "resolution=" ] || fail "completion of --set=reso gives '$completions'"

[ "${TARVOSCN_SKIP_DEB:-0}" = 1 ] && exit 0
echo "== Debian package"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$build/tarvoscn_1.7-1_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libc6 libjpeg libpng libstdc++; do
  [[ $depends == *"$d"* ]] || fail "the package does not depend on $d"
done
dpkg-deb -x "$deb" "$work/deb-files"
if named=$(grep -rlF "$build" "$work/deb-files"); then
  fail "packaged files name the build folder $build: $named"
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq tarvoscn >/dev/null' EXIT
mkdir -p "$work/deb"
(cd "$work/deb" && /usr/bin/rt650scan --simulate -L && /usr/bin/rt650scan --simulate -n 2 -o batch.tif)
pkg-config --libs tarvoscn | grep -q -- '-ltarvoscn' || fail "pkg-config does not know tarvoscn"
echo "install-test: passed"
