#!/usr/bin/env bash
# Makes the realistic pages of the image benchmark as 1-bit PBM files (P4,
# 1 = black) in <build>/bench-pages/, A4:
#
#   text200/300/600.pbm  a page of a long manual page (bash(1)) set by groff
#                        and rasterised by Ghostscript
#   table200/300/600.pbm a dense ruled table (tbl, every cell boxed)
#   halftone300.pbm      a photo-like gray picture, Floyd-Steinberg dithered
#   blank300.pbm         a nearly blank page: a header line and a page number
#
# Pages already there are kept; --force makes them again. Installs the Debian
# packages groff and ghostscript when missing. Nothing here is committed.
#
#   scripts/make-bench-pages.sh [--force]
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARVOSCN_BUILD_DIR:-$repo/build}"
out="${TARVO_BENCH_PAGES:-$build/bench-pages}"
force=0
if [ "${1:-}" = "--force" ]; then force=1; fi

missing=()
for p in groff ghostscript; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ! command -v python3 >/dev/null 2>&1; then missing+=(python3); fi
if ((${#missing[@]})); then
  echo "make-bench-pages: installing ${missing[*]}" >&2
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

need() { [ "$force" = 1 ] || [ ! -s "$out/$1" ]; }

# One page of a PostScript file as PBM at a resolution: name, ps, page, dpi.
rasterise() {
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r"$4" -sPAPERSIZE=a4 -dFIXEDMEDIA \
     -dFirstPage="$3" -dLastPage="$3" -sOutputFile="$out/$1.tmp" "$2"
  mv "$out/$1.tmp" "$out/$1"
}

# Text: a page from the middle of the longest common manual page.
manual="$(man -w bash 2>/dev/null || true)"
if [ -z "$manual" ] || [ ! -r "$manual" ]; then
  manual="$(ls -S /usr/share/man/man1/*.1.gz 2>/dev/null | head -n 1 || true)"
fi
if [ -z "$manual" ]; then
  echo "make-bench-pages: no manual page to set; install one (e.g. bash's)" >&2
  exit 1
fi
case "$manual" in
  *.gz) zcat "$manual" ;;
  *) cat "$manual" ;;
esac | groff -man -Tps -dpaper=a4 -P-pa4 2>/dev/null >"$work/text.ps"
pages="$(grep -c '^%%Page:' "$work/text.ps")"
middle=$(((pages + 1) / 2))
for dpi in 200 300 600; do
  if need "text$dpi.pbm"; then rasterise "text$dpi.pbm" "$work/text.ps" "$middle" "$dpi"; fi
done

# Table: eight boxed columns of figures and short words, more rows than fit.
{
  printf '.nr PS 9\n.nr VS 11\n.LP\n.TS H\nallbox expand;\nl n n n l n n n.\n'
  printf 'Item\tSheets\tDuplex\tDpi\tMode\tBytes\tms\tErrors\n.TH\n'
  words=(ledger invoice receipt drawing letter contract memo form)
  for i in $(seq 1 90); do
    printf '%s %d\t%d\t%d\t%d\t%s\t%d\t%d.%d\t%d\n' "${words[$((i % 8))]}" "$i" \
      $(((i * 37) % 250 + 1)) $((i % 2)) $((200 + (i % 3) * 100)) \
      "$( ((i % 3)) && echo G4 || echo gray)" $(((i * 7919) % 900000 + 1000)) \
      $(((i * 13) % 97)) $((i % 10)) $(((i * 7) % 5))
  done
  printf '.TE\n'
} | groff -t -ms -Tps -dpaper=a4 -P-pa4 2>/dev/null >"$work/table.ps"
for dpi in 200 300 600; do
  if need "table$dpi.pbm"; then rasterise "table$dpi.pbm" "$work/table.ps" 1 "$dpi"; fi
done

# Nearly blank: a running header and a page number.
if need blank300.pbm; then
  cat >"$work/blank.ps" <<'EOF'
%!PS
/Times-Roman findfont 9 scalefont setfont
72 800 moveto (Batch 2026-11-14 / sheet 12 of 40) show
290 40 moveto (- 12 -) show
showpage
EOF
  rasterise blank300.pbm "$work/blank.ps" 1 300
fi

# Halftone: a smooth photo-like picture with grain, error-diffused.
if need halftone300.pbm; then
  python3 - "$out/halftone300.pbm.tmp" 2480 3508 <<'EOF'
import math, random, sys
path, width, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(7)
margin = width // 16
# Soft blobs (x, y, radius, darkness) over a lit background: a still life.
blobs = [(rnd.uniform(0.1, 0.9), rnd.uniform(0.1, 0.9), rnd.uniform(0.05, 0.25),
          rnd.uniform(-0.5, 0.6)) for _ in range(14)]
def gray_row(y):
    v = (y - margin) / (rows - 2 * margin)
    row = [0.0] * width
    for x in range(width):
        if x < margin or x >= width - margin or y < margin or y >= rows - margin:
            continue  # white border around the print
        u = (x - margin) / (width - 2 * margin)
        g = 0.25 + 0.45 * u * (1 - v) + 0.12 * math.sin(6.0 * u + 3.0 * v)
        for bx, by, br, bd in blobs:
            d2 = ((u - bx) ** 2 + (v - by) ** 2) / (br * br)
            if d2 < 4.0:
                g += bd * math.exp(-d2)
        g += rnd.gauss(0.0, 0.04)
        row[x] = min(max(g, 0.0), 1.0)  # darkness, 1 = black
    return row
stride = (width + 7) // 8
out = bytearray()
err_next = [0.0] * (width + 2)
for y in range(rows):
    cur = gray_row(y)
    err_cur, err_next = err_next, [0.0] * (width + 2)
    bits = bytearray(stride)
    for x in range(width):
        want = cur[x] + err_cur[x + 1]
        black = want >= 0.5
        e = want - (1.0 if black else 0.0)
        if black:
            bits[x >> 3] |= 0x80 >> (x & 7)
        err_cur[x + 2] += e * 0.4375
        err_next[x] += e * 0.1875
        err_next[x + 1] += e * 0.3125
        err_next[x + 2] += e * 0.0625
    out += bits
with open(path, "wb") as f:
    f.write(b"P4\n%d %d\n" % (width, rows))
    f.write(out)
EOF
  mv "$out/halftone300.pbm.tmp" "$out/halftone300.pbm"
fi

echo "make-bench-pages: pages in $out" >&2
