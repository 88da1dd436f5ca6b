#!/usr/bin/env bash
# Set-up shared by the README's commands: installs the Debian packages that
# are missing, configures and builds tarvoscn in build/, and places the
# language files in the driver's folder. Quick when everything is done.
#
#   scripts/setup.sh [extra Debian packages...]
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TARVOSCN_BUILD_DIR:-$repo/build}"

packages=(cmake make g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libtiff-dev libjpeg62-turbo-dev libpng-dev libsane-dev sane-utils sane "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >/dev/null

# The driver reads its texts from <root>/windows/klxscan/.
root="${TARVOSCN_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/tarvoscn}"
mkdir -p "$root/windows/klxscan"
cp "$repo"/resources/lang/rt650*.txt "$root/windows/klxscan/" 2>/dev/null || true
