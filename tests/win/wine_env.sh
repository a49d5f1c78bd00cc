# Sourced by the wine scripts: the test prefix and a quiet, display-free
# wine. $1 of the calling script is the prefix folder (under the build tree).
WINEPREFIX=$1
WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver

# wine_for <program.exe|.dll>: sets WINE to the loader the program needs,
# from its PE header: the optional header's magic is 0x10b for 32-bit
# programs (PE32) and 0x20b for 64-bit ones (PE32+).
wine_for() {
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    sig=$( [ -n "$pe" ] && od -An -tx1 -j"$pe" -N4 "$1" 2>/dev/null | tr -d ' ')
    magic=$( [ "$sig" = 50450000 ] && od -An -tx1 -j$((pe + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')
    case $magic in
    0b01) WINE=/usr/lib/wine/wine ;;
    0b02) WINE=/usr/lib/wine/wine64 ;;
    *) echo "wine_for: $1 is not a Windows program" >&2; return 1 ;;
    esac
    [ -x "$WINE" ] || { echo "wine_for: $1 needs $WINE, which is not installed" >&2; return 1; }
}
