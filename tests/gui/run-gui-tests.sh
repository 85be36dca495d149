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

# shellcheck source=../../scripts/wine-desktop.sh
source "$scripts/wine-desktop.sh"
stop_installer() {
  # The driver closes the window at its end; the desktop then goes by itself, or is told to.
  for _ in $(seq 50); do kill -0 "$installer_pid" 2>/dev/null || return 0; sleep 0.1; done
  kill "$installer_pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$installer_pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$installer_pid" 2>/dev/null
}
up=true
start_virtual_desktop "$desktop" "$shots/installer.log" "$installer" || up=false
installer_pid=$VIRTUAL_DESKTOP_PID
trap stop_installer EXIT
$up || { echo "run-gui-tests: the virtual desktop did not come up" >&2; exit 1; }

VELQUOR_GUI_DESKTOP="$desktop" VELQUOR_GUI_SHOTS="$(cd "$shots" && pwd)" \
  timeout -k 5 120 wine "$driver" --gtest_brief=0
status=$?
echo "run-gui-tests: screenshots in $(cd "$shots" && pwd)"
exit $status
