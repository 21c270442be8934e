#!/usr/bin/env bash
# The postinst/postrm: thermalmonitord is restarted after an install, an upgrade's configure
# and a removal, left alone otherwise; launchctl first, SIGTERM by name without it; and the
# script succeeds whatever the tools do.
source "$(dirname "$0")/lib.sh"
script="$src/packaging/restart-thermalmonitord"
log="$scratch/calls"
tools="$scratch/tools"
mkdir -p "$tools"

tool() {  # <name> <exit status>: a stand-in that records its arguments
  printf '#!/bin/sh\necho "%s $*" >> "%s"\nexit %s\n' "$1" "$log" "$2" > "$tools/$1"
  chmod +x "$tools/$1"
}
run() {  # <action>: the script's status; the calls it made are in $log
  : > "$log"
  PATH="$tools:/usr/bin:/bin" sh "$script" "$1"
}

tool launchctl 0
tool killall 0
for action in configure remove abort-install abort-upgrade abort-remove abort-deconfigure; do
  run "$action"; expect_eq "status of $action" 0 $?
  expect_eq "calls for $action" "launchctl kickstart -k system/com.apple.thermalmonitord" "$(cat "$log")"
done
for action in purge upgrade failed-upgrade disappear ""; do
  run "$action"; expect_eq "status of '$action'" 0 $?
  expect_eq "calls for '$action'" "" "$(cat "$log")"
done

# launchctl refuses: the daemon is ended by name and launchd relaunches it.
tool launchctl 1
run configure; expect_eq "status when launchctl fails" 0 $?
expect_eq "calls when launchctl fails" "launchctl kickstart -k system/com.apple.thermalmonitord
killall -TERM thermalmonitord" "$(cat "$log")"

# No launchctl at all; then neither tool, or both failing: still a success.
rm "$tools/launchctl"
run remove; expect_eq "calls without launchctl" "killall -TERM thermalmonitord" "$(cat "$log")"
tool killall 1
run remove; expect_eq "status when killall fails" 0 $?
rm "$tools/killall"
if command -v killall >/dev/null 2>&1 || command -v launchctl >/dev/null 2>&1; then
  echo "(this machine has its own killall or launchctl: the no-tool case is not run)"
else
  run configure; expect_eq "status without any tool" 0 $?
fi
finish
