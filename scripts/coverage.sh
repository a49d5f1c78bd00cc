#!/usr/bin/env bash
# Line and branch coverage of the library code: builds the coverage preset
# (gcc --coverage, with the fuzz harnesses around a main that replays corpus
# files), runs every native test, then replays each harness's corpus
# (fuzz/corpus/<name>, and the grown corpus of a campaign in
# build/fuzz-campaign/<name>/corpus when there is one), and prints a table
# per file of library code (tests, fuzz harnesses, benchmarks and the
# reference host left out): what the tests alone reach, and what tests and
# corpora reach together, with the totals.
#   scripts/coverage.sh            table on standard output
#   scripts/coverage.sh --html D   also an HTML report (tests and corpora) in folder D
set -euo pipefail
cd "$(dirname "$0")/.."

command -v gcovr >/dev/null || scripts/install-deps.sh

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j2 >/dev/null
# Objects of sources that are gone (a test file merged into another) keep
# their notes files, whose old line numbers gcovr cannot merge: drop both.
ninja -C build/coverage -t cleandead >/dev/null
find build/coverage -name '*.gcno' | while read -r notes; do
  [[ -e "${notes%.gcno}.o" ]] || rm -f "$notes"
done
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j2 >/dev/null

# Notes files are searched for in the build alone: the Windows builds' Wine
# prefixes hold a drive that leads to the whole file system, and with it to
# other checkouts' coverage builds.
args=(build/coverage --root . --object-directory build/coverage
      --exclude 'tests/' --exclude 'fuzz/' --exclude 'bench/' --exclude 'host/' --exclude 'build/'
      --exclude-unreachable-branches --exclude-throw-branches --sort-percentage)
gcovr "${args[@]}" --json-summary-pretty --json-summary build/coverage/tests.json 2>/dev/null

for harness in build/coverage/fuzz/fuzz_*; do
  [[ -f "$harness" && -x "$harness" ]] || continue
  name="$(basename "$harness")"
  corpora=()
  for dir in "fuzz/corpus/${name#fuzz_}" "build/fuzz-campaign/$name/corpus"; do
    [[ -d "$dir" ]] && corpora+=("$dir")
  done
  [[ ${#corpora[@]} -gt 0 ]] && "$harness" "${corpora[@]}" >/dev/null
done
gcovr "${args[@]}" --json-summary-pretty --json-summary build/coverage/summary.json 2>/dev/null

/usr/bin/python3 - build/coverage/tests.json build/coverage/summary.json <<'PY'
import json, sys
tests, both = (json.load(open(p)) for p in sys.argv[1:3])
def pct(c, t): return f"{100.0 * c / t:6.1f} %" if t else "     -  "
def cols(f): return f"{pct(f['line_covered'], f['line_total'])} {pct(f['branch_covered'], f['branch_total'])}"
alone = {f["filename"]: f for f in tests["files"]}
print(f"{'':44} {'tests':>19}   {'tests and corpora':>19}")
print(f"{'file':44} {'lines':>9} {'branches':>9}   {'lines':>9} {'branches':>9}")
for f in sorted(both["files"], key=lambda f: f["filename"]):
    t = alone.get(f["filename"], {"line_covered": 0, "line_total": f["line_total"],
                                   "branch_covered": 0, "branch_total": f["branch_total"]})
    print(f"{f['filename']:44} {cols(t)}   {cols(f)}")
print(f"{'library code':44} {cols(tests)}   {cols(both)}")
PY
if [[ "${1:-}" == "--html" ]]; then
  mkdir -p "$2"
  gcovr "${args[@]}" --html-details "$2/index.html" 2>/dev/null
fi
