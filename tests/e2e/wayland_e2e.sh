#!/usr/bin/env bash
# The app in a Wayland session where XWayland runs (weston, headless): left to choose
# its platform it becomes an X client, its strip sits at the bottom of the XWayland
# screen, and it says once where the desktop's keys and clicks come from: the input
# devices when a keyboard can be read, else how to allow that.
set -uo pipefail
app=${1:?usage: wayland_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require weston Xwayland xwininfo

# weston starts XWayland when the first X client connects, and logs its display first.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
screen_size=1920x1080  # find_strip looks for a strip this wide
weston --backend=headless-backend.so --xwayland --socket=tw-e2e --width=1920 --height=1080 \
  --log="$work/weston.log" >/dev/null 2>&1 &
pids+=($!)
x_display() { sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log" 2>/dev/null; }
wait_for 10 eval '[ -n "$(x_display)" ]' || fail "weston started no X server: $(tail -n 5 "$work/weston.log")"
export WAYLAND_DISPLAY=tw-e2e XDG_SESSION_TYPE=wayland DISPLAY="$(x_display)"
e2e_fresh_home  # QT_QPA_PLATFORM unset: the app chooses

# Only an X client's window is in the XWayland screen's tree.
start_app "$work/app.log"
screen=$(xwininfo -root | awk '/Width/{w=$NF} /Height/{h=$NF} END{print w"x"h}')
[ "$screen" = 1920x1080 ] || fail "the XWayland screen is $screen"
# The window manager maps it where it likes first; the strip then moves to the foot.
at_the_foot() {
  geometry=$(xwininfo -id "$strip_id" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width/{w=$NF} /Height/{h=$NF} END{print x","y","w","h}')
  [ "$geometry" = "0,850,1920,150" ]
}
wait_for 5 at_the_foot || fail "strip geometry is $geometry, expected 0,850,1920,150"

said() { grep -c "$1" "$work/app.log"; }
wait_for 5 eval '(($(said "input devices under /dev/input") + $(said "join the .input. group") > 0))' ||
  fail "the app did not say where the desktop's input comes from"
if (($(said "input devices under /dev/input") > 0)); then
  echo "global input: read from the input devices"
else
  [ "$(said "join the 'input' group")" -eq 1 ] || fail "the way to allow global input was not said once"
  echo "global input: no readable keyboard, and the app said once how to allow it"
fi
[ "$(said "not an X11 session")" -eq 0 ] || fail "the app ran as a Wayland client"
stop_app

echo "e2e wayland: 1 passed, 0 failed"
