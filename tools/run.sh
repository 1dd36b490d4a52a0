#!/usr/bin/env bash
# Builds the program for the local demo site, starts the site, opens the
# window, and stops the site when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
port=18443
build=build/run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUTING_BUILD_TESTS=OFF \
  -DLUTING_SITE_HOST="127.0.0.1:$port" -DLUTING_SITE_CA_FILE="$PWD/tests/certs/ca.pem"
cmake --build "$build" --target luting-search luting-demo-site

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the window on; run it under a virtual one: xvfb-run -a tools/run.sh"
  exit 1
fi

"$build/tools/demo-site/luting-demo-site" --port "$port" &
site=$!
trap 'kill "$site" 2>/dev/null; wait "$site" 2>/dev/null || true' EXIT
for _ in $(seq 50); do  # until the site listens
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
"$build/src/app/luting-search"
