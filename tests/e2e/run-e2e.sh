#!/usr/bin/env bash
# Runs the end-to-end suite on an empty Wine virtual desktop of the current X display; the suite
# starts the installer on that desktop itself, once per test:
#   run-e2e.sh RIG driver.exe SHOTS-FOLDER [gtest arguments...]
# Every wait is bounded; the desktop is ended when the suite ends.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts="$here/../../scripts"
rig=$1 driver=$2 shots=$3
shift 3
[ -n "${DISPLAY:-}" ] || { echo "run-e2e: no X display (run under xvfb-run)" >&2; exit 1; }
mkdir -p "$shots"

"$scripts/wine-run.sh" "$rig" --prepare || exit 1
# shellcheck source=../../scripts/wine-env.sh
source "$scripts/wine-env.sh" "$rig"
desktop="velquor-e2e-$$"

# shellcheck source=../../scripts/wine-desktop.sh
source "$scripts/wine-desktop.sh"
up=true
start_virtual_desktop "$desktop" "$shots/desktop.log" || up=false
desktop_pid=$VIRTUAL_DESKTOP_PID
trap 'kill "$desktop_pid" 2>/dev/null; sleep 0.5; kill -9 "$desktop_pid" 2>/dev/null' EXIT
$up || { echo "run-e2e: the virtual desktop did not come up" >&2; exit 1; }

VELQUOR_GUI_DESKTOP="$desktop" VELQUOR_GUI_SHOTS="$(cd "$shots" && pwd)" \
  timeout -k 5 600 wine "$driver" --gtest_brief=0 "$@"
status=$?
echo "run-e2e: screenshots in $(cd "$shots" && pwd)"
exit $status
