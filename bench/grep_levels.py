#!/usr/bin/env python3
"""The where-used levels by hand with GNU grep, as compare_with_grep.sh times them.

Usage: grep_levels.py LEVELS TEXT INCLUDE TREE OUT

Level 1 is `grep -rlF --include=INCLUDE TEXT TREE`; level k + 1 is one
`grep -rlF -f NAMES --include=INCLUDE TREE` with the names of the files found at level k, less
the files found before. A name is derived as spurwerk-find derives it: the file name up to its
first dot, decoded as UTF-8 (Windows-1252 when it is not valid UTF-8), in upper case, and looked
for in UTF-8 and, outside ASCII, also in Windows-1252. A name looked for before is not looked for
again. The search ends after level LEVELS or at the first level that finds no new file.

Prints "LEVEL<TAB>PATH" per file. Writes OUT.seconds (the time of the greps alone, without the
time a person spends deriving the names), OUT.levels, a line per level: level, names looked
for, files found, seconds of its grep; and OUT.names.LEVEL, the names of each level after the
first, one per line.
"""
import os
import subprocess
import sys
import time

# The five bytes Windows-1252 leaves free stand for the control characters of the same number.
FREE_IN_WINDOWS_1252 = {0x81, 0x8D, 0x8F, 0x90, 0x9D}


def from_windows_1252(raw):
    return ''.join(chr(b) if b in FREE_IN_WINDOWS_1252 else bytes([b]).decode('cp1252')
                   for b in raw)


def reference_name(path):
    raw = os.path.basename(path)
    try:
        name = raw.decode('utf-8')
    except UnicodeDecodeError:
        name = from_windows_1252(raw)
    return name.split('.', 1)[0].upper()


def forms(name):
    found = [name.encode('utf-8')]
    if not name.isascii():
        try:
            found.append(name.encode('cp1252'))
        except UnicodeEncodeError:
            pass
    return found


def grep(arguments, tree, include):
    start = time.perf_counter()
    done = subprocess.run(['grep', '-rlF', '--include=' + include] + arguments + ['--', tree],
                          stdout=subprocess.PIPE, check=False)
    seconds = time.perf_counter() - start
    if done.returncode > 1:
        sys.exit('grep ended with status %d' % done.returncode)
    return [path for path in done.stdout.split(b'\n') if path], seconds


def main():
    levels, text, include, tree, out = sys.argv[1:]
    reported = set()
    searched = {text}
    total = 0.0
    rows = []
    found, seconds = grep(['-e', text], tree, include)
    for level in range(1, int(levels) + 1):
        if level > 1:
            names = []
            for path in last:
                name = reference_name(path)
                if name and name not in searched:
                    searched.add(name)
                    names.append(name)
            if not names:
                break
            with open('%s.names.%d' % (out, level), 'w', encoding='utf-8') as file:
                file.writelines(name + '\n' for name in names)
            with open(out + '.patterns', 'wb') as patterns:
                patterns.writelines(form + b'\n' for name in names for form in forms(name))
            found, seconds = grep(['-f', out + '.patterns'], tree, include)
        last = [path for path in found if path not in reported]
        total += seconds
        rows.append('%d %d %d %.4f' % (level, 1 if level == 1 else len(names), len(last), seconds))
        if not last:
            break
        reported.update(last)
        for path in last:
            sys.stdout.buffer.write(b'%d\t%s\n' % (level, path))
    with open(out + '.seconds', 'w') as file:
        file.write('%.4f\n' % total)
    with open(out + '.levels', 'w') as file:
        file.write('\n'.join(rows) + '\n')


main()
