#!/bin/sh
# Checks the tables of a built VelmConv32.dll: the export table must hold
# exactly the ten entry points under their plain names (no @N decoration,
# nothing else), and the library may import only Windows' own DLLs (no
# libgcc, libstdc++ or winpthread runtime DLLs beside it).
#
# Usage: check_exports.sh <objdump> <VelmConv32.dll> [--skip-missing]
#   e.g. scripts/check_exports.sh i686-w64-mingw32-objdump build/win32/VelmConv32.dll
# Exit 0 when both tables are right, 1 when not, 77 when the DLL is missing
# and --skip-missing was given.
set -u
objdump=${1:?objdump tool}
dll=${2:?DLL}
if [ ! -f "$dll" ]; then
    if [ "${3:-}" = "--skip-missing" ]; then
        echo "skipped: $dll has not been built"
        exit 77
    fi
    echo "FAIL: $dll not found" >&2
    exit 1
fi

dump=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll" >&2; exit 1; }
status=0

expected="DetectFileFormat
DllMain
GetDesiredBitPix
GetFormats
GetPreviewImage
LoadConvImage
NewConvFile
NotifyFrameChange
ProcessCommand
SaveConvImage"
# Lines of the name table look like "	[   3] GetFormats".
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\(.*\)$/\1/p' | LC_ALL=C sort)
if [ "$exports" != "$expected" ]; then
    echo "FAIL: export names of $dll differ from the ten entry points:" >&2
    printf '%s\n' "$exports" | sed 's/^/  /' >&2
    status=1
fi

# Windows' own DLLs (compared without regard to case).
allowed=" kernel32.dll user32.dll gdi32.dll comdlg32.dll advapi32.dll msvcrt.dll shell32.dll "
allowed="$allowed ole32.dll oleaut32.dll version.dll winmm.dll comctl32.dll msvfw32.dll avifil32.dll "
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no import table found in $dll" >&2; status=1; }
for name in $imports; do
    case "$allowed" in
    *" $name "*) ;;
    *)
        echo "FAIL: $dll imports $name, which is not part of Windows" >&2
        status=1
        ;;
    esac
done

if [ $status -eq 0 ]; then
    echo "ok: $dll exports the ten entry points and imports only $(echo $imports)"
fi
exit $status
