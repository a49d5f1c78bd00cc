# Sourced by the wine scripts: the test prefix and a quiet, display-free
# wine. $1 of the calling script is the prefix folder (under the build tree).
WINEPREFIX=$1
WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver
