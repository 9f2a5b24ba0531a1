# Sourced by end-to-end scripts after e2e_lib.sh, on a display of their own: every
# titled window, opened from its hotkey or a menu, opens with its frame wholly above
# the strip, keeps the type of its kind (a panel a utility window, any other a normal
# one), has a close button that closes it, and asks for a minimise button only where
# the window may be minimised (openbox draws one on every window all the same). The
# fixed panels cannot be resized or maximised; the Timeline opens in front of its Inner
# Life panel and the troupe window in front of both. Minimising the panel or the Timeline
# leaves the other as it was, and the Timeline, which may not be minimised, comes back,
# without the keyboard. Minimised and restored by the window manager, a window refreshes.

inside() {  # $1 window, $2 field of xwininfo: that number of the window's inside
  xwininfo -id "$1" | awk -v f="$2" '$0 ~ f {print $NF}'
}
shown() { search_windows --onlyvisible --name "$1" | head -n 1; }
frame_box() {  # $1 window: "left top right bottom", the outer rows and columns of its frame
  local l r t b x y
  IFS=', ' read -r l r t b <<<"$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p')"
  x=$(inside "$1" "Absolute upper-left X")
  y=$(inside "$1" "Absolute upper-left Y")
  echo $((x - l)) $((y - t)) $((x + $(inside "$1" Width) + r - 1)) $((y + $(inside "$1" Height) + b - 1))
}
wait_for_rest() {  # $1 window: placed again once the window manager has framed it, still for three looks in a row
  local resting=$1 box last="" still=0
  still_there() {
    box=$(frame_box "$resting")
    if [ "$box" = "$last" ]; then still=$((still + 1)); else still=0; fi
    last=$box
    ((still >= 3))
  }
  wait_for 5 still_there
}
tray_icon() {  # the app's small window inside the tray
  local id
  for id in $(xwininfo -root -tree | grep '"Tumblewick"' | grep -E ' [0-9]{2}x[0-9]{2}\+' | awk '{print $1}'); do
    xwininfo -id "$id" | grep -q IsViewable && { echo "$id"; return 0; }
  done
  return 1
}
tray_menu() {  # $@: the keys that choose an item of the tray icon's menu
  local icon before
  icon=$(tray_icon)
  before=$(app_windows)
  xdotool mousemove $(($(inside "$icon" "Absolute upper-left X") + 8)) \
    $(($(inside "$icon" "Absolute upper-left Y") + 8)) click 3
  menu_open() { [ -n "$(comm -13 <(echo "$before") <(app_windows))" ]; }
  wait_for 3 menu_open || fail "a right click on the tray icon opened no menu"
  xdotool key "$@"
}

motif_minimise() {  # $1 window: yes where its Motif hints allow minimising
  local flags functions
  IFS=', ' read -r flags functions _ <<<"$(xprop -id "$1" _MOTIF_WM_HINTS | sed -n 's/.*= //p')"
  # Without the functions flag, everything; with the "all" bit, all but those named.
  if ((!(flags & 1) || ((functions & 1) != 0) != ((functions & 8) != 0))); then echo yes; else echo no; fi
}

at_foot() {  # sets strip_top once the strip, which may map at the top first, is at the screen's foot
  strip_placed() {
    strip_top=$(find_strip | awk '{print $NF}' | cut -d+ -f3)
    ((${strip_top:-0} > 0))
  }
  wait_for 5 strip_placed || fail "the strip did not go to the screen's foot"
}

check_titled() {  # $1 title (a pattern), $2 yes where the window may be minimised,
  # $3 UTILITY for a panel, NORMAL for a window; sets `id`
  local top bottom actions type
  wait_for 5 shown "$1" >/dev/null || fail "\"$1\" did not open"
  id=$(shown "$1")
  wait_for 5 xprop -id "$id" _NET_FRAME_EXTENTS >/dev/null || fail "\"$1\" has no frame"
  placed() {
    read -r _ top _ bottom <<<"$(frame_box "$id")"
    ((top >= work_top && bottom < strip_top))
  }
  wait_for_rest "$id" || fail "\"$1\" did not come to rest"
  wait_for 5 placed || fail "\"$1\" spans y=$top..$bottom, the strip starts at $strip_top"
  type=$(xprop -id "$id" _NET_WM_WINDOW_TYPE | sed -n 's/.*= //p')
  [ "${type%%,*}" = "_NET_WM_WINDOW_TYPE_$3" ] || fail "\"$1\" is typed $type"
  actions=$(xprop -id "$id" _NET_WM_ALLOWED_ACTIONS)
  grep -q _NET_WM_ACTION_CLOSE <<<"$actions" || fail "\"$1\" cannot be closed: $actions"
  [ "$(motif_minimise "$id")" = "$2" ] || fail "\"$1\" asks for a minimise button: $(motif_minimise "$id")"
  if [ "$2" = yes ]; then
    grep -q _NET_WM_ACTION_MINIMIZE <<<"$actions" || fail "\"$1\" cannot be minimised: $actions"
  fi
  titled=$((titled + 1))
}
check_fixed_size() {  # $1 window, $2 yes for a fixed panel: min = max size, so no maximise either
  local hints min max
  hints=$(xprop -id "$1" WM_NORMAL_HINTS)
  min=$(awk '/minimum size/ {print $(NF - 2) "x" $NF}' <<<"$hints")
  max=$(awk '/maximum size/ {print $(NF - 2) "x" $NF}' <<<"$hints")
  if [ "$2" = yes ]; then
    [ -n "$min" ] && [ "$min" = "$max" ] || fail "\"$(xdotool getwindowname "$1")\" may be resized: $hints"
    ! xprop -id "$1" _NET_WM_ALLOWED_ACTIONS | grep -q _NET_WM_ACTION_MAXIMIZE ||
      fail "\"$(xdotool getwindowname "$1")\" may be maximised"
  else
    [ -z "$max" ] || [ "$min" != "$max" ] || fail "\"$(xdotool getwindowname "$1")\" may not be resized: $hints"
  fi
}
stacked_above() {  # $1 window, $2 another: true when the first is above the second
  local order
  order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, /\n/g')
  (($(grep -nix "$(printf '0x%x' "$1")" <<<"$order" | cut -d: -f1) > \
    $(grep -nix "$(printf '0x%x' "$2")" <<<"$order" | cut -d: -f1)))
}
wm_state() { xprop -id "$1" WM_STATE | awk '/window state/ {print $NF}'; }
minimise_alone() {  # $1 window, $2 another: the window manager minimises the first, the second stays Normal
  local gone=$1 events=$work/minimise_$1.log watcher
  stdbuf -oL xev -id "$gone" -event structure -event property >"$events" 2>&1 &
  watcher=$!
  # Listening once it hears a change of the test's own, which may come back at once.
  listening() { xprop -id "$gone" -f _TW_E2E_MARK 8s -set _TW_E2E_MARK x && grep -q PropertyNotify "$events"; }
  wait_for 3 listening || fail "could not watch \"$(xdotool getwindowname "$gone")\""
  xdotool windowminimize "$gone"
  unmapped() { grep -q UnmapNotify "$events"; }
  wait_for 3 unmapped || fail "\"$(xdotool getwindowname "$gone")\" was not minimised"
  kill "$watcher"
  [ "$(wm_state "$2")" = Normal ] ||
    fail "minimising \"$(xdotool getwindowname "$gone")\" left \"$(xdotool getwindowname "$2")\" $(wm_state "$2")"
}
restored() { [ "$(wm_state "$1")" = Normal ] && xwininfo -id "$1" | grep -q IsViewable; }
check_troupe_in_front() {  # $1 the Timeline, over its Inner Life panel: the troupe window opens above both
  local troupe
  tray_menu Down Down Down Down Down Down Down Down Down Down Down Return  # Cross-device troupe…
  wait_for 5 shown "^Cross-device troupe$" >/dev/null || fail "the tray opened no troupe window"
  troupe=$(shown "^Cross-device troupe$")
  wait_for 5 stacked_above "$troupe" "$1" || fail "the troupe window opened behind the Timeline"
  import -window root "$work/troupe_over_timeline.png"
  cp "$work/troupe_over_timeline.png" "$e2e_output/troupe_over_timeline_$screen_size.png" 2>/dev/null
  close_by_button "$troupe"
}
close_by_button() {  # $1 window: a click on the right-most button of its title bar
  local top right closing=$1
  read -r _ top right _ <<<"$(frame_box "$closing")"
  xdotool mousemove $((right - 10)) $((top + 10)) click 1
  closed() { ! xwininfo -id "$closing" | grep -q IsViewable; }
  wait_for 5 closed || fail "its close button left \"$(xdotool getwindowname "$closing")\" open"
}
timeline_button() {  # $1 Inner Life panel: "x y" of its "Open timeline" button
  local x y
  import -window root "$work/inner_life.png"
  x=$(($(inside "$1" "Absolute upper-left X") + 22))  # 6 pixels into the button
  y=$(inside "$1" "Absolute upper-left Y")
  # Ten rows of the button's flat grey in a row, where labels have none.
  convert "$work/inner_life.png" -crop "1x320+$x+$((y + 60))" txt:- |
    awk -F'[ :(),]+' -v x="$x" -v y0=$((y + 60)) \
      'NR > 1 {g = ($3 == $4 && $4 == $5 && $3 >= 28 && $3 <= 56)} NR > 1 && g {n++} NR > 1 && !g {n = 0}
       n == 10 {print x + 20, $2 + y0 - 5; exit}'
}

