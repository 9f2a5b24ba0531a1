#!/usr/bin/env bash
# The tray menu's keys beside a system tray that lets the toolkit draw the menu: while
# it is open a bare q chooses nothing, Shift+Super+, opens the agent settings and
# Super+Q quits through the one quit path (exit 0, the troupe session closed).
set -uo pipefail
app=${1:?usage: tray_keys_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xwininfo xdotool trayer import
e2e_start_display

settings_open() { xdotool search --onlyvisible --name "Agent settings" >/dev/null 2>&1; }
menu=""
menu_shown() {  # sets `menu` to the window the right click added (a tool tip may come too)
  local id
  for id in $(comm -13 <(printf '%s\n' "$before") <(app_windows)); do
    xwininfo -id "$id" | grep -qE 'Height: ([2-9][0-9]{2})$' && { menu=$id; return 0; }
  done
  return 1
}
open_menu() {  # a right click on the ticket
  local try
  before=$(app_windows)
  # Once another window has taken the focus, trayer under openbox spends the next click
  # on the focus (a menu item chosen with Return behaves the same): click again then.
  for try in 1 2 3; do
    xdotool mousemove $((x + 8)) $((y + 8)) click 3
    wait_for 2 menu_shown && return 0
  done
  [ -n "${TW_E2E_SHOTS:-}" ] && import -window root "$TW_E2E_SHOTS/no_menu.png"
  fail "a right click on the tray icon opened no menu"
}
menu_closed() { ! xwininfo -id "$menu" 2>/dev/null | grep -q IsViewable; }

trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
e2e_fresh_home
start_app "$work/app.log"
wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared"
icon=$(tray_icon)
eval "$(xwininfo -id "$icon" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4}')"
session_open() { [ -s "$log" ] && grep -q '"kind":"device_session_start"' "$log"; }
wait_for 10 session_open || fail "the launch opened no troupe session"

open_menu
[ -n "${TW_E2E_SHOTS:-}" ] && import -window root "$TW_E2E_SHOTS/tray_menu_open.png"
# Keys reach the menu in order: the settings opening proves the q before it was handled.
xdotool key q
xdotool key shift+super+comma
wait_for 5 settings_open || fail "Shift+Super+, in the open tray menu opened no agent settings"
wait_for 5 menu_closed || fail "the tray menu stayed open after Shift+Super+, chose its item"
kill -0 "$app_pid" 2>/dev/null || fail "a bare q in the tray menu ended the app"

open_menu
xdotool key super+q
wait_for 10 gone || fail "Super+Q in the open tray menu did not quit"
wait "$app_pid"
status=$?
[ "$status" -eq 0 ] || fail "Super+Q ended the app with status $status"
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "the session was left open: $(tail -n 1 "$log")"
echo "PASS"
