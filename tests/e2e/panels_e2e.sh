#!/usr/bin/env bash
# The app's other windows as a user meets them: each Super+Shift hotkey opens its panel
# once and closes it on the second press; the colony window is in the taskbar and pager
# unless TUMBLEWICK_DOCK_ICON is false. In menu-bar mode on a desktop without a system
# tray the strip stays, and the log says why once (tray_e2e.sh checks a desktop with
# one). The dialogue inspector opens without taking the keyboard, and goes on refreshing
# after a right click in its text. And every titled window opens above the strip with a
# close button that closes it, the timeline's too when it opens beside the floating Inner
# Life panel. A minimised panel, or watch view, comes back on its hotkey. The colony
# window opens in front of Recent thoughts, and minimising either leaves the other. With
# no window manager at all, the companion panels open exactly where they belong; with one
# started after the app, framed where they belong, a panel shown before it came too.
# Under each window manager named as its third argument (openbox unless told; xfwm4, and
# icewm for the strip's hints alone): a panel minimised and restored by the window manager
# goes on refreshing; a window opened in front of a panel is always on top no more once
# the panels close; the watch view covers the strip; no window of the app asks for
# attention.
set -uo pipefail
app=${1:?usage: panels_e2e.sh path/to/tumblewick [frame probe] [openbox|xfwm4|icewm]}
wm=${3:-openbox}
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/titled_windows_lib.sh"
e2e_require Xvfb "$wm" xdotool xwininfo xprop trayer import convert xev stdbuf wmctrl
[ "$wm" != xfwm4 ] || e2e_require dbus-daemon
e2e_start_display 1920x1080 "$wm"

comes_back_from_minimised() {  # $1 hotkey, $2 title, [$3 "takes keys" for a window that takes the
  # keyboard as it shows]: minimised, the panel's hotkey shows it again
  local panel
  xdotool key "super+shift+$1"
  wait_for 3 shown "$2" >/dev/null || fail "Super+Shift+${1^^} opened no \"$2\""
  panel=$(shown "$2")
  viewable() { xwininfo -id "$panel" | grep -q IsViewable; }
  wait_for 3 viewable || fail "\"$2\" did not map"
  # Placed and framed first, as a user would see it before reaching for its button.
  wait_for_rest "$panel" || fail "\"$2\" did not come to rest"
  xdotool windowminimize "$panel"
  minimised() { ! viewable && xprop -id "$panel" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN; }
  state() { xprop -id "$panel" WM_STATE _NET_WM_STATE | tr -s '\n\t' ' '; }
  wait_for 3 minimised || fail "\"$2\" was not minimised: $(state)"
  xdotool key "super+shift+$1"
  wait_for 3 viewable || fail "Super+Shift+${1^^} did not bring the minimised \"$2\" back: $(state)"
  [ -n "${3:-}" ] || [ "$(xdotool getactivewindow 2>/dev/null)" != "$panel" ] ||
    fail "\"$2\" took the keyboard as it came back"
  import -window root "$work/back_from_minimised.png"
  cp "$work/back_from_minimised.png" "$e2e_output/back_from_minimised_$1.png" 2>/dev/null
  xdotool key "super+shift+$1"
  hidden() { ! viewable; }
  wait_for 3 hidden || fail "the next Super+Shift+${1^^} left \"$2\" open"
}

colony_states() {  # opens the colony window from the Controls menu; its _NET_WM_STATE
  local before colony
  before=$(app_windows)
  xdotool mousemove 1899 867 click 3  # a right click on the ×
  menu_open() { [ -n "$(comm -13 <(echo "$before") <(app_windows))" ]; }
  wait_for 3 menu_open || fail "a right click on the × opened no menu"
  xdotool key Down Return  # its first item
  colony_open() {
    colony=$(xdotool search --all --onlyvisible --pid "$app_pid" --name '^Tumblewick Colony$' 2>/dev/null | head -n 1)
    [ -n "$colony" ]
  }
  wait_for 5 colony_open || fail "the Controls menu opened no colony window"
  xprop -id "$colony" _NET_WM_STATE
}