controls_menu() {  # $1 the scale, then the keys that choose an item of the strip's Controls menu
  local x y before
  read -r x y <<<"$(awk -v w="${screen_size%x*}" -v t="$strip_top" -v s="$1" \
    'BEGIN {printf "%d %d", w - 10 - 11 * s, t + 17 * s}')"
  before=$(app_windows)
  xdotool mousemove "$x" "$y" click 3  # a right click on the ×
  menu_open() { [ -n "$(comm -13 <(echo "$before") <(app_windows))" ]; }
  wait_for 3 menu_open || fail "a right click on the strip's x opened no menu"
  shift
  xdotool key "$@"
}
check_settings_panel() {  # $1 the scale: opened from the strip's Controls menu, saved by its button
  controls_menu "$1" Down Down Return  # Settings...
  check_titled "^Tumblewick Settings$" no UTILITY
  check_fixed_size "$id" yes
  import -window root "$work/settings.png"
  # Save, 260 right of its inside's left and 38 up from its foot.
  xdotool mousemove $(($(inside "$id" "Absolute upper-left X") + 260)) \
    $(($(inside "$id" "Absolute upper-left Y") + $(inside "$id" Height) - 38)) click 1
  local panel=$id
  closed() { ! xwininfo -id "$panel" 2>/dev/null | grep -q IsViewable; }
  wait_for 5 closed || fail "a click on Save left the settings panel open"
}
check_troupe_window() {  # from the tray's menu: wholly above the strip, however short that makes it
  tray_menu Down Down Down Down Down Down Down Down Down Down Down Return  # Cross-device troupe…
  check_titled "^Cross-device troupe$" yes NORMAL
  import -window root "$work/troupe.png"
  close_by_button "$id"
}

at_scale() {  # $1 output file, $2 scale: the app at that scale, with the strip's top in `strip_top`
  local found
  TUMBLEWICK_UI_SCALE=$2 "$app" >"$1" 2>&1 &
  app_pid=$!
  pids+=($app_pid)
  # The strip: the app's one window as wide as the screen, once at the screen's foot.
  strip_shown() {
    found=$(xwininfo -root -tree | grep '"Tumblewick"' | grep -E " ${screen_size%x*}x[0-9]+\+" | head -n 1)
    strip_top=$(echo "$found" | awk '{print $NF}' | cut -d+ -f3)
    ((${strip_top:-0} > 0))
  }
  wait_for 10 strip_shown || fail "no strip at scale $2"
  wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared at scale $2"
}

check_titled_windows() {  # $1: the app's output file. Starts a tray and the app, then stops the app.
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
  pids+=($!)
  e2e_fresh_home
  start_app "$1"
  at_foot
  work_top=$(xprop -root _NET_WORKAREA | sed 's/.*= //' | cut -d, -f2 | tr -d ' ')
  wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared"
  titled=0

  xdotool key super+shift+i
  check_titled "Dialogue inspector" no UTILITY
  check_fixed_size "$id" no
  close_by_button "$id"
  xdotool key super+shift+t
  check_titled "^Recent thoughts$" no UTILITY
  check_fixed_size "$id" yes
  close_by_button "$id"
  tray_menu Down Down Down Down Down Down Down Down Return  # Agent settings…
  check_titled "Agent settings" no UTILITY
  check_fixed_size "$id" yes
  import -window root "$work/agent_settings.png"
  cp "$work/agent_settings.png" "$e2e_output/agent_settings_$screen_size.png" 2>/dev/null
  close_by_button "$id"
  check_settings_panel 1
  tray_menu Down Down Down Down Down Down Down Down Down Down Right Return  # Inner Life, its first flea
  check_titled "^Inner Life" no UTILITY
  check_fixed_size "$id" yes
  local inner_life=$id button
  refreshes_once_restored "$inner_life"
  button=$(timeline_button "$inner_life")
  [ -n "$button" ] || fail "no timeline button in the Inner Life panel"
  xdotool mousemove $button click 1
  # Opened from the panel, which floats: the timeline's close button must not be under it.
  check_titled "^Timeline" no NORMAL
  wait_for 5 stacked_above "$id" "$inner_life" || fail "the Timeline opened behind its Inner Life panel"
  import -window root "$work/timeline.png"
  check_troupe_in_front "$id"
  # Owned by neither, each is minimised alone; the Timeline, which may not be, comes straight back.
  minimise_alone "$inner_life" "$id"
  xdotool windowmap "$inner_life"
  wait_for 3 restored "$inner_life" || fail "the Inner Life panel did not come back: $(wm_state "$inner_life")"
  minimise_alone "$id" "$inner_life"
  wait_for 3 restored "$id" || fail "the Timeline stayed minimised: $(wm_state "$id")"
  [ "$(xdotool getactivewindow 2>/dev/null)" != "$id" ] || fail "the Timeline took the keyboard as it came back"
  close_by_button "$id"
  close_by_button "$inner_life"
  check_troupe_window
  ((titled == 7)) || fail "only $titled titled windows were checked"
  kill -0 "$app_pid" 2>/dev/null || fail "closing the titled windows ended the app"
  stop_app
}

