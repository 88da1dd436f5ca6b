#!/usr/bin/env bash
# Cross-compiles tarvoscn.dll (i686, mingw-w64), checks its export table, and
# checks that the check refuses a DLL with one export left out.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-win32"
if ! command -v i686-w64-mingw32-g++ >/dev/null; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-i686 binutils-mingw-w64-i686 >/dev/null
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
"$repo/scripts/check-exports.sh" "$build/scanlib/tarvoscn.dll"

# The check must catch a DLL that lacks an export: the same objects linked
# with TsdProbe left out of the .def have to fail it.
lacking="$(mktemp -d)"
trap 'rm -rf "$lacking"' EXIT
grep -v '^\s*TsdProbe\s' "$repo/resources/tarvoscn.def" >"$lacking/tarvoscn.def"
link="$(grep -e '-shared' "$build/scanlib/CMakeFiles/tarvoscn.dir/link.txt")"
link="${link//"$repo/resources/tarvoscn.def"/"$lacking/tarvoscn.def"}"
link="${link//"-o tarvoscn.dll"/"-o $lacking/tarvoscn.dll"}"
link="${link//"--out-implib,libtarvoscn.dll.a"/"--out-implib,$lacking/libtarvoscn.dll.a"}"
(cd "$build/scanlib" && eval "$link")
if "$repo/scripts/check-exports.sh" "$lacking/tarvoscn.dll" >"$lacking/out" 2>&1 ||
   ! grep -q "missing: TsdProbe" "$lacking/out"; then
  cat "$lacking/out" >&2
  echo "export check: a DLL without TsdProbe was not refused" >&2
  exit 1
fi
echo "export check: a DLL without TsdProbe is refused"
