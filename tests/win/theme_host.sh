#!/bin/sh
# The Windows host makes Debian's DMZ-White X cursor theme a Windows cursor
# scheme under wine, and wine's own setup library installs it from the
# install.inf written: the files copied to the Windows folder's
# Cursors\DMZ (White), the scheme list and every role's registry value
# naming them. The scheme, made a theme again by the Windows host, has
# every role (its other X names as copies, where links are refused).
# Usage: theme_host.sh <wine_run.sh> <prefix> <velmconv.exe> <work folder>
# Exit 77 (skipped) when dmz-cursor-theme is not installed.
set -eu
run_sh=$1 prefix=$2 exe=$3 work=$4
theme=/usr/share/icons/DMZ-White
[ -d "$theme/cursors" ] || { echo "skipped: needs dmz-cursor-theme"; exit 77; }
host() { sh "$run_sh" "$prefix" "$exe" "$@"; }
rm -rf "$work/theme-scheme" "$work/theme-x"
mkdir -p "$work"

host theme --quiet --to windows "Z:$theme" "Z:$work/theme-scheme"
[ -f "$work/theme-scheme/install.inf" ] || { echo "FAIL: no install.inf" >&2; exit 1; }

# wine's setupapi installs it, as a right-click on Install does.
set -- "$prefix"
. "$(dirname "$run_sh")/wine_env.sh"
wine_for "$exe"
installed="$prefix/drive_c/windows/Cursors/DMZ (White)"
rm -rf "$installed"
"$WINE" rundll32 setupapi.dll,InstallHinfSection DefaultInstall 128 "Z:$work/theme-scheme/install.inf"

copied=$(ls "$installed" | wc -l)
[ "$copied" = 15 ] || { echo "FAIL: $copied files installed in $installed" >&2; exit 1; }
list=$("$WINE" reg query 'HKCU\Control Panel\Cursors\Schemes' /v 'DMZ (White)' | tr -d '\r' | grep 'REG_EXPAND_SZ')
case $list in
*'C:\windows\Cursors\DMZ (White)\arrow.cur,C:\windows\Cursors\DMZ (White)\help.cur,'*'\hand.cur,,') ;;
*) echo "FAIL: scheme list $list" >&2; exit 1 ;;
esac
wait=$("$WINE" reg query 'HKCU\Control Panel\Cursors' /v Wait | tr -d '\r' | grep 'REG_EXPAND_SZ')
case $wait in
*'C:\windows\Cursors\DMZ (White)\wait.ani') ;;
*) echo "FAIL: Wait is $wait" >&2; exit 1 ;;
esac

host theme --quiet "Z:$work/theme-scheme" "Z:$work/theme-x"
names=$(ls "$work/theme-x/cursors" | wc -l)
[ "$names" = 67 ] || { echo "FAIL: $names X cursor names" >&2; exit 1; }
grep -qx 'Name=DMZ (White)' "$work/theme-x/index.theme" || { echo "FAIL: index.theme" >&2; exit 1; }
echo "DMZ-White as a scheme of $copied files installed by wine's setupapi; back as a theme of $names names"
