# Sourced by the end-to-end scripts and the desktop budget: a private X display with a
# window manager and no compositor, fresh data folders, and the real app started and
# stopped as a user would. Set `app` (the tumblewick binary) before sourcing.
#   TW_E2E_DISPLAY=N  use display :N instead of the first free one.

e2e_require() {  # tools...: exit 77 (skipped) when one is missing
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

work=$(mktemp -d /tmp/tw-e2e-XXXXXX)
# Screenshots kept for a look after the run: where TW_TEST_OUTPUT_DIR says (CTest sets it
# to a folder of the build), else beside the app in its build folder; never loose in /tmp.
e2e_output=${TW_TEST_OUTPUT_DIR:-$(dirname "$app")/test-output}
mkdir -p "$e2e_output" 2>/dev/null
pids=()
deaf=()  # programs that may ignore SIGTERM (fluxbox, xfwm4): killed outright
e2e_cleanup() {  # the apps first, the display last; one still there 5 s after SIGTERM is killed,
  # as a wait on it would keep the test running until its timeout
  local i
  for i in "${deaf[@]}"; do kill -KILL "$i" 2>/dev/null; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || continue
    wait_for 5 gone "${pids[i]}" || kill -KILL "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap e2e_cleanup EXIT
trap "exit 143" TERM  # a run stopped from outside ends its displays and buses too
fail() { echo "FAIL (${e2e_wm:-openbox}): $*"; echo "--- app output"; tail -n 40 "$work"/app*.log 2>/dev/null; exit 1; }
gone() { ! kill -0 "${1:-$app_pid}" 2>/dev/null; }  # [$1 pid, the app's unless told]: it has ended
wait_for() {  # $1 seconds, then a command: true as soon as the command succeeds
  local deadline=$(($(date +%s%N) + $1 * 1000000000))
  shift
  while :; do
    "$@" && return 0
    (($(date +%s%N) < deadline)) || return 1
    sleep 0.1
  done
}

e2e_start_display() {  # [$1: WIDTHxHEIGHT, 1920x1080 unless told] [$2: openbox, xfwm4, icewm or fluxbox; openbox
  # unless told] Xvfb and that window manager; sets DISPLAY, e2e_wm and wm_pid
  local which=()
  screen_size=${1:-1920x1080}
  e2e_wm=${2:-openbox}
  [ -n "${TW_E2E_DISPLAY:-}" ] && which=(":$TW_E2E_DISPLAY")
  # -noreset: no reset (and refused connections) whenever the last client leaves.
  Xvfb "${which[@]}" -displayfd 3 -screen 0 "${screen_size}x24" -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  # Generous: on a loaded machine a server start has taken over 5 s.
  wait_for 30 test -s "$work/display" || fail "Xvfb did not start: $(tail -n 3 "$work/xvfb.log")"
  export DISPLAY=":$(cat "$work/display")"
  case $e2e_wm in
    xfwm4)  # wants a session bus: one of its own, ended after it; no compositor, as elsewhere
      dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus.pid" ||
        fail "no D-Bus session for xfwm4"
      pids+=("$(cat "$work/bus.pid")")
      DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus") NO_AT_BRIDGE=1 xfwm4 --compositor=off >"$work/wm.log" 2>&1 &
      deaf+=($!)  # at times it hangs on SIGTERM
      ;;
    fluxbox)  # writes its settings into a home of its own
      mkdir -p "$work/wm-home"
      HOME=$work/wm-home fluxbox >"$work/wm.log" 2>&1 &
      deaf+=($!)
      ;;
    *) "$e2e_wm" >"$work/wm.log" 2>&1 & ;;
  esac
  pids+=($!)
  wm_pid=$!
  wm_runs() {
    local check
    check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
    [ -n "$check" ] && xwininfo -id "$check" >/dev/null 2>&1
  }
  wait_for 10 wm_runs || fail "$e2e_wm did not start: $(tail -n 3 "$work/wm.log")"
}

