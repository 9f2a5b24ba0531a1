#!/usr/bin/env bash
# The user's keyboard and desktop left to them, with a terminal holding the keyboard that
# writes what it gets to a file. Under the window manager named as the third argument:
#  openbox, xfwm4: a round of every Shift+Super hotkey with the terminal focused opens and
#    closes the panels, winds the circus once a press, and reaches the terminal not at all.
#  all four, the terminal focused: Ctrl and Alt held with a hotkey change nothing; a hotkey
#    another program holds is said once by name and still answered, and is the app's alone
#    within 25 s of that program quitting; Super and Num Lock moved to other modifiers while
#    the app runs, a hotkey pressed with Num Lock on still reaches the terminal not at all.
#  openbox, xfwm4: another program holding only Ctrl+Shift+Super+T leaves Shift+Super+T
#    the app's; Num Lock moved onto Super's Mod4 and on, capitals reach the terminal whole;
#    Caps Lock filed under Super's Mod4 (it still locks Lock) and on, the hotkeys do not.
#  openbox: its own binding on Ctrl+Shift+Super+T still works after Super moves to Mod3
#    and back while the app runs, and after the app quits; the app says once that it is
#    taken, and never that it was let go.
#  openbox, xfwm4, fluxbox: the Timeline, minimised by the window manager, comes back and
#    leaves the keyboard with the terminal.
#  icewm: the Colony opened beside a panel, and the Timeline opened from its Inner Life
#    panel, are always on top no more once the panel closes.
set -uo pipefail
app=${1:?usage: keyboard_e2e.sh path/to/tumblewick path/to/frame_probe openbox|xfwm4|fluxbox|icewm}
holder=$(dirname "${2:?}")/tw_key_holder
wm=${3:-openbox}
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/titled_windows_lib.sh"
e2e_require Xvfb "$wm" xterm xdotool xwininfo xprop trayer import convert xev stdbuf wmctrl python3 xmodmap xset
# Openbox's own settings, where a test can bind a key of its own later.
[ "$wm" = openbox ] && export XDG_CONFIG_HOME=$work/wm-config
e2e_start_display 1920x1080 "$wm"
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)

