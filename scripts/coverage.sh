#!/usr/bin/env bash
# Which of the add-in's lines the test suite runs: builds with --coverage into its own build
# folder and Wine prefix, runs the whole suite there, and prints line coverage per folder of
# the add-in and its ten least covered files. A tool for finding what no row runs, not a gate:
# failing tests are reported and the figures printed all the same.
#
#     bash scripts/coverage.sh [build-dir]      # default build-coverage
#
# The programs run under Wine and write their counts when they exit, to the object file's
# Linux path with GCOV_PREFIX in front. Z: names that path on the drive of the Linux root, so
# the counts land beside the objects whatever drive a program runs on (seen from Z: and C:;
# this Wine also found the bare Linux path from C:, without the prefix).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$top/build-coverage}")

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work}
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_C_FLAGS_RELEASE="-O0 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O0 -DNDEBUG" >/dev/null
cmake --build "$build" -j2 >"$build/coverage-build.log" 2>&1 ||
  { tail -30 "$build/coverage-build.log"; exit 1; }

# Counts of this run only (the build runs programs of its own too).
find "$build" -name '*.gcda' -delete
started=$(date +%s)
if (cd "$build" && GCOV_PREFIX=Z: ctest -j1 --output-on-failure >"$build/coverage-tests.log" 2>&1); then
  echo "suite: passed in $(($(date +%s) - started)) s"
else
  echo "suite: FAILED (see $build/coverage-tests.log):" \
    "$(sed -n 's/^.*- \(.*\) (Failed).*$/\1/p' "$build/coverage-tests.log" | tr '\n' ' ')"
fi
echo "count files: $(find "$build" -name '*.gcda' | wc -l)"

python3 - "$top" "$build" <<'EOF'
import collections, json, os, pathlib, subprocess, sys

top, build = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
folders = ("addon", "commands", "dms", "ui", "convutils", "outside")
# line -> ran, per source file of the add-in; a header counts once however many objects include it
lines = collections.defaultdict(dict)
for gcno in sorted(build.rglob("*.gcno")):
    out = subprocess.run(["x86_64-w64-mingw32-gcov", "--json-format", "--stdout", str(gcno)],
                         cwd=gcno.parent, capture_output=True, text=True).stdout
    for document in out.splitlines():
        if not document.startswith("{"):
            continue
        for f in json.loads(document)["files"]:
            path = pathlib.Path(os.path.normpath(top / f["file"]))
            try:
                rel = path.relative_to(top)
            except ValueError:
                continue
            if rel.parts[0] not in folders or rel.parts[:2] == ("addon", "tools"):
                continue
            seen = lines[str(rel)]
            for line in f["lines"]:
                seen[line["line_number"]] = seen.get(line["line_number"], False) or line["count"] > 0

def group(rel):
    parts = pathlib.Path(rel).parts
    return "/".join(parts[:2]) if parts[0] == "commands" and len(parts) > 2 else parts[0]

def figure(ran, total):
    return f"{100.0 * ran / total:5.1f}% of {total:5d} lines" if total else "    -"

per_group = collections.defaultdict(lambda: [0, 0])
per_file = []
for rel, seen in lines.items():
    ran = sum(seen.values())
    per_group[group(rel)][0] += ran
    per_group[group(rel)][1] += len(seen)
    per_file.append((ran / len(seen) if seen else 1.0, len(seen) - ran, rel, ran, len(seen)))
print("\nline coverage of the add-in by folder:")
for name in sorted(per_group):
    print(f"  {name:20} {figure(*per_group[name])}")
ran = sum(v[0] for v in per_group.values())
total = sum(v[1] for v in per_group.values())
print(f"  {'all':20} {figure(ran, total)}")
print("\nthe ten least covered files:")
for share, missed, rel, ran, total in sorted(per_file)[:10]:
    print(f"  {rel:45} {figure(ran, total)}, {missed} not run")
EOF
