#!/bin/bash
# Checks that a Windows program needs nothing beside it: it may import only
# the system DLLs the program uses and the C runtime.
# usage: check_imports.sh OBJDUMP EXE
set -u
objdump=$1
exe=$2

[ -f "$exe" ] || { echo "FAILED: no program at $exe"; exit 1; }
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]')
[ -n "$dlls" ] || { echo "FAILED: no imports found in $exe"; exit 1; }

status=0
for dll in $dlls; do
    case $dll in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | COMDLG32.DLL | WS2_32.DLL) ;;
    MSVCRT.DLL | API-MS-WIN-CRT-*.DLL) ;;
    *)
        echo "FAILED: $exe imports $dll"
        status=1
        ;;
    esac
done
echo "$exe imports: $(tr "\n" " " <<<"$dlls")"
exit $status
