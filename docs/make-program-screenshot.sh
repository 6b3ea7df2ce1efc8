#!/usr/bin/env bash
# Writes docs/program.png: the main window running a segment program, made
# under a virtual X server (96 dpi, the design's 1484 x 724). The simulated
# controller runs on COM9 (a furnace at 100 ºC, 20 times faster than real
# time); karvo-window-screenshot --program picks COM9, presses Start,
# enters a program of three segments (130 ºC, 160 ºC, 175 ºC), lets its
# clock run with the furnace and grabs the window once the second segment
# has been stable for a few polls: the table with the running segment
# marked, the three lamps on, the rate-of-change line in the chart. Needs
# xvfb-run (scripts/test installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target karvo-window-screenshot karvo-sim

source docs/screenshot-session.sh
speed=20
start_simulator --speed $speed --start-temp 100 --seed 5
wait_for_port
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1484x724x24 -dpi 96" \
  build/tools/window-screenshot/karvo-window-screenshot --program $speed COM9 docs/program.png 3 300
echo "wrote docs/program.png"
