#!/usr/bin/env bash
# Starts the installer under Wine in the rig of build/windows, building it first if needed.
# With an X display it opens on that display and the script returns when the window is closed;
# without one it runs under Xvfb in a Wine virtual desktop and saves a screenshot of the window.
set -euo pipefail
cd "$(dirname "$0")/.."
rig=build/windows/wine
exe=build/windows/src/app/VelquorManager_Install.exe

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null ||
   ! command -v xvfb-run >/dev/null; then
  scripts/setup.sh
fi
[ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build --preset windows --target VelquorManager_Install >/dev/null

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--headless" ]; then
  echo "demo: starting the installer on $DISPLAY"
  exec scripts/wine-run.sh "$rig" "$exe"
fi

if [ -z "${VELQUOR_DEMO_IN_XVFB:-}" ]; then
  exec env VELQUOR_DEMO_IN_XVFB=1 xvfb-run -a -s '-screen 0 1024x768x24' "$0" --headless
fi

shots=build/windows/demo
mkdir -p "$shots"
scripts/wine-run.sh "$rig" --prepare
# shellcheck source=wine-env.sh
source scripts/wine-env.sh "$rig"
desktop="velquor-demo-$$"
wine explorer "/desktop=$desktop,1024x768" "$exe" >"$shots/installer.log" 2>&1 &
pid=$!
# The rest of Wine ends with the Xvfb display that xvfb-run takes down after this script.
trap 'kill "$pid" 2>/dev/null || true' EXIT

# Bounded waits: for the desktop, then for the window to be drawn.
for _ in $(seq 300); do
  xdotool search --name "^$desktop" >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || { echo "demo: Wine ended early, see $shots/installer.log" >&2; exit 1; }
  sleep 0.1
done
sleep 4
shot="$(pwd)/$shots/installer.png"
import -window root "$shot"
echo "demo: screenshot of the installer window: $shot"
