#!/bin/sh
# Runs a Windows test program in the test prefix (the emulator of the
# Windows test targets) with the loader its type needs.
# Usage: wine_run.sh <prefix> <program.exe> [args]
. "$(dirname "$0")/wine_env.sh"
shift
wine_for "$1" || exit 1
exec "$WINE" "$@"
