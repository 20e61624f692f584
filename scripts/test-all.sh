#!/usr/bin/env bash
# Builds every preset and runs every test suite. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

for preset in native sanitize fuzz windows-x86; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# The benchmarks are not run here (they take minutes), only kept building.
echo "== bench (build only)"
cmake --preset bench >/dev/null
cmake --build --preset bench
