#!/usr/bin/env bash
# Starts the real app under Xvfb with openbox and fresh data folders, then checks as a
# user would: the strip sits where it should with its desktop hints and shows the
# circus; typing anywhere winds it; the Command-Shift hotkeys write one chapter and one
# share card each; SIGTERM closes the troupe session and a second launch reads the log.
# Closing a panel from the window manager leaves the app running; closing the strip so
# ends it as the × does.
set -uo pipefail
app=${1:?usage: strip_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo xprop import convert python3 wmctrl
e2e_start_display
e2e_fresh_home
# A story arc told in one long word, for the card's check below.
mkdir -p "$XDG_DATA_HOME/Tumblewick"
python3 -c 'import json, sys; w = "W" * 5000
json.dump({"tw_arc_active_headline": w, "tw_arc_active_body": w, "tw_arc_active_status": "active"}, sys.stdout)' \
  >"$XDG_DATA_HOME/Tumblewick/CloudKeyValueStore.json"

start_app "$work/app1.log"

# Where and how: full width, 150 high, 80 above the bottom of a 1080-high screen.
id=$strip_id
geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width/{w=$NF} /Height/{h=$NF} END{print x","y","w","h}')
[ "$geometry" = "0,850,1920,150" ] || fail "strip geometry is $geometry, expected 0,850,1920,150"
states=$(xprop -id "$id" _NET_WM_STATE)
for s in ABOVE SKIP_TASKBAR SKIP_PAGER; do
  echo "$states" | grep -q "_NET_WM_STATE_$s" || fail "strip lacks _NET_WM_STATE_$s: $states"
done
# On every workspace: sticky, or (as openbox says it) on desktop 0xFFFFFFFF.
echo "$states" | grep -q _NET_WM_STATE_STICKY || xprop -id "$id" _NET_WM_DESKTOP | grep -q 4294967295 ||
  fail "strip is not on every workspace"

# However long its words, the story-arc card keeps its size in the top-right corner,
# clear of the clicks meant for other windows.
arc_card() { xwininfo -root -tree | grep '"Tumblewick story arc"'; }
wait_for 10 eval 'arc_card >/dev/null' || fail "no story-arc card"
arc_card | grep -q ' 320x88+0+0  +1576+24$' || fail "the story-arc card stands at $(arc_card)"

# The circus is drawn: the strip holds many colours, not a blank rectangle.
strip_colours() {
  import -window root -crop 1920x150+0+850 "$work/strip.png" 2>/dev/null
  convert "$work/strip.png" -format %k info:
}
drawn() { (($(strip_colours) > 200)); }
wait_for 10 drawn || fail "the strip shows only $(strip_colours) colours"

# Typing anywhere winds the meter: the console's energy line climbs above zero and the
# gauge at the strip's right end (80x8, 110 from the right, 10 above the bottom) fills
# with a bright bar over its dark ground.
gauge_fill() {
  import -window root -crop 80x8+1810+990 "$work/gauge.png" 2>/dev/null
  convert "$work/gauge.png" -colorspace gray -threshold 35% -format '%[fx:round(mean*w*h)]' info:
}
gauge_lit_beyond() {  # $1: lit pixels to exceed; sets `after`
  after=$(gauge_fill)
  ((after >= $1 + 40))
}
# The console prints its energy line every 2 s: wait for one that shows the winding.
energy_logged() { grep -q "Energy: [1-9]" "$work/app1.log"; }
before=$(gauge_fill)
xdotool type --delay 20 "the fleas are waking up"
wait_for 3 gauge_lit_beyond "$before" ||
  fail "the gauge shows $before lit pixels before typing and $after after"
echo "gauge: $before lit pixels before typing, $after after"
wait_for 6 energy_logged || fail "typing did not wind the energy"

# Moving the pointer winds it too, even when a program warps the pointer (as xdotool
# does) and no device reports the motion.
gauge_dark() { (($(gauge_fill) < 20)); }
wait_for 10 gauge_dark || fail "the meter did not run down: $(gauge_fill) lit pixels"
before=$(gauge_fill)
# A new place each move, never back and forth: the strip looks at a warped pointer only
# every few frames, and two looks that land on the same side would see no motion.
for i in $(seq 30); do
  xdotool mousemove $((100 + i * 577 % 1700)) 400
  sleep 0.03  # the pace of a moving hand, not a wait
done
wait_for 3 gauge_lit_beyond "$before" ||
  fail "the gauge shows $before lit pixels before the pointer moved and $after after"

# Each export hotkey writes exactly one file to the Desktop.
desktop_files() { ls "$HOME/Desktop" | grep -c "\\.$1\$"; }
xdotool key super+shift+d
wait_for 5 eval '(($(desktop_files md) > 0))' || fail "Super+Shift+D wrote no chapter"
xdotool key super+shift+s
wait_for 5 eval '(($(desktop_files png) > 0))' || fail "Super+Shift+S wrote no share card"
sleep 0.5  # room for a second, wrong file to appear before counting
chapters=$(desktop_files md)
cards=$(desktop_files png)
[ "$chapters" -eq 1 ] || fail "$chapters chapter files after one Super+Shift+D"
[ "$cards" -eq 1 ] || fail "$cards share cards after one Super+Shift+S"

stop_app
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "the log does not end with the session end"

# A second launch reads the same log and opens one more session.
lines=$(wc -l <"$log")
start_app "$work/app2.log"
two_sessions() { (($(grep -c '"kind":"device_session_start"' "$log") == 2)); }
wait_for 10 two_sessions || true

# The window manager's close (_NET_CLOSE_WINDOW, as a title-bar menu, a pager or a
# taskbar sends it): a panel only closes, the strip ends the app through the quit path.
before=$(app_windows)
xdotool key super+shift+t
panel_open() { panel=$(comm -13 <(echo "$before") <(app_windows)); [ -n "$panel" ]; }
wait_for 5 panel_open || fail "Super+Shift+T opened no panel"
wmctrl -i -c "$panel"
panel_closed() { [ "$(app_windows)" = "$before" ]; }
wait_for 5 panel_closed || fail "the window manager could not close the panel"
kill -0 "$app_pid" 2>/dev/null || fail "closing a panel ended the app"
[ -n "$(find_strip)" ] || fail "closing a panel took the strip away"
wmctrl -i -c "$strip_id"
wait_for 5 gone || fail "the app still runs 5 s after the window manager closed the strip"
wait "$app_pid"
status=$?
[ "$status" -eq 0 ] || fail "the app exited with status $status when its strip was closed"
starts=$(grep -c '"kind":"device_session_start"' "$log")
[ "$starts" -eq 2 ] || fail "$starts session starts after two launches"
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "closing the strip did not close the session"
expect_log_read "$lines"

echo "e2e: 1 passed, 0 failed"
