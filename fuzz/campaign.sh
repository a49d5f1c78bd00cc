#!/usr/bin/env bash
# A fuzzing campaign: every harness for a long while, its findings kept and
# its corpus minimised back into the repository, so that CI's brief run
# (fuzz/run_briefly.sh) starts from what the campaign learned.
#
#   fuzz/campaign.sh HOURS [options] [HARNESS ...]
#     -b DIR    the fuzz build to use (default build/fuzz; built here with
#               the fuzz preset when it is missing)
#     -j N      harnesses run side by side (default: the number of cores)
#     -r RUNS   a harness stops once it has run this many inputs
#               (default 10000000)
#     --nice    run the harnesses at the lowest priority
#   HOURS is the wall time of the whole campaign; each harness gets an equal
#   share of HOURS x N / harnesses. With no HARNESS every fuzz_* of the build
#   runs.
#
# For each harness the campaign works in build/fuzz-campaign/<name>/: the
# corpus it grows (seeded from fuzz/corpus/<name>), the log, and crashes
# (crash-*, leak-*, timeout-*, oom-*). At the end it merges the grown corpus
# into fuzz/corpus/<name> with -merge=1: the named seeds kept there stay, and
# only grown inputs that add coverage beyond them are added. It prints one table row per harness:
# executions, coverage (libFuzzer's cov and ft counters at the end), corpus
# files and bytes before and after the merge, and findings. The table is
# also left in build/fuzz-campaign/results.md for docs/fuzzing.md.
#
# A finding stops nothing: the harness is restarted (libFuzzer's -fork mode
# is not used, so the restart is this script's loop) until its share is
# spent, and every finding is kept. Exit status: 1 when anything was found.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"

usage() { sed -n '6,16p' "$0" >&2; exit 2; }
[[ $# -ge 1 ]] || usage
hours="$1"; shift
build="$root/build/fuzz"
jobs="$(nproc)"
runs=10000000
nice=()
names=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    -b) build="$(cd "$2" && pwd)"; shift 2 ;;
    -j) jobs="$2"; shift 2 ;;
    -r) runs="$2"; shift 2 ;;
    --nice) nice=(nice -n 19); shift ;;
    -h|--help) usage ;;
    *) names+=("$1"); shift ;;
  esac
done

if [[ ! -d "$build/fuzz" ]]; then
  (cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)")
fi
if [[ ${#names[@]} -eq 0 ]]; then
  for h in "$build"/fuzz/fuzz_*; do [[ -x "$h" && -f "$h" ]] && names+=("$(basename "$h")"); done
fi
[[ ${#names[@]} -gt 0 ]] || { echo "no fuzz harnesses in $build/fuzz" >&2; exit 1; }

work="$root/build/fuzz-campaign"
mkdir -p "$work"
share=$(awk -v h="$hours" -v j="$jobs" -v n="${#names[@]}" 'BEGIN { s = int(h * 3600 * j / n); print (s < 10 ? 10 : s) }')
echo "campaign: ${#names[@]} harnesses, $jobs at a time, up to ${share}s or $runs runs each"

files() { find "$1" -type f | wc -l; }
bytes() { du -sb "$1" | cut -f1; }

# One harness: fuzz until the runs or the time share are spent, restarting
# after a finding; then minimise its corpus back into the repository.
campaign_one() {
  local name="$1" dir="$work/$1" seeds="$here/corpus/${1#fuzz_}"
  mkdir -p "$dir/corpus" "$dir/findings"
  [[ -d "$seeds" ]] && cp -n "$seeds"/* "$dir/corpus/" 2>/dev/null || true
  local before_files before_bytes
  before_files=$(files "$dir/corpus"); before_bytes=$(bytes "$dir/corpus")
  local start=$SECONDS done_runs=0 left="$share" log="$dir/log.txt"
  : >"$log"
  while (( left > 0 && done_runs < runs )); do
    "${nice[@]}" "$build/fuzz/$name" -max_total_time="$left" -runs=$((runs - done_runs)) \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$dir/findings/" "$dir/corpus" >>"$log" 2>&1 || true
    local n
    n=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || echo 0)
    done_runs=$((done_runs + ${n:-0}))
    # A run that ended without its final statistics crashed; the next one
    # continues from the corpus. One that ran nothing cannot make progress.
    [[ ${n:-0} -gt 0 ]] || break
    left=$((share - (SECONDS - start)))
    echo "stat::cumulative_runs: $done_runs" >>"$log"
  done
  local cov ft
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || echo '-')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || echo '-')
  # Minimise: the repository's named seeds stay as they are; of the grown
  # corpus only the inputs that add coverage beyond them are added.
  rm -rf "$dir/merged" && mkdir -p "$dir/merged"
  [[ -d "$seeds" ]] && cp "$seeds"/* "$dir/merged/" 2>/dev/null || true
  "${nice[@]}" "$build/fuzz/$name" -merge=1 -timeout=10 -rss_limit_mb=2048 \
    "$dir/merged" "$dir/corpus" >"$dir/merge.txt" 2>&1 || true
  mkdir -p "$seeds" && cp -n "$dir/merged"/* "$seeds/" 2>/dev/null || true
  local found
  found=$(find "$dir/findings" -type f | wc -l)
  printf '| %s | %s | %s | %s | %s files, %s bytes | %s files, %s bytes | %s | %s s |\n' \
    "$name" "$done_runs" "$cov" "$ft" "$before_files" "$before_bytes" \
    "$(files "$seeds")" "$(bytes "$seeds")" "$found" "$((SECONDS - start))" >"$dir/row.md"
}

running=0
for name in "${names[@]}"; do
  campaign_one "$name" &
  running=$((running + 1))
  if (( running >= jobs )); then wait -n || true; running=$((running - 1)); fi
done
wait

{
  echo "| harness | executions | cov | ft | corpus before | corpus after merge | findings | seconds |"
  echo "|---|---|---|---|---|---|---|---|"
  for name in "${names[@]}"; do cat "$work/$name/row.md"; done
} >"$work/results.md"
cat "$work/results.md"
found=$(find "$work"/*/findings -type f 2>/dev/null | wc -l)
if (( found > 0 )); then
  echo "findings: see $work/*/findings (reproduce with: $build/fuzz/HARNESS FILE)" >&2
  exit 1
fi
