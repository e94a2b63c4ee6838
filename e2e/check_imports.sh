#!/usr/bin/env bash
# Each Harkwin.exe given may import only the system DLLs a bare Windows machine has.
set -u
allowed="ADVAPI32.DLL COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL WSOCK32.DLL"
status=0
for exe in "$@"; do
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
    [ -n "$dlls" ] || { echo "FAIL $exe: no imports read"; status=1; continue; }
    for dll in $(echo "$dlls" | tr a-z A-Z); do
        case " $allowed " in  # DLL names are case-insensitive
            *" $dll "*) ;;
            *) echo "FAIL $exe imports $dll"; status=1 ;;
        esac
    done
    echo "$exe ($(stat -c %s "$exe") bytes) imports:" $dlls
done
exit $status
