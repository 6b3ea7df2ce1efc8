#!/usr/bin/env bash
# Renders the 256 px PNG of the product's icon from its SVG (after the SVG
# changed; the PNG is kept in the repository because the window embeds it
# and a build needs no SVG renderer). Installs librsvg2-bin when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/dependencies.sh
karvo_install_packages librsvg2-bin
id=com.talvikas.KarvoTemp
rsvg-convert --width 256 --height 256 packaging/icons/$id.svg --output packaging/icons/$id.png
echo "packaging/icons/$id.png"
