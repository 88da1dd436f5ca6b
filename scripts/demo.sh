#!/usr/bin/env bash
# The main job: builds the driver and runs the command-line host with it.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$repo/scripts/setup.sh"
"${TARVOSCN_BUILD_DIR:-$repo/build}/tools/rt650scan" --version "$@"
