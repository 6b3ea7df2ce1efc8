#!/usr/bin/env bash
# Builds the widget gallery (tools/widget-gallery) and writes docs/widgets.png,
# the picture the gallery takes of its own window under a virtual X server.
# Needs xvfb-run (Debian: xvfb, xauth; scripts/test installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target karvo-widget-gallery
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/tools/widget-gallery/karvo-widget-gallery --screenshot docs/widgets.png
echo "wrote docs/widgets.png"