# Each hotkey toggles exactly one window of its own.
e2e_fresh_home
start_app "$work/app1.log"
sleep 2
before=$(app_windows)
for key in t f l i; do
  xdotool key "super+shift+$key"
  opened() { [ "$(comm -13 <(echo "$before") <(app_windows) | wc -l)" -eq 1 ]; }
  wait_for 3 opened || fail "Super+Shift+${key^^} opened $(comm -13 <(echo "$before") <(app_windows) | wc -l) windows"
  panel=$(comm -13 <(echo "$before") <(app_windows))
  xdotool key "super+shift+$key"
  closed() { [ "$(app_windows)" = "$before" ]; }
  wait_for 3 closed || fail "the second Super+Shift+${key^^} left \"$(xdotool getwindowname "$panel")\" open"
done
no_window_asks_for_attention "the panel hotkeys"
states=$(xprop -id "$strip_id" _NET_WM_STATE)
for s in SKIP_TASKBAR SKIP_PAGER; do
  grep -q "_NET_WM_STATE_$s" <<<"$states" || fail "the strip lacks $s: $states"
done
if [ "$wm" = icewm ]; then
  import -window root "$e2e_output/taskbar_after_hotkeys_icewm.png" 2>/dev/null
  stop_app
  echo "e2e panels ($wm): 1 passed, 0 failed"
  exit 0
fi
# The inspector opens without taking the keyboard: typing goes on to the window it was in.
stdbuf -oL xev -name typing >"$work/typing.log" 2>&1 &
pids+=($!)
wait_for 5 shown "^typing$" >/dev/null || fail "no window to type into"
typing=$(shown "^typing$")
xdotool windowactivate --sync "$typing"
xdotool key super+shift+i
wait_for 3 shown "Dialogue inspector" >/dev/null || fail "Super+Shift+I opened no inspector"
xdotool key x
typed() { grep -q "keysym 0x78, x)" "$work/typing.log"; }
wait_for 3 typed || fail "a key pressed after the inspector opened went to $(xdotool getwindowname "$(xdotool getactivewindow)")"
xdotool key super+shift+i
kill "${pids[-1]}"
# A panel minimised by the window manager's button comes back on its hotkey.
comes_back_from_minimised t "^Recent thoughts$"
comes_back_from_minimised f "^Watch the Troupe$" "takes keys"
comes_back_from_minimised i "Dialogue inspector"
# A right click in the inspector's text opens the text's menu, which takes the release;
# after Escape the inspector goes on refreshing while the fleas speak.
refreshes_after_a_right_click() {
  local inspector before shot
  xdotool key super+shift+i
  wait_for 3 shown "Dialogue inspector" >/dev/null || fail "Super+Shift+I opened no inspector"
  inspector=$(shown "Dialogue inspector")
  wait_for_rest "$inspector" || fail "the inspector did not come to rest"
  looks() { import -window "$inspector" png:- | md5sum; }
  steady() { shot=$(looks); [ "$shot" = "$(looks)" ]; }
  # Letters only: after the click the inspector has the keyboard, and a space scrolls it.
  changed() { xdotool type --delay 20 fleas; [ "$(looks)" != "$shot" ]; }
  shot=$(looks)
  wait_for 60 changed || fail "no flea spoke in the inspector"
  before=$(app_windows)
  xdotool mousemove --window "$inspector" 150 60 click 3
  menu_open() { [ -n "$(comm -13 <(echo "$before") <(app_windows))" ]; }
  wait_for 3 menu_open || fail "a right click in the inspector's text opened no menu"
  xdotool key Escape
  menu_closed() { [ "$(app_windows)" = "$before" ]; }
  wait_for 3 menu_closed || fail "Escape left the inspector's menu open"
  wait_for 3 steady || fail "the inspector did not settle after its menu closed"
  wait_for 10 changed || fail "the inspector stopped refreshing after a right click and Escape"
  xdotool key super+shift+i
}
refreshes_after_a_right_click
# Brought back by the window manager, as from a taskbar, a panel goes on refreshing, and
# its hotkey's next press hides it.
for key in t i; do
  xdotool key "super+shift+$key"
  opened() { [ "$(comm -13 <(echo "$before") <(app_windows) | wc -l)" -eq 1 ]; }
  wait_for 3 opened || fail "Super+Shift+${key^^} opened $(comm -13 <(echo "$before") <(app_windows) | wc -l) windows"
  panel=$(comm -13 <(echo "$before") <(app_windows))
  wait_for_rest "$panel" || fail "\"$(xdotool getwindowname "$panel")\" did not come to rest"
  refreshes_once_restored "$panel"
  xdotool key "super+shift+$key"
  closed() { [ "$(app_windows)" = "$before" ]; }
  wait_for 3 closed || fail "Super+Shift+${key^^} left \"$(xdotool getwindowname "$panel")\" open once restored"