e2e_fresh_home() {  # empty data folders with a Desktop; the app's variables unset
  export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
  mkdir -p "$HOME/Desktop"
  unset QT_QPA_PLATFORM TUMBLEWICK_MODEL_URL TUMBLEWICK_UI_SCALE
  log="$XDG_DATA_HOME/Tumblewick/Troupe/events.jsonl"
  settings="$XDG_CONFIG_HOME/tumblewick/standard.json"
}

e2e_write_settings() {  # JSON object members (typed entries) as the settings file holds them
  mkdir -p "$(dirname "$settings")"
  printf '{\n%s\n}\n' "$1" >"$settings"
}

find_strip() {  # the strip's line of `xwininfo -tree`, when it is mapped: as wide as the screen
  xwininfo -root -tree | grep '"Tumblewick"' | grep " ${screen_size%x*}x150+" | head -n 1
}

search_windows() {  # xdotool search's arguments: the ids found, one a line
  # A window destroyed while xdotool walks the tree (a frame the window manager takes
  # down) ends it with an X error and no ids, as if there were none: it looks again.
  local output
  whole_search() { output=$(xdotool search "$@" 2>&1); ! grep -q "X Error" <<<"$output"; }
  wait_for 5 whole_search "$@" || { echo "xdotool search $*: $output" >&2; return 1; }
  grep -x "[0-9]\+" <<<"$output"
}

app_windows() {  # [$1 pid, the app's unless told] its viewable windows, one id a line, sorted; never
  # the signature toast (360x72, 56 below the screen's top), which comes and goes as a flea pleases
  local ids toasts
  ids=$(search_windows --onlyvisible --pid "${1:-$app_pid}")
  toasts=$(xwininfo -root -tree | awk '/"Tumblewick": .* 360x72\+[0-9]+\+56 / {print $1}')
  [ -z "$ids" ] || grep -vxF -f <(for id in $toasts; do echo $((id)); done) <<<"$ids" | sort
}

tray_icon() {  # the ticket's window: a small app window inside the tray
  local id
  for id in $(xwininfo -root -tree | grep '"Tumblewick"' | grep -E ' [0-9]{2}x[0-9]{2}\+' | awk '{print $1}'); do
    xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" && { echo "$id"; return 0; }
  done
  return 1
}

start_app() {  # $1: output file, then the app's arguments; sets app_pid, strip and strip_id
  "$app" "${@:2}" >"$1" 2>&1 &
  app_pid=$!
  pids+=($app_pid)
  local _
  for _ in $(seq 100); do
    strip=$(find_strip)
    if [ -n "$strip" ]; then
      strip_id=$(echo "$strip" | awk '{print $1}')
      return 0
    fi
    sleep 0.1
  done
  fail "no strip window appeared"
}

stop_app() {  # SIGTERM; the app must exit cleanly within $1 seconds (5 unless told)
  local limit=${1:-5} start status
  start=$(date +%s%N)
  kill -TERM "$app_pid"
  while kill -0 "$app_pid" 2>/dev/null; do
    (($(date +%s%N) - start < limit * 1000000000)) || fail "the app did not quit within $limit s of SIGTERM"
    sleep 0.02
  done
  wait "$app_pid"
  status=$?
  [ "$status" -eq 0 ] || fail "the app exited with status $status on SIGTERM"
}

frames_per_second() {  # $1 seconds, $2 window id: the frames it delivered per second
  "$probe" "$1" "$2" | awk '{print $4}'
}

at_least() {  # $1 >= $2, as decimals
  awk -v a="$1" -v b="$2" 'BEGIN{exit !(a >= b)}'
}

folded_events() {  # how many troupe events the last launch folded, from its companion summary
  python3 - "$XDG_CONFIG_HOME/tumblewick/group.tumblewick.json" <<'PY'
import base64, json, sys
entry = json.load(open(sys.argv[1]))["tw_troupe_watch_summary_v1"]
print(json.loads(base64.b64decode(entry["value"]))["eventCount"])
PY
}

expect_log_read() {  # $1: lines the log held before the launch that just quit
  local folded
  folded=$(folded_events) || fail "the launch left no troupe summary"
  # Everything on disk, plus the session start the launch added itself.
  [ "$folded" -eq $(($1 + 1)) ] || fail "the launch folded $folded events from a log of $1 lines"
}
