#!/usr/bin/env bash
# Installs the Debian packages the project needs and the machine lacks.
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=(cmake g++ make freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgtest-dev
      libbenchmark-dev libpng-dev nlohmann-json3-dev xvfb xauth xdotool x11-apps
      clang libclang-rt-14-dev libqhull-dev libompl-dev liburdfdom-dev libtinyxml-dev
      pybind11-dev python3-dev python3-pytest python3-numpy python3-distributed
      python3-matplotlib gifsicle
      chromium python3-pil)  # the replay page's browser test: headless Chromium, PNG pixels

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm fetches three.js for the replay page at build time; a Node.js from elsewhere
# that brings its own npm is kept
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq </dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
