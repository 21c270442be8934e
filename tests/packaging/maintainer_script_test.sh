#!/usr/bin/env bash
# The maintainer scripts (one file run as postinst, prerm and postrm): what each of dpkg's
# calls does with the daemon, the tool and the preferences file; the respring asked of the
# package manager through CYDIA's descriptor; and a status of 0 whatever the tools do.
source "$(dirname "$0")/lib.sh"
log="$scratch/calls"
tools="$scratch/tools"
root="$scratch/root"  # DPKG_ROOT
mkdir -p "$tools" "$scratch/scripts"
for role in postinst prerm postrm; do
  cp "$src/packaging/maintainer-script" "$scratch/scripts/$role"
  # dpkg runs them from its database under the package's name.
  cp "$src/packaging/maintainer-script" "$scratch/scripts/com.nu-falk.halvernic.$role"
done

tool() {  # <name> <exit status>: a stand-in that records its arguments
  printf '#!/bin/sh\necho "%s $*" >> "%s"\nexit %s\n' "$1" "$log" "$2" > "$tools/$1"
  chmod +x "$tools/$1"
}
run() {  # <role> <action> [CYDIA]: the script's status; its calls are in $log
  : > "$log"
  env -u CYDIA ${3:+CYDIA="$3"} DPKG_ROOT="$root" PATH="$tools:/usr/bin:/bin" \
    sh "$scratch/scripts/$1" "$2" 3>> "$scratch/fd3"
}
restart="launchctl kickstart -k system/com.apple.thermalmonitord"

tool launchctl 0
tool killall 0
tool halvernicctl 0
# Every call of dpkg's, by script: the calls made.
while IFS='|' read -r role action expected; do
  run "$role" "$action"; expect_eq "status of $role $action" 0 $?
  expect_eq "calls of $role '$action'" "$(printf '%b' "$expected")" "$(cat "$log")"
done <<EOT
postinst|configure|$restart
postinst|abort-upgrade|$restart
postinst|abort-remove|$restart
postinst|abort-deconfigure|$restart
postinst|triggered|
prerm|remove|halvernicctl stand-down\nhalvernicctl reset
prerm|upgrade|
prerm|deconfigure|
prerm|failed-upgrade|
postrm|remove|$restart
postrm|abort-install|$restart
postrm|abort-upgrade|$restart
postrm|purge|
postrm|upgrade|
postrm|failed-upgrade|
postrm|disappear|
postrm||
EOT
# The name dpkg gives the scripts in its database works the same.
run com.nu-falk.halvernic.prerm remove
expect_eq "prerm under dpkg's name" "halvernicctl stand-down
halvernicctl reset" "$(cat "$log")"

# The removal deletes the overheat protection's state file (after the tool's two steps, and
# without the tool too), nothing else of the state folder.
state="$root/var/jb/var/lib/com.nu-falk.halvernic"
mkdir -p "$state"
printf 'x' > "$state/overheat.plist"
printf 'x' > "$state/report.plist"
run prerm remove
[ ! -e "$state/overheat.plist" ] || fail "prerm remove left the overheat protection's state"
[ -e "$state/report.plist" ] || fail "prerm remove deleted the report (purge's)"
run prerm upgrade
printf 'x' > "$state/overheat.plist"
run prerm upgrade
[ -e "$state/overheat.plist" ] || fail "an upgrade's prerm deleted the protection's state"

# The tool fails at both steps: the removal goes on.
tool halvernicctl 1
run prerm remove; expect_eq "prerm when the tool fails" 0 $?
expect_eq "both steps tried" 2 "$(wc -l < "$log")"
rm "$tools/halvernicctl"
run prerm remove; expect_eq "prerm without the tool" 0 $?

# The tool is found below the jailbreak root, under DPKG_ROOT.
mkdir -p "$root/var/jb/usr/bin"
printf '#!/bin/sh\necho "jb-halvernicctl $*" >> "%s"\n' "$log" > "$root/var/jb/usr/bin/halvernicctl"
chmod +x "$root/var/jb/usr/bin/halvernicctl"
run prerm remove
expect_eq "the tool below DPKG_ROOT/var/jb" "jb-halvernicctl stand-down
jb-halvernicctl reset" "$(cat "$log")"

