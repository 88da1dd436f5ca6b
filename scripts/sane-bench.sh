#!/usr/bin/env bash
# The SANE backend's cost against rt650scan's: the same batch of simulated
# sheets through `scanimage --batch` (the backend, one TIFF file a page) and
# through rt650scan (one Group 4 TIFF document), each run 5 times; the least
# CPU time (user + system, the whole process with the simulator) of each and
# their ratio are printed. The goal is a ratio of at most 1.2.
#
#   scripts/sane-bench.sh [SHEETS [MODE]]     (default 20 Lineart; MODE as scanimage --mode)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARVOSCN_BUILD_DIR:-$repo/build}"
sheets=${1:-20}
mode=${2:-Lineart}
cmake --build "$build" -j2 --target sane-tarvoscn rt650scan rt650sim_provider >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARVOSCN_ROOT=$work/root
mkdir -p "$TARVOSCN_ROOT" "$work/etc"
echo "synthetic $sheets seed 5" > "$work/sim.conf"
echo tarvoscn > "$work/etc/dll.conf"
printf 'aspi %s\nsimulator %s\n' "$build/sim/librt650sim.so" "$work/sim.conf" > "$work/etc/tarvoscn.conf"
declare -A settings=([Lineart]="" [Halftone]="-s image_type=10" [Text]="-s image_type=9")
[ -n "${settings[$mode]+set}" ] || { echo "sane-bench: mode $mode has no rt650scan twin" >&2; exit 2; }

# The least of 5 runs' CPU seconds of the command.
least_cpu() {
  local best="" t
  for _ in 1 2 3 4 5; do
    rm -f "$work"/p*.tif "$work/ref.tif"
    t=$( { TIMEFORMAT='%U %S'; time (cd "$work" && "$@" >/dev/null 2>&1); } 2>&1 | awk '{print $1 + $2}')
    best=$(awk -v a="$t" -v b="${best:-$t}" 'BEGIN {print (a < b ? a : b)}')
  done
  echo "$best"
}

# Both get the same window: 2464 by 3488 pixels at 300 dpi, from the corner.
sane=$(least_cpu env SANE_CONFIG_DIR="$work/etc" LD_LIBRARY_PATH="$build/sane" \
  scanimage --mode "$mode" -l 0 -t 0 -x 208.6187 -y 295.3173 --batch=p%d.tif --format=tiff)
ref=$(least_cpu env RT650SIM_CONFIG="$work/sim.conf" TARVOSCN_ASPI="$build/sim/librt650sim.so" \
  "$build/tools/rt650scan" -q ${settings[$mode]} -s scan_length=2464 -s scan_width=3488 \
  -s top_offset=0 -s side_offset=0 -o ref.tif)
awk -v s="$sane" -v r="$ref" -v n="$sheets" -v m="$mode" 'BEGIN {
  printf "%d sheets, %s, 300 dpi: scanimage %.3f s CPU, rt650scan %.3f s CPU, ratio %.2f (goal <= 1.20)\n",
         n, m, s, r, s / r }'
