#!/usr/bin/env bash
# The rooms of scanlib/ point one way: a file may include its own room and the
# rooms below it, never a room beside or above it.
#
#   platform  <  core  <  scsi | tiff | image  <  scan  <  ui  <  api
#
# (scsi, tiff and image stand side by side and do not include each other.)
# Prints every include that breaks the order and fails when there is one.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo/scanlib"

declare -A rank=([platform]=1 [core]=2 [scsi]=3 [tiff]=3 [image]=3 [scan]=4 [ui]=5 [api]=6)

bad=0
while IFS= read -r line; do
  file="${line%%:*}"
  target="$(sed -n 's/.*#include "\([a-z]*\)\/.*/\1/p' <<<"$line")"
  room="${file%%/*}"
  [[ -n "${rank[$room]:-}" && -n "${rank[$target]:-}" ]] || continue
  if [[ "$target" != "$room" && ${rank[$target]} -ge ${rank[$room]} ]]; then
    echo "check-rooms: scanlib/$file includes $target/ (a room ${room} may not include)" \
         "${line#*#include }" >&2
    bad=1
  fi
done < <(grep -rHn --include='*.h' --include='*.cpp' '^#include "[a-z]*/' . | sed 's|^\./||')

if [[ $bad -ne 0 ]]; then
  exit 1
fi
echo "check-rooms: every include points down"
