#!/usr/bin/env bash
# Menu-bar mode beside a system tray: the app lives on through the tray alone while its
# strip is hidden; a click on the ticket opens the popover with its own stage, and a
# second click closes it without opening it again. A tray that starts after the app
# hides the strip and shows the ticket; a tray that goes brings the strip back. (panels_e2e.sh
# checks that the strip stays on a desktop without a tray.)
set -uo pipefail
app=${1:?usage: tray_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xwininfo xdotool trayer import convert
e2e_start_display

viewable() {  # $1: the geometry of an app window ("1920x150", "380x150", ...), mapped now
  local id
  for id in $(xwininfo -root -tree | grep '"Tumblewick"' | grep " $1+" | awk '{print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" && return 0
  done
  return 1
}
unmapped_strip() { [ -n "$(find_strip)" ] && ! viewable 1920x150; }
launch() {  # $1: output file
  "$app" >"$1" 2>&1 &
  app_pid=$!
  pids+=($app_pid)
}

start_tray() {  # sets tray_pid once the tray owns the screen's tray selection
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
  tray_pid=$!
  pids+=($tray_pid)
  wait_for 10 eval 'xdotool search --classname trayer >/dev/null 2>&1' || fail "the tray did not start"
}
said() {  # $1: how many lines of the app's log hold $2
  [ "$(grep -c -F "$2" "$work/app-late.log")" -eq "$1" ]
}
e2e_fresh_home
e2e_write_settings '"TumblewickMenuBarMode": {"type": "bool", "value": true}'

# The tray starts after the app, as at login, and later goes away.
start_app "$work/app-late.log"
wait_for 5 said 1 "has no system tray" || fail "the log did not say once that there is no tray"
start_tray
wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared when the tray started"
wait_for 5 unmapped_strip || fail "the strip stayed although a tray arrived in menu-bar mode"
wait_for 5 said 1 "A system tray is here" || fail "the log did not say once that the tray arrived"
kill "$tray_pid"
wait "$tray_pid" 2>/dev/null
wait_for 5 eval '[ -n "$(find_strip)" ] && viewable 1920x150' || fail "the strip did not come back when the tray went"
wait_for 5 said 1 "The system tray went away" || fail "the log did not say once that the tray went"
start_tray
wait_for 5 unmapped_strip || fail "the strip stayed when a tray came back"
wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared when the tray came back"
said 1 "has no system tray" || fail "the absent tray was said more than once"
stop_app
kill "$tray_pid"
wait "$tray_pid" 2>/dev/null

# Launched beside a running tray.
start_tray
launch "$work/app-tray.log"
wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared"
wait_for 5 unmapped_strip || fail "the strip did not hide in menu-bar mode with a tray"
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "the app ended with its strip hidden"

icon=$(tray_icon)
eval "$(xwininfo -id "$icon" | awk '/Absolute upper-left X/{print "x="$4} /Absolute upper-left Y/{print "y="$4}')"
# On screen, not only in the window tree: the ticket is drawn, the strip's place is bare.
import -window root -crop 16x16+"$x"+"$y" "$work/icon.png" 2>/dev/null
[ "$(convert "$work/icon.png" -format %k info:)" -gt 3 ] || fail "the tray icon is not drawn"
import -window root -crop 1920x150+0+850 "$work/hidden.png" 2>/dev/null
[ "$(convert "$work/hidden.png" -format %k info:)" -le 2 ] || fail "the strip's place is not bare in menu-bar mode"
xdotool mousemove $((x + 8)) $((y + 8)) click 1
wait_for 5 viewable 380x150 || fail "a click on the tray icon opened no popover"
xdotool click 1
wait_for 5 eval '! viewable 380x150' || fail "a second click did not close the popover"
sleep 0.5
viewable 380x150 && fail "the click that closed the popover opened it again"
stop_app
echo "PASS"
