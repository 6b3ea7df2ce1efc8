#!/usr/bin/env bash
# Regenerates docs/chart.png: the main window's chart after a synthetic
# three-day furnace run (tools/chart-demo).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j2 --target karvo-chart-demo
QT_QPA_PLATFORM=offscreen build/tools/chart-demo/karvo-chart-demo docs/chart.png 3
