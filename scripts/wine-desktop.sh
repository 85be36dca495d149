# Sourced after wine-env.sh. start_virtual_desktop NAME LOG [PROGRAM [ARGS...]] starts a Wine
# virtual desktop of 1024 x 768 on the current X display (with PROGRAM in it, if given), its
# output into LOG, and returns once the desktop's X window is up; VIRTUAL_DESKTOP_PID is the
# process. Returns 1 when the desktop did not come up within 30 s.
start_virtual_desktop() {
  local name=$1 log=$2
  shift 2
  # Its output goes to a file: a background process holding ctest's pipe would stall the run.
  wine explorer "/desktop=$name,1024x768" "$@" >"$log" 2>&1 &
  VIRTUAL_DESKTOP_PID=$!
  # A program started in the very instant the virtual desktop appears can hang: wait for the
  # desktop's X window first, and a moment more.
  for _ in $(seq 300); do
    if xdotool search --name "^$name" >/dev/null 2>&1; then
      sleep 1
      return 0
    fi
    kill -0 "$VIRTUAL_DESKTOP_PID" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}
