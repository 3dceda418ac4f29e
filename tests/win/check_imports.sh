#!/bin/bash
# Checks that a Windows program needs nothing beside it: it may import only
# the system DLLs the program uses and the C runtime. Each of those DLLs must
# be imported too: a missing one means a platform layer was left out.
# usage: check_imports.sh OBJDUMP EXE
set -u
objdump=$1
exe=$2

[ -f "$exe" ] || { echo "FAILED: no program at $exe"; exit 1; }
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]')
[ -n "$dlls" ] || { echo "FAILED: no imports found in $exe"; exit 1; }

system_dlls="KERNEL32.DLL USER32.DLL GDI32.DLL COMCTL32.DLL COMDLG32.DLL WS2_32.DLL"
status=0
for dll in $dlls; do
    case " $system_dlls " in
    *" $dll "*) continue ;;
    esac
    case $dll in
    MSVCRT.DLL | API-MS-WIN-CRT-*.DLL) ;;
    *)
        echo "FAILED: $exe imports $dll"
        status=1
        ;;
    esac
done
for dll in $system_dlls; do
    grep -qx "$dll" <<<"$dlls" || {
        echo "FAILED: $exe does not import $dll"
        status=1
    }
done
echo "$exe imports: $(tr "\n" " " <<<"$dlls")"
exit $status
