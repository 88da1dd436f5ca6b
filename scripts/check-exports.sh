#!/usr/bin/env bash
# Checks the export table of tarvoscn.dll: every name present is one of the
# 30 exports, spelled as the host expects (five decorated, the rest plain),
# and none of the 30 is missing. Also checks the version resource's
# string table and that the DLL needs no run-time DLL beyond the system's.
set -euo pipefail
dll="$1"
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump
dump="$("$objdump" -p "$dll")"
expected=(TsdProbe TsdStartScan TsdScanOnePage TsdReadPage TsdContScan TsdStopScan TsdAbortScan
          TsdPageExist TsdCloseFile TsdMakeTiff TsdGetFileSize TsdDocnameSet TsdPagenameSet
          TsdParSet TsdParGet TsdSetModeToScanner TsdGetModeFromScanner ConcatTiff ChangeDocname
          TsdDrvSetDialog _TsdDetailsSetDialog@12 _GammaSetDialog@12 _ImprinterSetDialog@12
          _FKeySetDialog@12 TsdStartScanDialog TsdDispErrDlg _TsdGetDriverName@8
          TsdGetScannerName disp_page dll_test)
present="$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
           sed -n 's/^\s*\[ *[0-9]*\] //p')"
status=0
while read -r name; do
  [ -z "$name" ] && continue
  found=0
  for e in "${expected[@]}"; do [ "$e" = "$name" ] && found=1; done
  if [ $found -eq 0 ]; then echo "export table: unexpected name '$name'" >&2; status=1; fi
done <<<"$present"
count=0
absent=()
for e in "${expected[@]}"; do
  if grep -qxF "$e" <<<"$present"; then count=$((count + 1)); else absent+=("$e"); fi
done
echo "export table: $count of ${#expected[@]} exports present"
if ((${#absent[@]})); then echo "export table: missing: ${absent[*]}" >&2; status=1; fi
for d in $(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p'); do
  case "${d,,}" in
    kernel32.dll|user32.dll|version.dll|msvcrt.dll|comctl32.dll|comdlg32.dll|gdi32.dll|advapi32.dll) ;;
    *) echo "imports: unexpected run-time DLL $d" >&2; status=1 ;;
  esac
done
if ! strings -el "$dll" | grep -qx "041104b0"; then
  echo "version resource: string table 041104b0 missing" >&2; status=1
fi
if ! strings -el "$dll" | grep -qx "1.007"; then
  echo "version resource: FileVersion 1.007 missing" >&2; status=1
fi
exit $status
