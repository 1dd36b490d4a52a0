#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# those that are missing only. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git   # the toolchain
  qt6-base-dev qt6-qpa-plugins           # Qt 6 Widgets and Test, platform plugins (offscreen too)
  libcurl4-openssl-dev                   # the HTTPS client
  libcpp-httplib-dev libssl-dev openssl  # the local HTTPS test and demo site, test certificates
  libgtest-dev libbenchmark-dev          # GoogleTest, Google Benchmark
  clang libclang-rt-14-dev               # libFuzzer and the sanitizers
  valgrind                               # instruction counts and memory checks
  desktop-file-utils appstream librsvg2-bin  # checks of the desktop entry, metainfo and icon
  xvfb xauth fonts-wqy-microhei          # a virtual display, and a font with Chinese glyphs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