# What a window manager does with our windows, the same under each: run with the app up.
looks_of() { import -window "$1" png:- 2>/dev/null | md5sum; }
refreshes_once_restored() {  # $1 window: minimised and restored by the window manager, it goes on
  # refreshing as the fleas speak
  local panel=$1 name shot
  name=$(xdotool getwindowname "$panel")
  xdotool windowminimize "$panel"
  minimised() { [ "$(wm_state "$panel")" = Iconic ]; }
  wait_for 3 minimised || fail "\"$name\" was not minimised: $(wm_state "$panel")"
  wmctrl -i -a "$panel"  # as a taskbar or the window list brings it back
  wait_for 3 restored "$panel" || fail "the window manager did not bring \"$name\" back: $(wm_state "$panel")"
  steady() { shot=$(looks_of "$panel"); [ "$shot" = "$(looks_of "$panel")" ]; }
  wait_for 5 steady || fail "\"$name\" did not settle once restored"
  changed() { xdotool type --delay 20 fleas; [ "$(looks_of "$panel")" != "$shot" ]; }
  wait_for 20 changed || fail "\"$name\" stopped refreshing once the window manager restored it"
}
no_window_asks_for_attention() {  # none of the app's windows, after $1 (what was done)
  local w
  for w in $(xdotool search --pid "$app_pid" 2>/dev/null); do
    ! xprop -id "$w" _NET_WM_STATE 2>/dev/null | grep -q DEMANDS_ATTENTION ||
      fail "\"$(xdotool getwindowname "$w")\" asks for attention after $1"
  done
}
leaves_the_panels_layer() {  # $1 window opened in front of a panel, $2 the panel's hotkey letter or
  # its window, closed by its button: once it closes, the window is always on top no more, and
  # a window the user activates goes above it
  local opened=$1 other
  if [ ${#2} -eq 1 ]; then xdotool key "super+shift+$2"; else close_by_button "$2"; fi
  left_layer() { ! xprop -id "$opened" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
  wait_for 3 left_layer || fail "\"$(xdotool getwindowname "$opened")\" stays always on top once the panels closed"
  xev -name "another app" -geometry 500x300+700+260 >/dev/null 2>&1 &
  pids+=($!)
  wait_for 5 shown "^another app$" >/dev/null || fail "no window of another app"
  other=$(shown "^another app$")
  wmctrl -i -a "$other"
  wait_for 3 stacked_above "$other" "$opened" ||
    fail "\"$(xdotool getwindowname "$opened")\" stays above a window the user activated"
  import -window root "$work/under_another_app.png"
  cp "$work/under_another_app.png" "$e2e_output/colony_under_another_app_$e2e_wm.png" 2>/dev/null
  kill "${pids[-1]}"
}
watch_view_covers_the_strip() {  # Super+Shift+F: the full-screen view over the strip's red x
  local x=$((${screen_size%x*} - 29)) y=$((strip_top + 9))
  red_x() {  # a corner of the x's dark red box
    import -window root -crop "1x1+$x+$y" txt:- | awk -F'[ :(),]+' 'NR == 2 {exit !($3 > 100 && $4 < 40 && $5 < 40)}'
  }
  wait_for 3 red_x || fail "no red x at $x,$y on the strip"
  xdotool key super+shift+f
  wait_for 3 shown "^Watch the Troupe$" >/dev/null || fail "Super+Shift+F opened no watch view"
  covered() { ! red_x; }
  wait_for 3 covered || fail "the strip shows over the full-screen watch view"
  import -window root "$work/watch.png"
  cp "$work/watch.png" "$e2e_output/watch_over_strip_$e2e_wm.png" 2>/dev/null
  xdotool key super+shift+f
}
