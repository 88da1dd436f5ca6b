#!/usr/bin/env bash
# The page path (quarter turn and Group 4 coding) of one A4 page built three
# ways: x86_64; i686 as the Windows i686 DLL was built before (pentiumpro,
# x87, no SSE2); and i686 as it is built now (SSE2). Each line times the
# steps against memcpy of the page in the same run (bench/arch_page_bench.cpp).
# Needs g++-multilib for the 32-bit builds; installs it when missing.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if ! echo 'int main(){}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends g++-multilib >/dev/null
fi
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
sources=("$repo/bench/arch_page_bench.cpp" "$repo/scanlib/image/G4Coder.cpp" "$repo/scanlib/image/Rotate.cpp")
build() {  # name flags...
  local name="$1"
  shift
  g++ -std=c++20 -O3 -DNDEBUG -I"$repo/scanlib" -DTARVO_ARCH_NAME="\"$name\"" "$@" "${sources[@]}" \
    -o "$out/$name"
}
build x86_64 -m64
build i686-x87 -m32 -march=pentiumpro
build i686-sse2 -m32 -march=pentiumpro -msse2 -mfpmath=sse
for name in x86_64 i686-x87 i686-sse2; do
  "$out/$name" || echo "$name: this machine does not run it"
done
