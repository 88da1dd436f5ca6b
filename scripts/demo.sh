#!/usr/bin/env bash
# The main job: sets up and builds the driver, then scans a simulated batch
# with the command-line host rt650scan into a multi-page Group 4 TIFF
# document and shows what it holds. No scanner is needed.
#
#   scripts/demo.sh [more rt650scan options...]
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARVOSCN_BUILD_DIR:-$repo/build}"
"$repo/scripts/setup.sh"

out="$build/demo"
mkdir -p "$out"
# The simulated RT650 and its batch: five pages of printed text.
cat >"$out/sim.conf" <<'CONF'
scanner 0 0
synthetic 3 seed 1 size a4
synthetic 1 seed 2 size letter
synthetic 1 seed 3 size a4
CONF
rm -f "$out/batch.tif"

echo "demo: rt650scan --simulate=$out/sim.conf --list"
"$build/tools/rt650scan" --simulate="$out/sim.conf" --list
# Auto size: each page is stored at the size the scanner measured.
args=(--simulate="$out/sim.conf" --set auto_size=1 --output="$out/batch.tif"
      --doc-name="Demo batch" --page-name="scanned page" "$@")
echo "demo: rt650scan ${args[*]}"
"$build/tools/rt650scan" "${args[@]}"

echo "demo: produced $out/batch.tif ($(wc -c <"$out/batch.tif") bytes)"
if command -v tiffinfo >/dev/null; then
  tiffinfo "$out/batch.tif" 2>&1 |
    grep -E "TIFF Directory|Image Width|Compression Scheme|Resolution:|DocumentName|PageName"
fi
