#!/usr/bin/env bash
# Runs one fuzz target for a bounded time: run-target.sh BINARY SEEDS WORKDIR SECONDS.
# New inputs go to WORKDIR/corpus (the committed seeds stay as they are), and
# any crashing, leaking or hanging input to WORKDIR/artifacts/. Exits non-zero
# on any finding. STAMPEL_FUZZ_SECONDS in the environment overrides SECONDS.
set -euo pipefail
binary=$1 seeds=$2 work=$3
seconds=${STAMPEL_FUZZ_SECONDS:-$4}
mkdir -p "$work/corpus" "$work/artifacts"
exec "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds"
