#!/usr/bin/env bash
# Launching and ending as a desktop does it: a second launch on the same data folder
# leaves the running circus alone, and the display-scale relaunch still hands over to
# a new one; the companion summary lands in the app group's suite; under a file-size
# limit writes fail instead of ending the app; and when the X server goes away the
# troupe session is still closed in the log.
set -uo pipefail
app=${1:?usage: lifecycle_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo python3
e2e_start_display
e2e_fresh_home

strips() {  # how many strips are on the display, at any scale
  xwininfo -root -tree | grep '"Tumblewick"' | grep -cE ' 1920x1[0-9]{2}\+'
}
session_starts() { grep -c '"kind":"device_session_start"' "$log"; }
started() { [ -s "$log" ] && [ "$(session_starts)" -ge "$1" ]; }
app_windows() { xdotool search --onlyvisible --pid "$1" 2>/dev/null | wc -l; }
gone() { ! kill -0 "$1" 2>/dev/null; }

# A second launch says so in one line and leaves the one strip and session alone.
start_app "$work/app1.log"
wait_for 10 started 1 || fail "the first launch opened no troupe session"
second=$(timeout 20 "$app" 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "a second launch exited with status $status: $second"
[ "$(printf '%s\n' "$second" | wc -l)" -eq 1 ] && [[ $second == *"already running"* ]] ||
  fail "a second launch printed: $second"
[ "$(strips)" -eq 1 ] || fail "$(strips) strips after a second launch"
[ "$(session_starts)" -eq 1 ] || fail "the second launch wrote to the running circus's log"
kill -0 "$app_pid" || fail "the first circus ended on a second launch"

# The summary companions read is in the app group's suite, not the app's own.
wait_for 5 folded_events >/dev/null 2>&1 || fail "no companion summary in the app group's suite"
folded=$(folded_events)
grep -q tw_troupe_watch_summary_v1 "$settings" && fail "the companion summary went to the standard suite"

# The display scale (Controls menu, right-click on the close button) relaunches: the
# old instance closes its session and lets go of the folder, the new one starts.
old_pid=$app_pid
before=$(app_windows "$old_pid")
xdotool mousemove 1899 867 click 3
menu_open() { (($(app_windows "$old_pid") > before)); }
wait_for 5 menu_open || fail "a right click on the close button opened no menu"
# Colony, Settings, Export diagnostics, Display scale; then its second entry, 110%.
xdotool key --delay 100 Down Down Down Down Right Down Return
wait_for 10 gone "$old_pid" || fail "choosing a display scale did not end the old instance"
wait "$old_pid"
status=$?
[ "$status" -eq 0 ] || fail "the old instance exited with status $status on the relaunch"
scaled_strip() { xwininfo -root -tree | grep '"Tumblewick"' | grep -q ' 1920x165+'; }
wait_for 20 scaled_strip || fail "no strip at the new scale after the relaunch"
new_id=$(xwininfo -root -tree | grep '"Tumblewick"' | grep ' 1920x165+' | awk '{print $1}')
app_pid=$(xdotool getwindowpid "$new_id")
pids+=("$app_pid")
[ "$(strips)" -eq 1 ] || fail "$(strips) strips after the relaunch"
wait_for 10 started 2 || fail "the relaunched instance opened no troupe session"
grep -n '"kind":"device_session_' "$log" | tail -n 2 | head -n 1 | grep -q device_session_end ||
  fail "the old session was not closed before the new one started"
kill -TERM "$app_pid"
wait_for 5 gone "$app_pid" || fail "the relaunched instance did not quit on SIGTERM"

# Under a file-size limit a write fails (EFBIG) instead of the signal ending the app,
# so the quit path still runs. Output goes through a pipe: the limit covers files only.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
(
  ulimit -f 0
  exec "$app"
) > >(cat >"$work/app-limited.log") 2>&1 &
app_pid=$!
pids+=("$app_pid")
up_or_gone() { [ -n "$(find_strip)" ] || gone "$app_pid"; }
wait_for 10 up_or_gone || fail "no strip under a file-size limit"
gone "$app_pid" && { wait "$app_pid"; fail "the app ended with status $? under a file-size limit"; }
stop_app

# The X server goes away under a running app: the session end is still appended.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
start_app "$work/app-lost.log"
wait_for 10 started 1 || fail "the launch opened no troupe session"
kill "${pids[0]}"  # Xvfb
wait_for 10 gone "$app_pid" || fail "the app outlived its X server"
wait "$app_pid"
status=$?
((status == 1)) || fail "the app exited with status $status when the X server went away"
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "the session was left open: $(tail -n 1 "$log")"

echo "e2e lifecycle: 5 passed, 0 failed ($folded events folded)"
