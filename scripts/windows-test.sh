#!/usr/bin/env bash
# Builds the Windows DLLs and the test host, and runs the host under Wine:
# the x86_64 build under wine64 always, the i686 build under 32-bit Wine when
# wine32 can be installed (it needs Debian's i386 packages at the versions of
# the installed amd64 ones; when they cannot be had the 32-bit run is
# reported as SKIPPED, never as passed).
#
#   scripts/windows-test.sh [64|32|both]     (default both)
#
# Each run lays the DLLs beside tsdhost.exe in <build>/wintest, makes a fresh
# Wine prefix in <build>/wineprefix, puts the language files into
# c:\windows\klxscan\ and runs the host on a virtual X display (Xvfb): all
# checks and the dialogs in English, then the dialogs in Japanese under a
# Japanese locale. The pictures of the dialogs go to <build>/screens.
# Exit status: non-zero when a run failed.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
which="${1:-both}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@" \
    >/tmp/windows-test-apt.log 2>&1
}
apt_updated=0
apt_update() {
  if [ $apt_updated -eq 0 ]; then
    # A mirror index that fails to download (one architecture's, mid-sync)
    # leaves the others usable; the installs below say what is missing.
    $sudo apt-get update -qq >/tmp/windows-test-apt-update.log 2>&1 || true
    apt_updated=1
  fi
}

