#!/usr/bin/env bash
# The app's other windows as a user meets them: each Super+Shift hotkey opens its panel
# once and closes it on the second press; in menu-bar mode a running system tray shows
# the app's icon and the strip hides, while without a tray the strip stays.
set -uo pipefail
app=${1:?usage: panels_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo import convert trayer
e2e_start_display

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
app_windows() {  # the app's viewable windows, one id a line, in order
  xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | sort
}
settle() {  # $1: command; waits up to 3 s for the app's windows to satisfy it
  local _
  for _ in $(seq 30); do "$@" && return 0; sleep 0.1; done
  return 1
}

# Each hotkey toggles exactly one window of its own.
e2e_fresh_home
start_app "$work/app1.log"
sleep 2
before=$(app_windows)
for key in t; do
  xdotool key "super+shift+$key"
  opened() { [ "$(comm -13 <(echo "$before") <(app_windows) | wc -l)" -eq 1 ]; }
  settle opened || fail "Super+Shift+${key^^} opened $(comm -13 <(echo "$before") <(app_windows) | wc -l) windows"
  panel=$(comm -13 <(echo "$before") <(app_windows))
  xdotool key "super+shift+$key"
  closed() { [ "$(app_windows)" = "$before" ]; }
  settle closed || fail "the second Super+Shift+${key^^} left \"$(xdotool getwindowname "$panel")\" open"
done
stop_app

# Menu-bar mode with a tray: the icon sits in the tray, the strip is hidden.
e2e_write_settings '"TumblewickMenuBarMode": {"type": "bool", "value": true}'
trayer --edge top --align right --widthtype request --height 32 --transparent false >/dev/null 2>&1 &
tray_pid=$!
pids+=($tray_pid)
sleep 1
"$app" >"$work/app2.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
tray=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/{print $1; exit}')
[ -n "$tray" ] || fail "trayer did not start"
icon_in_tray() { xwininfo -tree -id "$tray" | grep -q '"Tumblewick"'; }
for _ in $(seq 100); do icon_in_tray && break; sleep 0.1; done
icon_in_tray || fail "no icon of the app in the tray"
read -r x y w h < <(xwininfo -id "$tray" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width/{w=$NF} /Height/{h=$NF} END{print x, y, w, h}')
import -window root -crop "${w}x${h}+${x}+${y}" "$work/tray.png" 2>/dev/null
colours=$(convert "$work/tray.png" -format %k info:)
[ "$colours" -gt 4 ] || fail "the tray shows only $colours colours: no icon is drawn"
sleep 1
strip=$(find_strip)
[ -z "$strip" ] || ! viewable "$(echo "$strip" | awk '{print $1}')" || fail "the strip shows in menu-bar mode"
import -window root -crop 1920x150+0+850 "$work/hidden.png" 2>/dev/null
colours=$(convert "$work/hidden.png" -format %k info:)
[ "$colours" -le 2 ] || fail "the strip's place shows $colours colours in menu-bar mode"
stop_app

# Without a tray the strip stays, whatever the mode says.
kill "$tray_pid"
wait "$tray_pid" 2>/dev/null
start_app "$work/app3.log"
sleep 2
viewable "$strip_id" || fail "the strip is hidden in menu-bar mode without a tray"
stop_app

echo "e2e panels: 3 passed, 0 failed"
