#!/usr/bin/env bash
# Builds the Debian package, installs it, and opens the installed program from
# its desktop entry on a virtual display, leaving a screenshot in
# build/install-check/installed.png. Extra arguments go to cmake, e.g.
# -DLUTING_SITE_HOST=the-site.host.name. Exits 0 when every step passed,
# otherwise prints "check-install: FAILED: <reason>" and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."

app_id=io.github.luting_search.LutingSearch
title="鹭汀种子搜索/澜屿软件"
build=build/install-check
log="$build/check-install.log"

fail() {
  echo "check-install: FAILED: $*" >&2
  exit 1
}

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# The build's packages, then those of the checks below, each only if missing.
tools/install-deps.sh || fail "could not install the build's packages (tools/install-deps.sh)"
packages=(
  dpkg-dev                            # dpkg-shlibdeps, for the package's dependencies
  desktop-file-utils appstream        # the desktop entry and metainfo validators
  librsvg2-bin                        # renders the icon, as icon themes do
  xvfb x11-utils xdotool libglib2.0-bin  # a virtual display, window look-ups, gio launch
  imagemagick                         # the screenshot
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  { "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q --no-install-recommends \
      "${missing[@]}"; } || fail "could not install ${missing[*]}"
fi

mkdir -p "$build"
: >"$log"
step() {  # step "what" command...: runs the command into the log, fails with "what"
  local what=$1
  shift
  echo "== $what" | tee -a "$log"
  "$@" >>"$log" 2>&1 || { tail -n 20 "$log" >&2; fail "$what (see $log)"; }
}

step "configure" cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLUTING_BUILD_TESTS=OFF -DLUTING_BUILD_TOOLS=OFF "$@"
step "build" cmake --build "$build"

step "desktop-file-validate" desktop-file-validate "data/$app_id.desktop"
step "appstreamcli validate" appstreamcli validate --no-net "data/$app_id.metainfo.xml"
step "icon renders" rsvg-convert -w 64 -h 64 -o "$build/icon-64.png" "data/$app_id.svg"

rm -f "$build"/luting-search_*.deb
step "cpack" cpack --config "$build/CPackConfig.cmake" -B "$build"
debs=("$build"/luting-search_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no luting-search_*.deb in $build"
deb=$PWD/${debs[0]}
depends=$(dpkg-deb -f "$deb" Depends)
for d in qt6-qpa-plugins libqt6widgets6 libcurl4; do
  [[ "$depends" =~ (^|, )$d( |,|$) ]] || fail "the package does not depend on $d: $depends"
done

# --reinstall: the same version may be installed from an earlier run.
step "apt-get install" "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
  --reinstall "$deb"

echo "== installed files" | tee -a "$log"
entry=/usr/share/applications/$app_id.desktop
for f in /usr/bin/luting-search "$entry" \
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" "/usr/share/metainfo/$app_id.metainfo.xml"; do
  dpkg -S "$f" >/dev/null 2>&1 || fail "$f is not owned by the installed package"
  [ -s "$f" ] || fail "$f is missing or empty after installing"
done
[ -x /usr/bin/luting-search ] || fail "/usr/bin/luting-search is not executable"
step "installed desktop entry validates" desktop-file-validate "$entry"
grep -qx "Icon=$app_id" "$entry" || fail "$entry does not name the icon $app_id"
command -v "$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")" >/dev/null ||
  fail "the Exec program of $entry is not on PATH"

# A display of our own; the display number comes back on fd 3.
echo "== start from the desktop entry" | tee -a "$log"
xvfb=""
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  return 0
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$build/display" 2>>"$log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$build/display" ] && break; sleep 0.1; done
[ -s "$build/display" ] || fail "Xvfb did not start"
DISPLAY=":$(cat "$build/display")"
XDG_RUNTIME_DIR="$PWD/$build/runtime"  # Qt wants one; a desktop session would give it
export DISPLAY XDG_RUNTIME_DIR
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

gio launch "$entry" >>"$log" 2>&1 || fail "gio launch $entry failed"
window=""
for _ in $(seq 150); do  # up to 15 s
  window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1) || true
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no visible window titled $title within 15 s of gio launch"
[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "the window's title is not $title"
app=$(xdotool getwindowpid "$window") || fail "the window does not tell its process"
wm_class=$(xprop -id "$window" WM_CLASS)
startup_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
[[ "$wm_class" == *"\"$startup_class\""* ]] ||
  fail "WM_CLASS ($wm_class) does not match the entry's StartupWMClass ($startup_class)"

sleep 1  # let the first paint land
import -window root "$build/installed.png" 2>>"$log" || fail "could not take the screenshot"

kill -TERM "$app"
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program (pid $app) did not end within 10 s of SIGTERM"
app=""

echo "check-install: OK: installed $(basename "$deb"), window shown; screenshot $build/installed.png"
