#!/usr/bin/env bash
# The whole test suite: builds everything and runs every test with CTest.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup.sh"
cd "${TARVOSCN_BUILD_DIR:-$repo/build}"
ctest --output-on-failure -j"$(nproc)" "$@"