# purge deletes the preferences file (and one set aside as unreadable), the extension's
# report and state, nothing else.
prefs="$root/var/jb/var/mobile/Library/Preferences"
mkdir -p "$prefs"
printf 'x' > "$prefs/com.nu-falk.halvernic-prefs.plist"
printf 'x' > "$prefs/com.nu-falk.halvernic-prefs.plist.unreadable"
printf 'x' > "$prefs/com.example.other.plist"
state="$root/var/jb/var/lib/com.nu-falk.halvernic"
mkdir -p "$state"
printf 'x' > "$state/report.plist"
printf 'x' > "$state/overheat.plist"
printf 'x' > "$state/report.plist.tmp-interrupted"
run postrm purge; expect_eq "status of purge" 0 $?
[ ! -e "$state" ] || fail "purge left the extension's report folder"
[ -d "$root/var/jb/var/lib" ] || fail "purge deleted the jailbreak's /var/lib"
[ ! -e "$prefs/com.nu-falk.halvernic-prefs.plist" ] || fail "purge left the preferences file"
[ ! -e "$prefs/com.nu-falk.halvernic-prefs.plist.unreadable" ] || fail "purge left the unreadable copy"
[ -e "$prefs/com.example.other.plist" ] || fail "purge deleted another package's preferences"
run postrm purge; expect_eq "purge without a file" 0 $?
mkdir -p "$state"
printf 'x' > "$state/overheat.plist"
printf 'x' > "$state/report.plist"
run postrm remove
[ -e "$prefs/com.example.other.plist" ] || fail "remove touched the preferences"
[ ! -e "$state/overheat.plist" ] || fail "postrm remove left the overheat protection's state"
[ -e "$state/report.plist" ] || fail "postrm remove deleted the report (purge's)"
rm -rf "$state"

# A respring is asked for on install and upgrade (configure) and on removal, through the
# descriptor CYDIA names first; never without CYDIA, never with a malformed or closed one.
for case in "postinst configure|3 1|finish:restart" "postrm remove|3 1|finish:restart" \
            "postinst abort-upgrade|3 1|" "prerm remove|3 1|" "postrm purge|3 1|" \
            "postinst configure||" "postinst configure|abc 1|" "postinst configure|3x 1|" \
            "postinst configure| 3|" "postinst configure|7 1|" "postinst configure|99999999999 1|" \
            "postrm remove|12 1|"; do
  IFS='|' read -r call cydia expected <<< "$case"
  : > "$scratch/fd3"
  run ${call} "$cydia"; expect_eq "status of $call with CYDIA='$cydia'" 0 $?
  expect_eq "respring for $call with CYDIA='$cydia'" "$expected" "$(cat "$scratch/fd3")"
done
# A descriptor above 9 (dash cannot name one in a redirection).
: > "$scratch/fd12"
: > "$log"
env CYDIA="12 1" DPKG_ROOT="$root" PATH="$tools:/usr/bin:/bin" sh "$scratch/scripts/postinst" configure 12>> "$scratch/fd12"
expect_eq "respring through descriptor 12" "finish:restart" "$(cat "$scratch/fd12")"

# launchctl refuses: the daemon is ended by name and launchd relaunches it.
tool launchctl 1
run postinst configure; expect_eq "status when launchctl fails" 0 $?
expect_eq "calls when launchctl fails" "$restart
killall -TERM thermalmonitord" "$(cat "$log")"

# No launchctl at all; then neither tool, or both failing: still a success.
rm "$tools/launchctl"
run postrm remove; expect_eq "calls without launchctl" "killall -TERM thermalmonitord" "$(cat "$log")"
tool killall 1
run postrm remove; expect_eq "status when killall fails" 0 $?
rm "$tools/killall"
if command -v killall >/dev/null 2>&1 || command -v launchctl >/dev/null 2>&1; then
  echo "(this machine has its own killall or launchctl: the no-tool case is not run)"
else
  run postinst configure; expect_eq "status without any tool" 0 $?
fi
finish
