#!/usr/bin/env bash
# Takes the README's screenshot: the program built for the demo site, on a
# virtual display, after a search for a keyword. Writes docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
for p in xvfb xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ -n "${missing[*]:-}" ]; then
  sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
mkdir -p docs
xvfb-run -a -s "-screen 0 1000x700x24" bash -c '
  tools/run.sh >/dev/null 2>&1 &
  for _ in $(seq 600); do
    win=$(xdotool search --name "鹭汀种子搜索" 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 0.2
  done
  sleep 1
  xdotool mousemove --window "$win" 200 12 click 1 type --delay 20 "测试"
  xdotool mousemove --window "$win" 430 12 click 1
  sleep 3
  xdotool mousemove --window "$win" 300 80 click 1
  sleep 1
  import -window "$win" docs/screenshot.png
  xdotool key --window "$win" Escape
  wait
'
echo "docs/screenshot.png"