start_terminal() {  # $1 a name, apart from the app's windows' (xdotool's search ignores case): a terminal whose every key goes to $typed as it comes; sets `terminal`
  typed=$work/typed-${1// /-}
  xterm -geometry 80x20+80+120 -title "$1" -e sh -c "stty -icanon -echo; exec cat >$typed" >/dev/null 2>&1 &
  pids+=($!)
  wait_for 5 shown "^$1\$" >/dev/null || fail "no terminal"
  # Its window shows before its shell has run: on a busy machine, keys typed then wait
  # for a line's end.
  wait_for 5 test -e "$typed" || fail "the terminal's shell did not start"
  terminal=$(shown "^$1\$")
}
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
to_terminal() {  # the user clicks into the terminal
  wmctrl -i -a "$terminal"
  wait_for 5 active "$terminal" || fail "the terminal could not be activated"
}
type_and_see() {  # $1 letters typed now, $2 all the terminal should hold after them; $3 what came before
  local want=$2
  xdotool type --delay 30 "$1"
  holds() { [ "$(cat "$typed")" = "$want" ]; }
  wait_for 3 holds || fail "after $3 the terminal got \"$(cat "$typed")\", not \"$want\""
}
start() {  # the app beside the terminal, with a custom flea that the circus winds
  local flea='[{"id":"6F1C2A4E-0B7D-4C1E-9A55-3D2B8E7F1A01","name":"Pogo","bodyColorIndex":2,"hatKind":"topHat",'
  flea+='"discoveredAct":"trapeze","createdAt":786000000.5,"xp":0,"unlockedNodeIDs":[]}]'
  e2e_fresh_home
  # No session bus: showing an export on the Desktop fails at once rather than after a
  # bus started for the purpose times out.
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
  e2e_write_settings '"tw_custom_fleas": {"type": "data", "value": "'"$(printf %s "$flea" | base64 -w0)"'"},
"tw_troupe_dual_write_enabled": {"type": "bool", "value": true}'
  start_app "$1"
  at_foot
  wait_for 10 tray_icon >/dev/null || fail "no tray icon appeared"
}
winding_presses() {  # the key presses (one XP each) the troupe log holds, clicks being two
  python3 - "$log" <<'PY'
import json, sys
total = 0
for line in open(sys.argv[1]):
    event = json.loads(line)
    if event["kind"] == "xp_earned" and event["payload"]["body"].get("fleaId") is None:
        total += event["payload"]["body"]["amount"]
print(total)
PY
}

toggles() {  # $1 a hotkey's letter, [$2 other modifiers held: "ctrl+"]: its first press opens one
  # window, its second closes it
  local before keys="${2:-}super+shift+$1"
  before=$(app_windows)
  xdotool key "$keys"
  opened() { [ "$(comm -13 <(echo "$before") <(app_windows) | wc -l)" -eq 1 ]; }
  named() { local id; for id in "$@"; do printf '"%s" ' "$(xdotool getwindowname "$id")"; done; }
  wait_for 3 opened || fail "$keys opened these windows: $(named $(comm -13 <(echo "$before") <(app_windows)))"
  xdotool key "$keys"
  closed() { [ "$(app_windows)" = "$before" ]; }
  wait_for 3 closed || fail "the second $keys left a window open"
}

hotkey_round() {  # every desktop hotkey with the terminal focused, letters typed around them
  local sofar="" key letter
  start "$work/app-round.log"
  start_terminal "typing here"
  to_terminal
  type_and_see a a "the start"
  sofar=a
  for key in t i l f; do
    toggles "$key"
    # The watch view takes the keyboard while it shows; the terminal has it back after.
    wait_for 3 active "$terminal" || to_terminal
    letter=$(printf "\\x$(printf %x $((0x61 + ${#sofar})))")
    sofar+=$letter
    type_and_see "$letter" "$sofar" "Super+Shift+${key^^} twice"
  done
  for key in d s; do
    xdotool key "super+shift+$key"
    letter=$(printf "\\x$(printf %x $((0x61 + ${#sofar})))")
    sofar+=$letter
    type_and_see "$letter" "$sofar" "Super+Shift+${key^^}"
  done
  card_written() { compgen -G "$HOME/Desktop/*.png" >/dev/null; }
  wait_for 5 card_written || fail "Super+Shift+S wrote no share card"
  import -window root "$work/round.png"
  stop_app
  # The letters and the ten hotkey presses, each once.
  local wound
  wound=$(winding_presses) || fail "the troupe log cannot be read"
  [ "$wound" -eq $((${#sofar} + 10)) ] || fail "the circus counted $wound presses for ${#sofar} letters and 10 hotkeys"
}

taken_whole() {  # Shift+Super+L held by another program before the app starts; the terminal typing.
  # Last: Super stays moved.
  "$holder" 46 >"$work/holder.log" 2>&1 &
  pids+=($!)
  local holding=$!
  holds() { grep -q held "$work/holder.log"; }
  wait_for 5 holds || fail "could not hold Shift+Super+L: $(cat "$work/holder.log")"
  start "$work/app-held.log"
  local said
  said() { grep -q "Shift+Super+L is taken by another program" "$work/app-held.log"; }
  wait_for 5 said || fail "the app did not say that another program holds Shift+Super+L"
  start_terminal "typing whole"
  to_terminal
  type_and_see a a "the start"
  toggles t ctrl+
  toggles t alt+
  type_and_see b ab "Ctrl+ and Alt+Super+Shift+T"
  toggles l
  got() { [ "$(grep -c press "$work/holder.log")" -eq 2 ]; }
  wait_for 3 got || fail "the program holding Shift+Super+L got $(grep -c press "$work/holder.log") of its 2 presses"
  said=$(grep -c "taken by another program" "$work/app-held.log")
  [ "$said" -eq 1 ] || fail "$said lines say a hotkey is taken, not one"
  kill "$holding"
  let_go() { grep -q "Shift+Super+L is Tumblewick's alone now" "$work/app-held.log"; }
  # Asked for again 2.5 s after the start, then 5 s, 10 s, 20 s after that: in time for a
  # holder quitting up to 37 s in.
  wait_for 25 let_go || fail "Shift+Super+L was not the app's within 25 s of its holder quitting"
  toggles l
  type_and_see c abc "Super+Shift+L let go by its holder"
  # Super onto Mod2 and Num Lock onto Mod3: grabs made for Super on Mod4 match no more.
  xmodmap -e "remove mod2 = Num_Lock" -e "remove mod4 = Super_L Super_R" -e "add mod3 = Num_Lock" \
    -e "add mod2 = Super_L Super_R" || fail "xmodmap could not move Super and Num Lock"
  regrabbed() { "$holder" --probe 28 0x11; [ $? -eq 3 ]; }  # T with Shift and Mod2, held by the app
  wait_for 5 regrabbed || fail "Shift+Super+T was not grabbed again with Super on Mod2"
  xdotool key Num_Lock
  num_lock_on() { xset q | grep -q "Num Lock: *on"; }
  wait_for 3 num_lock_on || fail "Num Lock did not come on"
  toggles t
  type_and_see d abcd "Num Lock+Super+Shift+T, with Super and Num Lock moved"
  stop_app
}

keys_not_ours() {  # a desktop binding Ctrl+Shift+Super+T alone, then Num Lock moved onto Super's Mod4 and on
  "$holder" 28 0x45 >"$work/holder-ctrl.log" 2>&1 &
  pids+=($!)
  local holding=$!
  holds() { grep -q held "$work/holder-ctrl.log"; }
  wait_for 5 holds || fail "could not hold Ctrl+Shift+Super+T: $(cat "$work/holder-ctrl.log")"
  start "$work/app-ctrl.log"
  said() { grep -q "Ctrl+Shift+Super+T is taken by another program" "$work/app-ctrl.log"; }
  wait_for 5 said || fail "the app did not say that another program holds Ctrl+Shift+Super+T"
  ! grep -E "(^|[^+])Shift\+Super\+T is taken" "$work/app-ctrl.log" || fail "the app said Shift+Super+T is taken"
  start_terminal "typing past"
  to_terminal
  type_and_see a a "the start"
  xdotool key super+shift+t
  wait_for 3 shown "^Recent thoughts$" >/dev/null || fail "Super+Shift+T opened no Recent thoughts"
  wait_for 3 active "$terminal" || to_terminal
  type_and_see b ab "Super+Shift+T beside a holder of Ctrl+Shift+Super+T"
  grep -q press "$work/holder-ctrl.log" && fail "the holder of Ctrl+Shift+Super+T got Super+Shift+T"
  # Num Lock on Mod4 with Super: on, it must not make capitals hotkeys.
  xmodmap -e "remove mod2 = Num_Lock" -e "add mod4 = Num_Lock" || fail "xmodmap could not move Num Lock"
  free() { "$holder" --probe 28 0x41; }
  wait_for 5 free || fail "Shift+T stayed grabbed with Num Lock on Super's Mod4"
  xdotool key Num_Lock
  num_lock() { xset q | grep -q "Num Lock: *$1"; }
  wait_for 3 num_lock on || fail "Num Lock did not come on"
  type_and_see aTLIFDSb abaTLIFDSb "Num Lock moved onto Super's Mod4 and on"
  said=$(grep -c "Num Lock sets Mod4, as Super does" "$work/app-ctrl.log")
  [ "$said" -eq 1 ] || fail "$said lines say Num Lock shares Super's modifier, not one"
  xdotool key Num_Lock
  wait_for 3 num_lock off || fail "Num Lock did not go off"
  xmodmap -e "remove mod4 = Num_Lock" -e "add mod2 = Num_Lock" || fail "xmodmap could not put Num Lock back"
  ours() { "$holder" --probe 28 0x41; [ $? -eq 3 ]; }
  wait_for 5 ours || fail "Shift+Super+T was not grabbed again with Num Lock back on Mod2"
  stop_app
  kill "$holding"
}

usual_modifiers() {  # as the display started: Caps Lock on Lock, Num Lock on Mod2, Super on Mod4, all off
  local lock
  for lock in Caps Num; do
    xset q | grep -q "$lock Lock: *on" && xdotool key "${lock}_Lock"
    off() { xset q | grep -q "$lock Lock: *off"; }
    wait_for 3 off || fail "$lock Lock did not go off"
  done
  xmodmap -e "clear lock" -e "clear mod2" -e "clear mod3" -e "clear mod4" -e "add lock = Caps_Lock" \
    -e "add mod2 = Num_Lock" -e "add mod4 = Super_L Super_R Hyper_L" || fail "xmodmap could not reset the modifiers"
}

caps_lock_on_super() {  # Caps Lock filed under Mod4 with Super, and on
  usual_modifiers
  start "$work/app-caps.log"
  start_terminal "typing caps"
  to_terminal
  type_and_see a a "the start"
  xmodmap -e "clear lock" -e "add mod4 = Caps_Lock" || fail "xmodmap could not move Caps Lock"
  xdotool key Caps_Lock
  locked() { xset q | grep -q "Caps Lock: *on"; }
  wait_for 3 locked || fail "Caps Lock did not come on"
  toggles t
  type_and_see b aB "Super+Shift+T with Caps Lock on Mod4 and on"
  ours() { "$holder" --probe 28 0x43; [ $? -eq 3 ]; }  # T with Shift, Lock and Mod4, held by the app
  ours || fail "Shift+Super+T with Caps Lock on is not the app's with Caps Lock on Mod4"
  grep -q "Caps Lock sets" "$work/app-caps.log" && fail "the app took Caps Lock for a lock on Super's modifier"
  stop_app
  usual_modifiers
}

wm_binding_kept() {  # openbox binds Ctrl+Shift+Super+T to touch a file
  usual_modifiers
  local fired=$work/wm-fired
  mkdir -p "$work/wm-config/openbox"
  sed "s|<keyboard>|<keyboard><keybind key=\"C-S-W-t\"><action name=\"Execute\"><command>touch $fired</command></action></keybind>|" \
    /etc/xdg/openbox/rc.xml >"$work/wm-config/openbox/rc.xml"
  openbox --reconfigure || fail "openbox could not be told to reload its settings"
  fires() { rm -f "$fired"; xdotool key ctrl+shift+super+t; wait_for 2 test -e "$fired"; }
  wait_for 10 fires || fail "openbox's binding on Ctrl+Shift+Super+T did not work"
  start "$work/app-wm.log"
  said() { grep -q "Ctrl+Shift+Super+T is taken by another program" "$work/app-wm.log"; }
  wait_for 5 said || fail "the app did not say that another program holds Ctrl+Shift+Super+T"
  fires || fail "openbox's binding did not work with the app running"
  local move
  for move in "remove mod4 = Super_L Super_R|add mod3 = Super_L Super_R|0x21" \
    "remove mod3 = Super_L Super_R|add mod4 = Super_L Super_R|0x41"; do
    IFS='|' read -r from to state <<<"$move"
    xmodmap -e "$from" -e "$to" || fail "xmodmap could not move Super"
    grabbed() { "$holder" --probe 28 "$state"; [ $? -eq 3 ]; }
    wait_for 5 grabbed || fail "Shift+Super+T was not grabbed again after \"$to\""
    fires || fail "openbox's binding on Ctrl+Shift+Super+T did not work after \"$to\""
  done
  stop_app
  fires || fail "openbox's binding on Ctrl+Shift+Super+T did not work after the app quit"
  grep "let it go" "$work/app-wm.log" && fail "the app said a holder let a hotkey go"
  said=$(grep -c "taken by another program" "$work/app-wm.log")
  [ "$said" -eq 1 ] || fail "$said lines say a hotkey is taken, not one"
  ! grep "taken by another program" "$work/app-wm.log" | grep -q "Lock+" ||
    fail "the app named a state with Lock, which no key sets"
}

open_timeline() {  # the Timeline from the tray's Inner Life; sets inner_life and timeline
  local button
  tray_menu Down Down Down Down Down Down Down Down Down Down Right Return  # Inner Life, its first flea
  wait_for 5 shown "^Inner Life" >/dev/null || fail "the tray opened no Inner Life panel"
  inner_life=$(shown "^Inner Life")
  wait_for_rest "$inner_life" || fail "the Inner Life panel did not come to rest"
  button=$(timeline_button "$inner_life")
  [ -n "$button" ] || fail "no timeline button in the Inner Life panel"
  xdotool mousemove $button click 1
  wait_for 5 shown "^Timeline" >/dev/null || fail "the Inner Life panel opened no Timeline"
  timeline=$(shown "^Timeline")
  wait_for_rest "$timeline" || fail "the Timeline did not come to rest"
}

timeline_keeps_out_of_the_keyboard() {
  start "$work/app-timeline.log"
  start_terminal "typing there"
  open_timeline
  to_terminal
  type_and_see abc abc "the Timeline opened"
  minimise_alone "$timeline" "$inner_life"
  wait_for 3 restored "$timeline" || fail "the Timeline stayed minimised: $(wm_state "$timeline") $(xprop -id "$timeline" WM_HINTS _NET_WM_STATE WM_PROTOCOLS)"
  import -window root "$work/timeline_back.png"
  type_and_see xyz abcxyz "the Timeline came back"
  active "$terminal" || fail "the Timeline came back with the keyboard"
  # Back on screen, it takes the keyboard again when the user clicks into it.
  takes_keys() { xprop -id "$timeline" WM_HINTS | grep -q "input focus: True"; }
  wait_for 3 takes_keys || fail "the Timeline refuses the keyboard once back: $(xprop -id "$timeline" WM_HINTS)"
  stop_app
}

out_of_the_panels_layer() {  # icewm keeps a window mapped always on top so for good
  start "$work/app-layers.log"
  xdotool key super+shift+t
  wait_for 5 shown "^Recent thoughts$" >/dev/null || fail "Super+Shift+T opened no Recent thoughts"
  wait_for_rest "$(shown "^Recent thoughts$")" || fail "Recent thoughts did not come to rest"
  controls_menu 1 Down Return  # the Colony
  wait_for 5 shown "^Tumblewick Colony$" >/dev/null || fail "the Controls menu opened no Colony"
  local colony
  colony=$(shown "^Tumblewick Colony$")
  wait_for 5 stacked_above "$colony" "$(shown "^Recent thoughts$")" || fail "the Colony opened behind Recent thoughts"
  leaves_the_panels_layer "$colony" t
  close_by_button "$colony"
  open_timeline
  wait_for 5 stacked_above "$timeline" "$inner_life" || fail "the Timeline opened behind its Inner Life panel"
  leaves_the_panels_layer "$timeline" "$inner_life"
  stop_app
}

case $wm in
  openbox) hotkey_round; timeline_keeps_out_of_the_keyboard; keys_not_ours; taken_whole; caps_lock_on_super; wm_binding_kept ;;
  xfwm4) hotkey_round; timeline_keeps_out_of_the_keyboard; keys_not_ours; taken_whole; caps_lock_on_super ;;
  fluxbox) timeline_keeps_out_of_the_keyboard; taken_whole ;;
  icewm) out_of_the_panels_layer; taken_whole ;;
  *) fail "no checks for $wm" ;;
esac
echo "e2e keyboard ($wm): passed"