done
at_foot
watch_view_covers_the_strip
# The colony window opens in front of Recent thoughts, and owned by neither, each is
# minimised alone.
xdotool key super+shift+t
wait_for 5 shown "^Recent thoughts$" >/dev/null || fail "Super+Shift+T opened no Recent thoughts"
thoughts=$(shown "^Recent thoughts$")
wait_for_rest "$thoughts" || fail "Recent thoughts did not come to rest"
states=$(colony_states)
echo "$states" | grep -q "SKIP_TASKBAR\|SKIP_PAGER" && fail "the colony window is kept out of the taskbar: $states"
colony=$(shown "^Tumblewick Colony$")
wait_for 5 stacked_above "$colony" "$thoughts" || fail "the colony window opened behind Recent thoughts"
minimise_alone "$colony" "$thoughts"
colony_states >/dev/null  # the colony window again, back from minimised
wait_for 3 restored "$colony" || fail "the Controls menu did not bring the colony window back"
minimise_alone "$thoughts" "$colony"
xdotool key super+shift+t
wait_for 3 restored "$thoughts" || fail "Super+Shift+T did not bring Recent thoughts back"
import -window root "$work/colony.png"
cp "$work/colony.png" "$e2e_output/colony_over_panel_$wm.png" 2>/dev/null
leaves_the_panels_layer "$colony" t
stop_app

if [ "$wm" != openbox ]; then  # what follows hangs on no window manager's ways
  check_titled_windows "$work/app-titled.log"
  echo "e2e panels ($wm): 4 passed, 0 failed"
  exit 0
fi

e2e_fresh_home
export TUMBLEWICK_DOCK_ICON=false
start_app "$work/app-no-taskbar.log"
states=$(colony_states)
for s in SKIP_TASKBAR SKIP_PAGER; do
  echo "$states" | grep -q "_NET_WM_STATE_$s" || fail "with TUMBLEWICK_DOCK_ICON=false the colony window lacks $s: $states"
done
stop_app
unset TUMBLEWICK_DOCK_ICON

e2e_fresh_home
e2e_write_settings '"TumblewickMenuBarMode": {"type": "bool", "value": true}'
start_app "$work/app2.log"
sleep 2
xwininfo -id "$strip_id" | grep -q IsViewable || fail "without a tray the strip is not on screen in menu-bar mode"
[ "$(grep -c "no system tray" "$work/app2.log")" -eq 1 ] || fail "the missing tray was not reported once"
stop_app
# Menu-bar mode off again: with the tray started next it would hide the strip.
rm -f "$settings"

check_titled_windows "$work/app-titled.log"

