#!/usr/bin/env bash
# Runs the installer in a Wine virtual desktop on the current X display and the GUI driver's
# tests against it:  run-gui-tests.sh RIG installer.exe driver.exe SHOTS-FOLDER
# Every wait is bounded, and the installer is stopped by its process id when the driver ends.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts="$here/../../scripts"
rig=$1 installer=$2 driver=$3 shots=$4
[ -n "${DISPLAY:-}" ] || { echo "run-gui-tests: no X display (run under xvfb-run)" >&2; exit 1; }
mkdir -p "$shots"

"$scripts/wine-run.sh" "$rig" --prepare || exit 1
# shellcheck source=../../scripts/wine-env.sh
source "$scripts/wine-env.sh" "$rig"
desktop="velquor-gui-$$"

# Its output goes to a file: a background process holding ctest's pipe would stall the run.
wine explorer "/desktop=$desktop,1024x768" "$installer" >"$shots/installer.log" 2>&1 &
installer_pid=$!
stop_installer() {
  # The driver closes the window at its end; the desktop then goes by itself, or is told to.
  for _ in $(seq 50); do kill -0 "$installer_pid" 2>/dev/null || return 0; sleep 0.1; done
  kill "$installer_pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$installer_pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$installer_pid" 2>/dev/null
}
trap stop_installer EXIT

# A helper started in the very instant the virtual desktop appears can hang: wait for the
# desktop's X window first.
up=false
for _ in $(seq 300); do
  if xdotool search --name "^$desktop" >/dev/null 2>&1; then up=true; break; fi
  kill -0 "$installer_pid" 2>/dev/null || break
  sleep 0.1
done
$up || { echo "run-gui-tests: the virtual desktop did not come up" >&2; exit 1; }
sleep 1

VELQUOR_GUI_DESKTOP="$desktop" VELQUOR_GUI_SHOTS="$(cd "$shots" && pwd)" \
  timeout -k 5 120 wine "$driver" --gtest_brief=0
status=$?
echo "run-gui-tests: screenshots in $(cd "$shots" && pwd)"
exit $status
