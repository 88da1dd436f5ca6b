#!/usr/bin/env bash
# Cross-compiles tarvoscn.dll (i686, mingw-w64), checks its export table, and
# checks that the check refuses a DLL with one export left out. Then builds the
# x86_64 DLLs too and packs both into build-win32/tarvoscn-windows.zip.
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
if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 >/dev/null
fi
# A tree configured before the toolchain asked for SSE2 is configured again.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q -- '-msse2' "$build/CMakeCache.txt"; then
  rm -rf "$build"
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

# The package: both architectures' DLLs, the header, the .def and import
# libraries, the language files and README-windows.txt.
build64="$repo/build-win64"
if [ ! -f "$build64/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build64" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build64" -j"$(nproc)" --target tarvoscn rt650sim_provider klxjpeg ravezeva >/dev/null
stage="$lacking/tarvoscn-windows"
mkdir -p "$stage/include" "$stage/lang"
cp "$repo/resources/windows/README-windows.txt" "$stage/"
cp "$repo"/scanlib/include/*.h "$stage/include/"
cp "$repo"/resources/lang/rt650*.txt "$stage/lang/"
for arch in i686:"$build" x64:"$build64"; do
  dir="$stage/${arch%%:*}" tree="${arch#*:}"
  mkdir -p "$dir/simulator"
  cp "$tree/scanlib/tarvoscn.dll" "$tree/scanlib/libtarvoscn.dll.a" "$repo/resources/tarvoscn.def" \
    "$tree/codecs/klxjpeg.dll" "$tree/codecs/ravezeva.dll" "$dir/"
  cp "$tree/sim/wnaspi32.dll" "$dir/simulator/"
  # The pass-through ASPI layer, where this build has one.
  passthrough="$(find "$tree" -name wnaspi32.dll -not -path "$tree/sim/*" -not -path "*/wintest/*" \
                 -not -path "*/wineprefix/*" | head -n1)"
  if [ -n "$passthrough" ]; then mkdir -p "$dir/passthrough" && cp "$passthrough" "$dir/passthrough/"; fi
done
rm -f "$build/tarvoscn-windows.zip"
(cd "$lacking" && cmake -E tar cf "$build/tarvoscn-windows.zip" --format=zip tarvoscn-windows)
echo "package: $build/tarvoscn-windows.zip ($(find "$stage" -type f | wc -l) files)"
