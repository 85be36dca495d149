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

# Its output goes to a file: a background process holding ctest's pipe would stall the run.
wine explorer "/desktop=$desktop,1024x768" >"$shots/desktop.log" 2>&1 &
desktop_pid=$!
trap 'kill "$desktop_pid" 2>/dev/null; sleep 0.5; kill -9 "$desktop_pid" 2>/dev/null' EXIT

# A program started in the very instant the virtual desktop appears can hang: wait for the
# desktop's X window first.
up=false
for _ in $(seq 300); do
  if xdotool search --name "^$desktop" >/dev/null 2>&1; then up=true; break; fi
  kill -0 "$desktop_pid" 2>/dev/null || break
  sleep 0.1
done
$up || { echo "run-e2e: the virtual desktop did not come up" >&2; exit 1; }
sleep 1

VELQUOR_GUI_DESKTOP="$desktop" VELQUOR_GUI_SHOTS="$(cd "$shots" && pwd)" \
  timeout -k 5 600 wine "$driver" --gtest_brief=0 "$@"
status=$?
echo "run-e2e: screenshots in $(cd "$shots" && pwd)"
exit $status