# The cross compilers and Wine.
need=()
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
# The dialogs: a virtual display, the Japanese locale's definition and a
# font with Japanese glyphs.
command -v Xvfb >/dev/null || need+=(xvfb)
command -v localedef >/dev/null && [ -f /usr/share/i18n/locales/ja_JP ] || need+=(locales)
# The Japanese run maps the dialog font to IPAGothic by name, so another
# Japanese font on the machine does not count.
fc-list 2>/dev/null | grep -q IPAGothic || need+=(fonts-ipafont-gothic)
if ((${#need[@]})); then
  apt_update
  apt_install "${need[@]}" || { cat /tmp/windows-test-apt.log >&2; echo "cannot install ${need[*]}" >&2; exit 1; }
fi
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# A virtual X display for the dialogs, ended with the script.
xvfb_pid=""
stop_display() { if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi; }
trap stop_display EXIT
start_display() {
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if [ -s "$number_file" ]; then break; fi
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    echo "Xvfb did not start" >&2
    rm -f "$number_file"
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$number_file")"
  rm -f "$number_file"
}

build_tree() {  # build-dir toolchain
  local build="$1" toolchain="$2"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  else
    cmake -S "$repo" -B "$build" >/dev/null
  fi
  cmake --build "$build" -j"$(nproc)" --target tarvoscn rt650sim_provider klxjpeg ravezeva tsdhost \
    >/dev/null
}

# Runs tsdhost of one build under the given Wine loader; prints its output.
run_host() {  # build-dir wine-command
  local build="$1" wine="$2"
  local dir="$build/wintest" prefix="$build/wineprefix" screens="$build/screens"
  rm -rf "$dir" "$prefix" "$screens"
  mkdir -p "$dir" "$screens"
  cp "$build/scanlib/tarvoscn.dll" "$build/sim/wnaspi32.dll" "$build/codecs/klxjpeg.dll" \
    "$build/codecs/ravezeva.dll" "$build/tests/windows/tsdhost.exe" "$dir/"
  export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=n"
  # wineboot starts the 32-bit loader once wine32 is installed: the loader
  # of this build, by name.
  "$wine" wineboot -i >/dev/null 2>&1
  # Without a window manager on the display, Wine draws the frames and
  # captions itself and does not wait for one to hide a window.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w || true
  mkdir -p "$prefix/drive_c/windows/klxscan"
  cp "$repo"/resources/lang/rt650*.txt "$prefix/drive_c/windows/klxscan/"
  local status=0
  # The names of the driver's export list: the host checks the DLL against it.
  local exports
  exports=$(sed -n '/^EXPORTS/,$p' "$repo/resources/tarvoscn.def" | grep -cE '^\s+[A-Za-z_]')
  # Wine sees the whole file system as drive Z:.
  local screens_win="Z:${screens//\//\\}"
  echo "-- all checks, the dialogs in English"
  (cd "$dir" && LANG=C.UTF-8 "$wine" tsdhost.exe 'c:\tsdwork' "$exports" "$screens_win") || status=$?
  /usr/lib/wine/wineserver -w || true
  echo "-- the dialogs in Japanese"
  # Japanese Windows shows dialogs in "MS UI Gothic": here the installed
  # Japanese font stands in for it.
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f \
    >/dev/null 2>&1
  /usr/lib/wine/wineserver -w || true
  (cd "$dir" && LANG=ja_JP.UTF-8 "$wine" tsdhost.exe 'c:\tsdwork' "$exports" "$screens_win" Japanese) ||
    status=$?
  /usr/lib/wine/wineserver -w || true
  echo "pictures of the dialogs: $(cd "$screens" && echo *.png)"
  return $status
}

# 32-bit Wine runs 32-bit x86 programs: a kernel or sandbox without that
# support answers a 93-byte i386 program that only exits with an error.
x86_32_error=""
runs_x86_32() {
  if [ -z "$x86_32_error" ]; then
    local probe out
    probe="$(mktemp)"
    # ELF header, one loadable segment, then: mov eax, 1; xor ebx, ebx; int 0x80.
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00' >"$probe"
    printf '\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"
    chmod +x "$probe"
    if out="$("$probe" 2>&1)"; then x86_32_error=ok; else x86_32_error="${out:-exit status $?}"; fi
    rm -f "$probe"
  fi
  [ "$x86_32_error" = ok ]
}

# wine32:i386 needs Debian's i386 packages at the versions of the installed
# amd64 ones. The i386 index of the security suite has failed to download
# ("File has unexpected size ... Mirror sync in progress?"): the update is
# tried twice. Where apt still gives up, the 32-bit run is skipped.
install_wine32() {
  dpkg -s wine32:i386 >/dev/null 2>&1 && return 0
  local added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added=1
  fi
  for _ in 1 2; do
    if $sudo apt-get update -q >/tmp/windows-test-apt-update.log 2>&1 &&
       ! grep -q '^E:' /tmp/windows-test-apt-update.log; then
      break
    fi
    sleep 5
  done
  if ! apt_install wine32:i386 && [ $added -eq 1 ]; then
    # Leave apt as it was: an i386 index that cannot be had would make
    # every later "apt-get update" fail.
    $sudo dpkg --remove-architecture i386 || true
  fi
}

status=0
started=$(date +%s)
start_display
if [ "$which" != 32 ]; then
  echo "== x86_64 build under wine64"
  build_tree "$repo/build-win64" "$repo/cmake/toolchain-mingw-x86_64.cmake"
  run_host "$repo/build-win64" /usr/lib/wine/wine64 || status=1
fi
if [ "$which" != 64 ]; then
  echo "== i686 build under 32-bit Wine"
  build_tree "$repo/build-win32" "$repo/cmake/toolchain-mingw-i686.cmake"
  install_wine32
  if dpkg -s wine32:i386 >/dev/null 2>&1 && runs_x86_32; then
    run_host "$repo/build-win32" wine || status=1
  else
    echo "!! The 32-bit run is SKIPPED, not passed:"
    if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
      echo "!! wine32:i386 cannot be installed here; apt says:"
      { grep -h "^E:" /tmp/windows-test-apt-update.log | head -1
        grep -h "^E:" /tmp/windows-test-apt.log | head -2
        grep -h "Depends:" /tmp/windows-test-apt.log | head -3; } | sed 's/^/!!   /' || true
    fi
    runs_x86_32 || echo "!! and this machine does not run 32-bit x86 programs: $x86_32_error"
  fi
fi
echo "windows tests: $(( $(date +%s) - started )) s"
exit $status
