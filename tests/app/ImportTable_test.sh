#!/usr/bin/env bash
# The installer's static imports are Windows' KnownDLLs only (comctl32 and every other DLL are
# loaded after the entry point's hardening), and its image is marked for ASLR (dynamic base,
# high-entropy VA) and DEP (NX compat):  ImportTable_test.sh OBJDUMP EXE
set -uo pipefail
objdump=$1 exe=$2
known_dlls="advapi32 gdi32 imm32 kernel32 msvcrt ole32 oleaut32 shell32 shlwapi user32"
allowed=" $(for d in $known_dlls; do printf '%s.dll ' "$d"; done)"
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
status=0
while read -r dll; do
  lower=$(echo "$dll" | tr '[:upper:]' '[:lower:]')
  case "$allowed" in
    *" $lower "*) echo "ok: $dll" ;;
    *) echo "FAIL: $dll is imported statically"; status=1 ;;
  esac
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
grep -q 'DLL Name:' <<<"$headers" || { echo "FAIL: no import table found"; status=1; }

flags=$((16#$(sed -n 's/^DllCharacteristics\s*//p' <<<"$headers")))
for bit in 0x20:HIGH_ENTROPY_VA 0x40:DYNAMIC_BASE 0x100:NX_COMPAT; do
  if (( flags & ${bit%%:*} )); then echo "ok: ${bit#*:}"; else echo "FAIL: ${bit#*:} not set"; status=1; fi
done
exit $status
