#!/usr/bin/env bash
# Line and branch coverage of the library code by the native test suite:
# builds the coverage preset (gcc --coverage), runs every native test, and
# prints a table per file of library code (tests, fuzz harnesses,
# benchmarks and the reference host left out) with the totals.
#   scripts/coverage.sh            table on standard output
#   scripts/coverage.sh --html D   also an HTML report in folder D
set -euo pipefail
cd "$(dirname "$0")/.."

command -v gcovr >/dev/null || scripts/install-deps.sh

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j2 >/dev/null
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j2 >/dev/null

args=(--root . --object-directory build/coverage
      --exclude 'tests/' --exclude 'fuzz/' --exclude 'bench/' --exclude 'host/' --exclude 'build/'
      --exclude-unreachable-branches --exclude-throw-branches --sort-percentage)
gcovr "${args[@]}" --json-summary-pretty --json-summary build/coverage/summary.json 2>/dev/null
/usr/bin/python3 - build/coverage/summary.json <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
def pct(c, t): return f"{100.0 * c / t:6.1f} %" if t else "     -  "
print(f"{'file':44} {'lines':>9} {'branches':>9}")
for f in sorted(d["files"], key=lambda f: f["filename"]):
    print(f"{f['filename']:44} {pct(f['line_covered'], f['line_total'])} {pct(f['branch_covered'], f['branch_total'])}")
print(f"{'library code':44} {pct(d['line_covered'], d['line_total'])} {pct(d['branch_covered'], d['branch_total'])}")
PY
if [[ "${1:-}" == "--html" ]]; then
  mkdir -p "$2"
  gcovr "${args[@]}" --html-details "$2/index.html" 2>/dev/null
fi
