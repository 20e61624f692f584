#!/usr/bin/env bash
# A longer fuzzing campaign: builds the fuzz preset and runs every fuzz target
# for SECONDS each (default 600), one after another. The corpus grows in
# build/fuzz/fuzz/work/<target>/corpus and is kept between campaigns; a
# finding is written to build/fuzz/fuzz/work/<target>/artifacts/ and makes
# the script fail. Worth keeping findings go in fuzz/corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: SECONDS must be a positive whole number, not '$seconds'" >&2
  exit 2
fi
scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
STAMPEL_FUZZ_SECONDS=$seconds ctest --preset fuzz --timeout $((seconds + 300))
