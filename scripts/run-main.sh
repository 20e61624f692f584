#!/usr/bin/env bash
# Builds the plugin and stampel natively, then stamps a built-in sample clip:
# ffmpeg's test pattern piped through stampel, frame 42 of it saved as
# docs/sample-frame.png (twice the size, so the digits show).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native

out=build/native/sample
mkdir -p "$out"
frames=100
ffmpeg -v error -nostdin -f lavfi -i "testsrc2=size=320x240:rate=25" -frames:v "$frames" \
  -pix_fmt yuv420p -f yuv4mpegpipe - |
  build/native/stampel --frames "$frames" --quiet - "$out/stamped.y4m"
ffmpeg -v error -nostdin -y -i "$out/stamped.y4m" -vf "select=eq(n\,42),scale=iw*2:ih*2:flags=neighbor" \
  -frames:v 1 -update 1 docs/sample-frame.png
echo "stamped $frames frames into $out/stamped.y4m; frame 42: docs/sample-frame.png"
