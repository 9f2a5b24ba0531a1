#!/usr/bin/env bash
# On a 1366x768 screen: the drag-down log, full of long lines from a model server, keeps
# its six chips, its close hint and its right border on screen; the strip stays above
# the dialogue inspector; the banner names the key that quits from the terminal; the
# colony window and its wizard open above the strip, where their buttons can be
# clicked; and every titled window, opened from its hotkey or a menu, opens with its
# frame wholly above the strip, with a close button that closes it, and asks for a
# minimise button only where the window may be minimised. At the larger scales of the
# Controls menu the settings panel's Save still takes a click, and the troupe window,
# shorter than its form, still clears the strip.
# Under the window manager named as its third argument: openbox unless told, or xfwm4.
set -uo pipefail
app=${1:?usage: small_screen_e2e.sh path/to/tumblewick [frame probe] [openbox|xfwm4]}
wm=${3:-openbox}
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/titled_windows_lib.sh"
e2e_require Xvfb "$wm" xwininfo xdotool xprop import convert python3 trayer wmctrl xev
[ "$wm" != xfwm4 ] || e2e_require dbus-daemon
e2e_start_display 1366x768 "$wm"
e2e_fresh_home

python3 "$(dirname "$0")/model_server.py" answer "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 5 test -s "$work/port" || fail "the model server did not start"
export TUMBLEWICK_MODEL_URL="http://127.0.0.1:$(cat "$work/port")"
start_app "$work/app.log"
grep -qF "Press Ctrl+C here to quit (or use the × button)." "$work/app.log" || fail "the banner does not say how to quit"

# Its lines are long enough that six chips at their own widths would not fit.
answered() { (($(grep -c "^request /v1/chat/completions" "$work/server.log") >= 8)); }
wait_for 150 answered || fail "the model server was asked for only $(grep -c "^request" "$work/server.log") lines"

shot="$work/log.png"
pixels() {  # $1: WIDTHxHEIGHT+X+Y of the shot: "x y red green blue" a pixel, x and y in the shot
  local at=${1#*+}
  convert "$shot" -crop "$1" txt:- |
    awk -F'[ :(),]+' -v x0="${at%+*}" -v y0="${at#*+}" 'NR > 1 {print $1 + x0, $2 + y0, $3, $4, $5}'
}
border() { awk '$3 > 60 && $4 > 40 && $5 < 40'; }  # the card's yellow edge
# The card has slid in: its top edge 28 pixels down, where it stops.
slid_in() {
  import -window root -crop 1366x160+0+0 "$shot" 2>/dev/null &&
    [ "$(pixels 1x40+683+10 | border | head -n 1 | cut -d' ' -f2)" = 28 ]
}
xdotool key super+shift+l
wait_for 5 slid_in || fail "the drag-down log did not come down"

# The chips' row, three pixels into them: six runs of chip grey between the card's dark.
# Shot again until then: a signature toast passing over the top of the screen hides some.
chips=0
six_chips() {
  import -window root -crop 1366x160+0+0 "$shot" 2>/dev/null || return 1
  chip_top=$(pixels 1x100+30+50 | awk '$3 >= 22 && $3 <= 40 && $3 == $4 {print $2; exit}')
  [ -n "$chip_top" ] || return 1
  chips=$(pixels "1366x1+0+$((chip_top + 3))" |
    awk '{c = ($3 >= 22 && $3 <= 40 && $3 == $4)} c {n++} !c {if (n >= 150) k++; n = 0} END {print k + 0}')
  [ "$chips" -eq 6 ]
}
wait_for 10 six_chips || fail "the drag-down log shows $chips chips at 1366 pixels"
pixels "1x1+1365+$((chip_top + 3))" | border | grep -q . || fail "the drag-down log's right border is off screen"
# The hint ends at the card's right margin, not past the screen's edge.
hint_end=$(pixels 700x16+650+36 | awk '$3 > 50 {if ($1 > e) e = $1} END {print e + 0}')
((hint_end >= 1290 && hint_end <= 1342)) || fail "the close hint ends at x=$hint_end"
cp "$shot" "$e2e_output/drag_down_log_1366_$wm.png" 2>/dev/null

# The strip stays on top of the inspector, which opens at the strip's right end.
xdotool key super+shift+l super+shift+i
inspector() { xdotool search --onlyvisible --name "Dialogue inspector" 2>/dev/null | head -n 1; }
wait_for 5 inspector >/dev/null || fail "the dialogue inspector did not open"
strip_on_top() {
  local order
  order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, /\n/g')
  [ "$(echo "$order" | grep -nix "$(printf '0x%x' "$(inspector)")" | cut -d: -f1)" -lt \
    "$(echo "$order" | grep -nix "$strip_id" | cut -d: -f1)" ]
}
wait_for 5 strip_on_top || fail "the dialogue inspector covers the strip"

# The controls menu from a right click on the strip's ×, then its colony entry.
at_foot
controls_menu 1 c
frame_bottom() { frame_box "$1" | cut -d' ' -f4; }  # $1 window: the last row of its frame
wait_for 5 shown "Tumblewick Colony" >/dev/null || fail "the colony window did not open"
colony=$(shown "Tumblewick Colony")
wait_for 5 xprop -id "$colony" _NET_FRAME_EXTENTS >/dev/null || fail "the colony window has no frame"
wait_for_rest "$colony" || fail "the colony window did not come to rest"
above_strip() { (($(frame_bottom "$1") < strip_top)); }
wait_for 5 above_strip "$colony" || fail "the colony window reaches y=$(frame_bottom "$colony"), the strip starts at $strip_top"
# Join the Circus, at the foot of the list.
xdotool mousemove $(($(inside "$colony" "Absolute upper-left X") + 120)) \
  $(($(inside "$colony" "Absolute upper-left Y") + $(inside "$colony" Height) - 27)) click 1
wait_for 5 shown "Create a Flea" >/dev/null || fail "Join the Circus did not open the wizard"
wizard=$(shown "Create a Flea")
wait_for 5 xprop -id "$wizard" _NET_FRAME_EXTENTS >/dev/null || fail "the wizard has no frame"
wait_for_rest "$wizard" || fail "the wizard did not come to rest"
wait_for 5 above_strip "$wizard" || fail "the wizard reaches y=$(frame_bottom "$wizard"), the strip starts at $strip_top"
import -window root "$work/colony.png" && cp "$work/colony.png" "$e2e_output/colony_wizard_1366_$wm.png" 2>/dev/null
stop_app

# The titled windows, with a tray for the menu that opens some of them.
check_titled_windows "$work/app-titled.log"
cp "$work/timeline.png" "$e2e_output/timeline_1366.png" 2>/dev/null
cp "$work/troupe.png" "$e2e_output/troupe_1366.png" 2>/dev/null
cp "$work/settings.png" "$e2e_output/settings_1366_100.png" 2>/dev/null

for percent in 125 140; do
  e2e_fresh_home
  at_scale "$work/app-$percent.log" "${percent:0:1}.${percent:1}"
  check_settings_panel "${percent:0:1}.${percent:1}"
  cp "$work/settings.png" "$e2e_output/settings_1366_$percent.png" 2>/dev/null
  check_troupe_window
  cp "$work/troupe.png" "$e2e_output/troupe_1366_$percent.png" 2>/dev/null
  stop_app
done
echo "e2e small screen ($wm): 6 passed, 0 failed"