# A bare X server: nothing frames the panels, so nothing may be left room for.
kill "$wm_pid"
wait "$wm_pid"
# It may leave its root property behind, but not the window that property names.
wm_check=$(xprop -root _NET_SUPPORTING_WM_CHECK | sed -n 's/.*window id # //p')
[ -z "$wm_check" ] || ! xwininfo -id "$wm_check" >/dev/null 2>&1 || fail "the window manager did not go"
e2e_fresh_home
start_app "$work/app-no-wm.log"
wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared without a window manager"
inside_box() { echo "$(inside "$1" "Absolute upper-left X") $(inside "$1" "Absolute upper-left Y") $(inside "$1" Width) $(inside "$1" Height)"; }
check_unframed() {  # $1 title (a pattern), $2 "x y width height" of its inside
  local panel want=$2
  wait_for 5 shown "$1" >/dev/null || fail "\"$1\" did not open without a window manager"
  panel=$(shown "$1")
  at_place() { [ "$(inside_box "$panel")" = "$want" ]; }
  wait_for 2 at_place || fail "without a window manager \"$1\" is at $(inside_box "$panel"), not $want"
}
xdotool key super+shift+t
check_unframed "^Recent thoughts$" "1556 84 340 280"
xdotool key super+shift+t super+shift+i
# 24 in from the right, its foot on the strip's top (80 up from the screen's foot is under it).
check_unframed "Dialogue inspector" "1376 430 520 420"
xdotool key super+shift+i
tray_menu Down Down Down Down Down Down Down Down Down Down Right Return  # Inner Life, its first flea
check_unframed "^Inner Life" "1216 84 320 360"
stop_app

# A window manager that starts after the app has placed a panel, as an autostart entry
# may: the panels opened next are framed, their inside where it is with the manager
# from the start.
check_late_window_manager() {
  local panel
  e2e_fresh_home
  start_app "$work/app-late-wm.log"
  xdotool key super+shift+i
  wait_for 5 shown "Dialogue inspector" >/dev/null || fail "the inspector did not open without a window manager"
  xdotool key super+shift+i
  openbox >/dev/null 2>&1 &
  pids+=($!)
  wm_runs() {
    wm_check=$(xprop -root _NET_SUPPORTING_WM_CHECK | sed -n 's/.*window id # //p')
    [ -n "$wm_check" ] && xwininfo -id "$wm_check" >/dev/null 2>&1
  }
  wait_for 5 wm_runs || fail "openbox did not start"
  xdotool key super+shift+t
  wait_for 5 shown "^Recent thoughts$" >/dev/null || fail "Recent thoughts did not open under the late window manager"
  panel=$(shown "^Recent thoughts$")
  wait_for 5 xprop -id "$panel" _NET_FRAME_EXTENTS >/dev/null || fail "Recent thoughts has no frame"
  at_place() { [ "$(inside_box "$panel")" = "1556 84 340 280" ]; }
  wait_for 5 at_place || fail "under a window manager started after the app Recent thoughts is at $(inside_box "$panel"), not 1556 84 340 280"
  [ "$(grep -c "No window manager runs" "$work/app-late-wm.log")" -eq 1 ] || fail "the missing window manager was not reported once"
  grep -q "A window manager runs on this display now" "$work/app-late-wm.log" || fail "the late window manager was not reported"
  # The inspector shown again, as at a first show: clear of the strip with its frame.
  xdotool key super+shift+i
  wait_for 5 shown "Dialogue inspector" >/dev/null || fail "the inspector did not open again under the late window manager"
  panel=$(shown "Dialogue inspector")
  wait_for 5 xprop -id "$panel" _NET_FRAME_EXTENTS >/dev/null || fail "the inspector has no frame"
  at_foot
  local bottom
  clear_of_strip() { read -r _ _ _ bottom <<<"$(frame_box "$panel")"; ((bottom < strip_top)); }
  wait_for_rest "$panel" && wait_for 5 clear_of_strip ||
    fail "shown again under the late window manager, the inspector's frame reaches y=$bottom, the strip starts at $strip_top"
  stop_app
}
check_late_window_manager

echo "e2e panels ($wm): 13 passed, 0 failed"
