#!/usr/bin/env bash
# Runs every fuzz harness of a build for a short while.
#   fuzz/run_briefly.sh BUILD_DIR [SECONDS]   (default 20 seconds each)
# Each harness starts from its seed corpus (fuzz/corpus/<name>, read only)
# and collects what it finds in a scratch folder; crashes land in
# BUILD_DIR/fuzz/artifacts. Exits non-zero when a harness fails.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: $0 BUILD_DIR [SECONDS]}"
seconds="${2:-20}"
bindir="$build/fuzz"
artifacts="$bindir/artifacts"
mkdir -p "$artifacts"

found=0
status=0
for harness in "$bindir"/fuzz_*; do
  [[ -f "$harness" && -x "$harness" ]] || continue
  name="$(basename "$harness")"
  seeds="$here/corpus/${name#fuzz_}"
  work="$(mktemp -d)"
  found=1
  echo "== $name for ${seconds}s"
  corpora=("$work")
  [[ -d "$seeds" ]] && corpora+=("$seeds")
  if ! "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$artifacts/$name-" "${corpora[@]}"; then
    echo "!! $name failed; see $artifacts" >&2
    status=1
  fi
  rm -rf "$work"
done
if [[ $found == 0 ]]; then
  echo "no fuzz harnesses in $bindir" >&2
  exit 1
fi
exit $status
