#!/usr/bin/env bash
# Builds the SCSI pass-through provider's seam test (x86_64, mingw-w64) and
# runs it under wine64 in a Wine prefix of its own: the driver's sessions over
# the provider, its port driver answered by the simulated bus, against the
# simulator's own provider. Needs what scripts/windows-test.sh installs
# (the cross compiler and wine64). Exit status: non-zero when a check failed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-win64"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target passthrough_test >/dev/null
export WINEPREFIX="$build/wineprefix-providers" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wine and wineboot start the 32-bit loader once wine32 is installed (the
# Windows tests install it where they can): the 64-bit loader, by name.
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
cd "$build/tests/windows"
/usr/lib/wine/wine64 passthrough_test.exe
