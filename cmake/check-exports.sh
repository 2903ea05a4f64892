#!/usr/bin/env bash
# Checks that the plug-in DLL exports exactly the expected names and imports
# only system DLLs (no mingw runtime DLL). Usage: check-exports.sh DLL [OBJDUMP]
set -eu
dll=$1
objdump=${2:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$dll")
names=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&/^$/{f=0}' | sort)
expected=$(printf '%s\n' CvACM_CreateList DllCanUnloadNow DllGetClassObject DllInitClasses DllMain \
  DllRegisterServer DllUnregisterServer _CvAcm_Grovel@16 _riffzz_FindChunkHeader@16 _riffzz_SkipChunk@8 | sort)
if [ "$names" != "$expected" ]; then
  echo "export table differs:"; diff <(echo "$expected") <(echo "$names") || true; exit 1
fi
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
for dll_name in $imports; do
  case $dll_name in
    kernel32.dll|user32.dll|advapi32.dll|ole32.dll|oleaut32.dll|msacm32.dll|winmm.dll|msvcrt.dll|gdi32.dll|shell32.dll|comctl32.dll) ;;
    *) echo "unexpected import: $dll_name"; exit 1 ;;
  esac
done
echo "exports: $(echo $names | tr '\n' ' ')"
echo "imports: $(echo $imports | tr '\n' ' ')"
echo "1 passed, 0 failed"
