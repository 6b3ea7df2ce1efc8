#!/usr/bin/env bash
# Writes docs/window.png: the main window of a running session, made under a
# virtual X server (96 dpi, the design's 1484 x 724). The simulated
# controller runs on COM9 (a furnace asked to heat from 20 ºC to 400 ºC, 6
# times faster than real time); karvo-window-screenshot picks COM9, presses
# Start, waits until the chart holds a dozen temperatures and grabs the
# window. Needs xvfb-run (scripts/test installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target karvo-window-screenshot karvo-sim karvo-probe

source docs/screenshot-session.sh
start_simulator --speed 6 --seed 5
for _ in $(seq 50); do
  build/tools/karvo-probe/karvo-probe COM9 write 2 400 >/dev/null 2>&1 && break
  sleep 0.1
done
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1484x724x24 -dpi 96" \
  build/tools/window-screenshot/karvo-window-screenshot COM9 docs/window.png 12 180
echo "wrote docs/window.png"
