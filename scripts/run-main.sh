#!/usr/bin/env bash
# Builds the plugin natively and stamps a built-in sample clip with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native
build/native/tools/stamp_demo
