#!/usr/bin/env bash
# Starts the real app under Xvfb with openbox and fresh data folders, then checks as a
# user would: the strip sits where it should with its desktop hints and shows the
# circus; typing anywhere winds it; the Command-Shift hotkeys write one chapter and one
# share card each; SIGTERM closes the troupe session and a second launch reads the log.
set -uo pipefail
app=${1:?usage: strip_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo xprop import convert python3
e2e_start_display
e2e_fresh_home

start_app "$work/app1.log"
sleep 2

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

# The circus is drawn: the strip holds many colours, not a blank rectangle.
import -window root -crop 1920x150+0+850 "$work/strip.png" 2>/dev/null
colours=$(convert "$work/strip.png" -format %k info:)
[ "$colours" -gt 200 ] || fail "the strip shows only $colours colours"

# Typing anywhere winds the meter: the console's energy line climbs above zero and the
# gauge at the strip's right end (80x8, 110 from the right, 10 above the bottom) fills
# with a bright bar over its dark ground.
gauge_fill() {
  import -window root -crop 80x8+1810+990 "$work/gauge.png" 2>/dev/null
  convert "$work/gauge.png" -colorspace gray -threshold 35% -format '%[fx:round(mean*w*h)]' info:
}
before=$(gauge_fill)
xdotool type --delay 20 "the fleas are waking up"
sleep 0.5
after=$(gauge_fill)
grep -q "Energy: [1-9]" "$work/app1.log" || fail "typing did not wind the energy"
((after >= before + 40)) || fail "the gauge shows $before lit pixels before typing and $after after"
echo "gauge: $before lit pixels before typing, $after after"

# Moving the pointer winds it too, even when a program warps the pointer (as xdotool
# does) and no device reports the motion.
sleep 5  # the meter runs down
before=$(gauge_fill)
for i in $(seq 30); do
  xdotool mousemove $((200 + (i % 2) * 700)) 400
  sleep 0.03
done
after=$(gauge_fill)
((after >= before + 40)) || fail "the gauge shows $before lit pixels before the pointer moved and $after after"

# Each export hotkey writes exactly one file to the Desktop.
xdotool key super+shift+d
sleep 1
xdotool key super+shift+s
sleep 2
chapters=$(ls "$HOME/Desktop" | grep -c '\.md$')
cards=$(ls "$HOME/Desktop" | grep -c '\.png$')
[ "$chapters" -eq 1 ] || fail "$chapters chapter files after one Super+Shift+D"
[ "$cards" -eq 1 ] || fail "$cards share cards after one Super+Shift+S"

stop_app
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "the log does not end with the session end"

# A second launch reads the same log and opens one more session.
lines=$(wc -l <"$log")
start_app "$work/app2.log"
sleep 2
stop_app
starts=$(grep -c '"kind":"device_session_start"' "$log")
[ "$starts" -eq 2 ] || fail "$starts session starts after two launches"
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "the second run did not close its session"
expect_log_read "$lines"

echo "e2e: 1 passed, 0 failed"
