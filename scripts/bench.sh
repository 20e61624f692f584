#!/usr/bin/env bash
# Builds the bench preset, runs the in-process benchmarks and, when they are
# there, the whole-pipeline timings, and writes docs/performance.md and its
# plot from that one run. Not part of the test run: it takes a few minutes.
# STAMPEL_BENCH_BUILD_DIR overrides the build directory (build/bench).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

build="${STAMPEL_BENCH_BUILD_DIR:-build/bench}"
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2

results="$build/results"
mkdir -p "$results" docs
flags="--benchmark_repetitions=9 --benchmark_enable_random_interleaving=true --benchmark_min_time=0.1"
echo "== in-process benchmarks"
# shellcheck disable=SC2086
"$build/bench/stampel_bench" $flags \
  --benchmark_out="$results/inprocess.json" --benchmark_out_format=json

# The whole-pipeline timings are a script of their own in bench/pipeline/,
# which writes its report as Markdown on standard output.
pipeline_args=()
pipeline_script=""
for candidate in bench/pipeline/run.sh bench/pipeline/*.sh bench/pipeline/*.py; do
  if [ -f "$candidate" ]; then
    pipeline_script="$candidate"
    break
  fi
done
if [ -n "$pipeline_script" ]; then
  echo "== whole pipeline: $pipeline_script"
  case "$pipeline_script" in
    *.py) runner=python3 ;;
    *) runner=bash ;;
  esac
  if STAMPEL_BUILD_DIR="$build" "$runner" "$pipeline_script" >"$results/pipeline.md"; then
    pipeline_args=(--pipeline "$results/pipeline.md" --pipeline-command "$pipeline_script")
  else
    pipeline_args=(--pipeline-note "\`$pipeline_script\` failed (exit status $?); no figures.")
  fi
else
  echo "== whole pipeline: no script in bench/pipeline/, skipped"
  pipeline_args=(--pipeline-note "Not measured in this run: there was no timing script in \`bench/pipeline/\`.")
fi

# The system Python, which has the packaged matplotlib.
/usr/bin/python3 bench/report.py --inprocess "$results/inprocess.json" --flags "$flags" \
  "${pipeline_args[@]}" --out docs/performance.md --plot docs/performance.png
echo "wrote docs/performance.md and docs/performance.png"
