#!/usr/bin/env bash
# The yesterday alert opens while the user types into another window: it appears
# without taking the keyboard, so those keys stay where they were typed and press none
# of its buttons; once clicked it takes the keys, and Return opens the chapter's folder,
# whose name is not UTF-8 ("Bureau-été" in Latin-1), under its own bytes.
set -uo pipefail
app=${1:?usage: yesterday_alert_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xprop xev
e2e_start_display "${TW_E2E_SCREEN:-1920x1080}"
e2e_fresh_home

desktop="$HOME/$(printf 'Bureau-\351t\351')"
mkdir -p "$desktop" "$XDG_CONFIG_HOME"
printf 'XDG_DESKTOP_DIR="$HOME/Bureau-\351t\351"\n' >"$XDG_CONFIG_HOME/user-dirs.dirs"
printf '# A chapter\n\n### Pip\nHello.\n' >"$desktop/Tumblewick-$(date -d yesterday +%F).md"
# No file manager on the bus: "Open it" falls back to xdg-open, which records the folder.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "$@" >>"%s/opened"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"

alert_window() {  # the app's dialog window, once mapped
  local id
  for id in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG && { echo "$id"; return 0; }
  done
  return 1
}
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
key_presses() { grep -c '^KeyPress event' "$work/xev.log"; }
typed_into_tester() { [ "$(key_presses)" -ge "$1" ]; }

start_app "$work/app.log"
xev -geometry 300x200+40+40 -name "Key tester" >"$work/xev.log" 2>&1 &
pids+=($!)
wait_for 5 eval 'tester=$(xdotool search --onlyvisible --name "^Key tester$" | head -n 1); [ -n "$tester" ]' ||
  fail "the key tester window did not appear"
xdotool windowactivate --sync "$tester" >/dev/null 2>&1
wait_for 5 focused "$tester" || fail "the key tester did not take the focus"

wait_for 15 alert_window >/dev/null || fail "no yesterday alert appeared"
alert=$(alert_window)
grep -q "$(date +%F)" "$settings" || fail "the day of the alert was not stored before it opened"
focused "$tester" || fail "the alert took the focus from the window being typed into"

before=$(key_presses)
xdotool type --delay 20 "hello"
xdotool key Return space
wait_for 5 typed_into_tester $((before + 7)) || fail "keys typed after the alert appeared did not reach the focused window"
alert_window >/dev/null || fail "typing into another window closed the alert"
[ -e "$work/opened" ] && fail "typing into another window pressed the alert's default button"

# A click on the alert's body, away from its buttons, gives it the keys.
eval "$(xdotool getwindowgeometry --shell "$alert")"
xdotool mousemove $((X + 20)) $((Y + 20)) click 1
wait_for 5 focused "$alert" || fail "a click on the alert did not give it the focus"
xdotool key Return
wait_for 5 eval '! alert_window >/dev/null' || fail "Return after a click on the alert did not answer it"
wait_for 5 test -s "$work/opened" || fail "Return after a click did not choose \"Open it\""
opened=$(head -n 1 "$work/opened")
uri_path=${opened#file://}
[ "$(printf '%b' "${uri_path//%/\\x}")" = "$desktop" ] || fail "\"Open it\" showed $opened, not the Desktop"
stop_app
echo "PASS"
