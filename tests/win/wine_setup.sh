#!/bin/sh
# Prepares the wine prefix the Windows tests run in, then leaves a
# persistent wineserver with its background services running, so that the
# test programs start quickly and no wine process holds ctest's output open.
# Usage: wine_setup.sh <prefix> <program>
# The program (one the prefix will run) decides the loader and the kind of
# prefix: a 32-bit one for 32-bit programs, as on the Windows the product
# ships for, a 64-bit one for 64-bit programs.
set -eu
. "$(dirname "$0")/wine_env.sh"
wine_for "$2"
case $WINE in
*64) WINEARCH=win64 ;;
*) WINEARCH=win32 ;;
esac
export WINEARCH
mkdir -p "$WINEPREFIX"
ready="$WINEPREFIX/.velmconv-ready"

if [ ! -f "$ready" ]; then
    "$WINE" wineboot.exe -i >/dev/null 2>&1 </dev/null
    # Windows and dialogs without an X server; a crash ends the program
    # instead of waiting in the crash dialog.
    reg="$WINEPREFIX/velmconv.reg"
    printf '%s\r\n' 'REGEDIT4' '' \
        '[HKEY_CURRENT_USER\Software\Wine\Drivers]' '"Graphics"="null"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' >"$reg"
    "$WINE" regedit.exe /S "Z:$(echo "$reg" | tr / '\\')" >/dev/null 2>&1 </dev/null
    # Real dialog metrics need the fonts inside the prefix.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
    touch "$ready"
fi

"$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
"$WINE" wineboot.exe >/dev/null 2>&1 </dev/null
