#!/bin/sh
# Stops the test prefix's wineserver and everything it still runs.
# Usage: wine_cleanup.sh <prefix>
. "$(dirname "$0")/wine_env.sh"
"$WINESERVER" -k >/dev/null 2>&1 </dev/null
"$WINESERVER" -w >/dev/null 2>&1 </dev/null
exit 0
