#!/usr/bin/env bash
# Runs the fault matrix on a virtual desktop (through the end-to-end suite's runner):
#   run-faults.sh RIG driver.exe SHOTS-FOLDER SERVER-SCRIPT SERVER-FOLDER HOST PORT [gtest args...]
# The matrix's last row stops the install server to see a refused connection, and a suite that
# ran before may have stopped it too: the server is started again on the installer's compiled
# host before and after, so the suites that share it keep working in any order.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
rig=$1 driver=$2 shots=$3 server=$4 server_dir=$5 host=$6 port=$7
shift 7

ensure_server() {
  [ -f "$server_dir/port" ] && return 0
  timeout 30 python3 "$server" --root "$server_dir/root" --host "$host" --port "$port" \
    --port-file "$server_dir/port" --daemon --lifetime 900
}

ensure_server || { echo "run-faults: cannot start the install server" >&2; exit 1; }

# A volume of 4 MiB as drive T:, for the rows about room on disk, where the rig may mount one
# (a tmpfs); without it those rows say so and are skipped.
"$here/../../scripts/wine-run.sh" "$rig" --prepare || exit 1
small="$(cd "$rig" && pwd)/small-volume"
mkdir -p "$small"
if mountpoint -q "$small" || mount -t tmpfs -o size=4m velquor-small "$small" 2>/dev/null; then
  ln -sfn "$small" "$(cd "$rig" && pwd)/prefix/dosdevices/t:"
  export VELQUOR_SMALL_VOLUME='T:\'
fi
unmount_small() {
  rm -f "$(cd "$rig" && pwd)/prefix/dosdevices/t:"
  mountpoint -q "$small" && umount "$small"
}
trap unmount_small EXIT

"$here/../e2e/run-e2e.sh" "$rig" "$driver" "$shots" "$@"
status=$?
# The server removes its port file as it ends; give the last row's shutdown time to finish.
for _ in $(seq 50); do [ -f "$server_dir/port" ] || break; sleep 0.1; done
ensure_server || status=1
exit $status
