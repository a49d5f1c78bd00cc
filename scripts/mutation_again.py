#!/usr/bin/python3
"""Applies the mutants of a mutation table (mutate.py's TSV) again, one at a
time: each row's mutated_line is written over its line, the test program is
rebuilt and run, and the file is written back. Prints one line per mutant:
killed (with the first failing test) or survived.

    scripts/mutation_again.py BUILD_DIR TABLE.tsv TEST_COMMAND [--outcome survived|killed] [FILE:LINE ...]

By default the table's survivors are applied, for example against the whole
suite after a sample run with a filter:

    scripts/mutation_again.py build/linux mutation.tsv \\
        'cd build/linux/tests && ./velmconv_tests.bin --gtest_brief=1'

With --outcome killed, the mutants a sample killed are checked again after
tests are cut or merged. FILE:LINE limits it to those rows.
"""
import csv
import subprocess
import sys


def main(argv):
    outcome = 'survived'
    if '--outcome' in argv:
        i = argv.index('--outcome')
        outcome = argv[i + 1]
        del argv[i:i + 2]
    if len(argv) < 3:
        sys.exit(__doc__)
    build, table, command = argv[:3]
    only = set(argv[3:])
    rows = [r for r in csv.DictReader(open(table), delimiter='\t') if r['outcome'] == outcome]
    rebuild = ['cmake', '--build', build, '-j1', '--target', 'velmconv_tests']
    for r in rows:
        where = f"{r['file']}:{r['line']}"
        if only and where not in only:
            continue
        original = open(r['file']).read()
        lines = original.split('\n')
        i = int(r['line']) - 1
        if i >= len(lines) or lines[i].strip() != r['original_line'].strip():
            print(f'{where} the line has changed; skipped', flush=True)
            continue
        indent = lines[i][:len(lines[i]) - len(lines[i].lstrip())]
        lines[i] = indent + r['mutated_line'].strip()
        try:
            open(r['file'], 'w').write('\n'.join(lines))
            if subprocess.run(rebuild, capture_output=True).returncode != 0:
                verdict = 'did not compile'
            else:
                run = subprocess.run(['sh', '-c', command], capture_output=True, text=True)
                failed = [l.split()[3] for l in run.stdout.split('\n') if l.startswith('[  FAILED  ]') and len(l.split()) > 3]
                verdict = ('killed by ' + failed[0]) if run.returncode and failed else \
                          ('killed (exit %d)' % run.returncode) if run.returncode else 'survived'
            print(f"{where} {r['original']} -> {r['mutated']}: {verdict}", flush=True)
        finally:
            open(r['file'], 'w').write(original)
    subprocess.run(rebuild, capture_output=True)


if __name__ == '__main__':
    main(sys.argv[1:])
