#!/usr/bin/env python3
"""Names for the functions of a benchmark's profile (bench_execute --profile): reads the profile
from stdin and the program's symbols with nm, prints each line with its function's name."""
import bisect
import re
import subprocess
import sys

program = sys.argv[1]
symbols = []
for line in subprocess.run(['x86_64-w64-mingw32-nm', '-C', program], capture_output=True,
                           text=True, check=True).stdout.splitlines():
    match = re.match(r'([0-9a-f]+) [tT] (.*)', line)
    if match:
        symbols.append((int(match.group(1), 16), match.group(2)))
symbols.sort()
starts = [address for address, _ in symbols]
base = 0x140000000
for line in sys.stdin:
    match = re.match(r'\s+0x([0-9a-f]+)\s+(\S+)\s+(\S+)', line)
    if not match:
        print(line, end='')
        continue
    at = bisect.bisect_right(starts, int(match.group(1), 16) + base) - 1
    name = symbols[at][1] if at >= 0 else '?'
    print(f'{match.group(2):>8} {match.group(3):>8}  {name[:150]}')
