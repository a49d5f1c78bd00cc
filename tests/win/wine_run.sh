#!/bin/sh
# Runs a Windows test program in the test prefix (the emulator of the
# Windows test targets). Usage: wine_run.sh <prefix> <program.exe> [args]
. "$(dirname "$0")/wine_env.sh"
shift
exec "$WINE" "$@"
