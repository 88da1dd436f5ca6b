#!/usr/bin/env bash
# The SANE backend through Debian's own frontends, against the simulator:
#   frontends.sh BACKEND_DIR SIMULATOR_PROVIDER RT650SCAN PIXELS_EQUAL
# Lists, options, scanimage's self-test, batches whose pages equal those
# rt650scan stores for the same sheets, scanadf, a jam, an empty feeder and
# bad input. Exits non-zero at the first failed check.
set -u
backend_dir=$1 provider=$2 rt650scan=$3 pixels_equal=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARVOSCN_ROOT=$work/root LD_LIBRARY_PATH=$backend_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
mkdir -p "$TARVOSCN_ROOT"
# A sanitizer build's backend needs its runtime loaded first into Debian's
# frontends, which are not built with it; their own leaks are not ours.
runtime=$(ldd "$backend_dir/libsane-tarvoscn.so.1" | awk '/lib(asan|ubsan)\.so/ {print $3}' | tr '\n' ' ')
if [ -n "$runtime" ]; then
  export LD_PRELOAD="$runtime" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
fi
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A configuration folder holding a simulator configuration; prints its path.
rig() {
  local dir=$work/$1
  mkdir -p "$dir"
  printf '%s\n' "$2" > "$dir/sim.conf"
  echo tarvoscn > "$dir/dll.conf"
  printf 'aspi %s\nsimulator sim.conf\n' "$provider" > "$dir/tarvoscn.conf"
  echo "$dir"
}
scan() { SANE_CONFIG_DIR=$1 timeout 120 scanimage "${@:2}"; }

# Scans a batch with scanimage (options after the rig) and with rt650scan
# (its settings in $ref_settings) into ref.tif, and compares every page's
# pixels.
compare_batch() {
  local dir=$1 sheets=$2; shift 2
  (cd "$dir" && rm -f p*.tif && scan "$dir" --batch=p%d.tif --format=tiff "$@" 2>/dev/null)
  RT650SIM_CONFIG=$dir/sim.conf TARVOSCN_ASPI=$provider "$rt650scan" -q $ref_settings \
    -o "$dir/ref.tif" || fail "rt650scan $ref_settings"
  for ((i = 1; i <= sheets; i++)); do
    "$pixels_equal" "$dir/ref.tif" $((i - 1)) "$dir/p$i.tif" || fail "page $i of scanimage $* differs"
  done
  [ ! -e "$dir/p$((sheets + 1)).tif" ] || fail "scanimage $* wrote more than $sheets pages"
}
# The width and height in the header of a PNM page.
pnm_size() { sed -n '/^[0-9]/{p;q}' "$1"; }

four=$(rig four "synthetic 4 seed 3")
scan "$four" -L | grep -q "device \`tarvoscn:0:0' is a TARVO RT650 sheetfed scanner" || fail "scanimage -L"
options=$(scan "$four" -A 2>/dev/null)
for want in "--mode Lineart|Halftone|Text|Gray" "--resolution 200|300|600dpi" "-l 0..434.848mm" \
            "-t 0..295.317mm" "--brightness 0..255" "--source ADF" "--ae-level 1..17" \
            "--imprinter-text <string>" "--page-counter-3 <int>"; do
  grep -qF -- "$want" <<<"$options" || fail "scanimage -A shows no '$want'"
done
scan "$four" -T >/dev/null 2>&1 || fail "scanimage -T"

# Both hosts get the same window: 2464 by 3488 pixels at 300 dpi from the
# corner, in millimetres for scanimage (208.6187 = 2464 / 300 * 25.4).
window="-s scan_length=2464 -s scan_width=3488 -s top_offset=0 -s side_offset=0"
mm=(-l 0 -t 0 -x 208.6187 -y 295.3173)
ref_settings="$window -s image_type=10" compare_batch "$four" 4 --mode Halftone "${mm[@]}"
ref_settings="$window" compare_batch "$four" 4 "${mm[@]}"

if command -v scanadf >/dev/null; then
  (cd "$four" && SANE_CONFIG_DIR=$four timeout 120 scanadf -d tarvoscn:0:0 -o "$four/a%d.pnm" "${mm[@]}" \
     >/dev/null 2>&1) ||
    fail "scanadf"
  for i in 1 2 3 4; do
    "$pixels_equal" "$four/ref.tif" $((i - 1)) "$four/a$i.pnm" || fail "scanadf page $i differs"
  done
fi

# A window in millimetres: 100 mm along the feed by 50 mm across it, 300 dpi.
scan "$four" -l 10 -t 20 -x 100 -y 50 > "$work/w.pnm" 2>/dev/null
[ "$(pnm_size "$work/w.pnm")" = "1181 591" ] || fail "a 100 x 50 mm window: $(pnm_size "$work/w.pnm")"
# The same area in gray at 200 dpi: two thirds of the 300 dpi page each way.
scan "$four" --mode Gray --resolution 200 > "$work/g.pgm" 2>/dev/null
read -r w200 h200 <<<"$(pnm_size "$work/g.pgm")"
read -r w300 h300 <<<"$(scan "$four" 2>/dev/null | pnm_size /dev/stdin)"
[ "$(head -c 2 "$work/g.pgm")" = P5 ] && ((${w200:-0} * 3 - w300 * 2 <= 3 && w300 * 2 - ${w200:-0} * 3 <= 3 &&
  ${h200:-0} * 3 - h300 * 2 <= 3 && h300 * 2 - ${h200:-0} * 3 <= 3)) ||
  fail "a gray page at 200 dpi is ${w200:-?} x ${h200:-?} for ${w300:-?} x ${h300:-?} at 300 dpi"

jam=$(rig jam "synthetic 3 seed 7
condition 2 jam")
out=$(cd "$jam" && scan "$jam" --batch=j%d.tif --format=tiff 2>&1)
grep -q "sane_start: Document feeder jammed" <<<"$out" || fail "a jam: $out"
[ -e "$jam/j1.tif" ] && [ ! -e "$jam/j2.tif" ] || fail "a jam on sheet 2 keeps exactly sheet 1"

empty=$(rig empty "scanner 0 0")
out=$(scan "$empty" --format=tiff -o "$work/e.tif" 2>&1) && fail "an empty feeder succeeded"
grep -q "Document feeder out of documents" <<<"$out" || fail "an empty feeder: $out"

out=$(scan "$four" -d tarvoscn:3:5 -T 2>&1) && fail "an unknown device opened"
grep -q "Invalid argument" <<<"$out" || fail "an unknown device: $out"
out=$(scan "$four" --mode Color -T 2>&1) && fail "mode Color accepted"
scan "$four" --resolution 590 > "$work/r.pnm" 2>/dev/null
[ "$(pnm_size "$work/r.pnm")" = "$(scan "$four" --resolution 600 2>/dev/null | pnm_size /dev/stdin)" ] ||
  fail "resolution 590 is not rounded to 600"

exit $((failures != 0))
