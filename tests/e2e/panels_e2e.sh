#!/usr/bin/env bash
# The app's other windows as a user meets them: each Super+Shift hotkey opens its panel
# once and closes it on the second press. And in menu-bar mode on a desktop without a
# system tray the strip stays, and the log says why once (tray_e2e.sh checks a desktop
# with one).
set -uo pipefail
app=${1:?usage: panels_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo
e2e_start_display

app_windows() {  # the app's viewable windows, one id a line, in order
  xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | sort
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
stop_app

e2e_fresh_home
e2e_write_settings '"TumblewickMenuBarMode": {"type": "bool", "value": true}'
start_app "$work/app2.log"
sleep 2
xwininfo -id "$strip_id" | grep -q IsViewable || fail "without a tray the strip is not on screen in menu-bar mode"
[ "$(grep -c "no system tray" "$work/app2.log")" -eq 1 ] || fail "the missing tray was not reported once"
stop_app

echo "e2e panels: 2 passed, 0 failed"
