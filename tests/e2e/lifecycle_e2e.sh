#!/usr/bin/env bash
# Launching and ending as a desktop does it: a second launch on the same data folder
# leaves the running circus alone, whatever sits at the lock file's path and on a
# read-only folder, and the display-scale relaunch hands over to a new run that a
# terminal it was started from still quits (Ctrl+C, or closing it), also when the binary
# was replaced meanwhile, and that holds no descriptor the first run was handed; the
# companion summary lands in the app group's suite; under a file-size limit writes
# fail instead of ending the app; closing the terminal or the reader of the output
# quits cleanly; and when the X server goes away the troupe session is still closed.
set -uo pipefail
app=${1:?usage: lifecycle_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo python3
e2e_start_display
e2e_fresh_home

strips() {  # how many strips are on the display, at any scale
  xwininfo -root -tree | grep '"Tumblewick"' | grep -cE ' 1920x1[0-9]{2}\+'
}
session_starts() { grep -c '"kind":"device_session_start"' "$log"; }
started() { [ -s "$log" ] && [ "$(session_starts)" -ge "$1" ]; }

data_folder="$work/data/Tumblewick"
# An immutable folder (read-only even to root) must not outlive the run.
trap 'chattr -i "$data_folder" 2>/dev/null; e2e_cleanup' EXIT
launch_again() {  # $1: what the case is; a second launch says so in one line and leaves the one strip and session alone
  local second status
  second=$(timeout 20 "$app" 2>&1)
  status=$?
  [ "$status" -eq 0 ] || fail "$1: a second launch exited with status $status: $second"
  [ "$(printf '%s\n' "$second" | wc -l)" -eq 1 ] && [[ $second == *"already running"* ]] ||
    fail "$1: a second launch printed: $second"
  [ "$(strips)" -eq 1 ] || fail "$1: $(strips) strips after a second launch"
  [ "$(session_starts)" -eq 1 ] || fail "$1: the second launch wrote to the running circus's log"
  kill -0 "$app_pid" || fail "$1: the first circus ended on a second launch"
}
read_only() {  # $1: folder; chmod does not stop root
  if ((EUID == 0)); then chattr +i "$1" 2>/dev/null; else chmod a-w "$1"; fi
}
writable() { chattr -i "$1" 2>/dev/null; chmod u+w "$1"; }

# When the lock file cannot be had, the folder is still held: the second launch stops.
# The troupe folder stays writable, so the log still shows every session start.
lock_cases=(directory link read-only)
for case in "${lock_cases[@]}"; do
  rm -rf "$work/home" "$work/data" "$work/config"
  e2e_fresh_home
  mkdir -p "$data_folder/Troupe"
  case $case in
    directory) mkdir "$data_folder/instance.lock" ;;
    link) echo kept >"$work/elsewhere" && ln -s "$work/elsewhere" "$data_folder/instance.lock" ;;
    read-only) read_only "$data_folder" || {
      echo "lock: read-only: skipped: this file system cannot make a folder read-only to root"
      continue
    } ;;
  esac
  start_app "$work/app-lock-$case.log"
  wait_for 10 started 1 || fail "lock: $case: the first launch opened no troupe session"
  launch_again "lock: $case"
  stop_app
  writable "$data_folder"
  case $case in
    directory) [ -d "$data_folder/instance.lock" ] || fail "the directory at the lock's path was replaced" ;;
    link) [ -L "$data_folder/instance.lock" ] && [ "$(cat "$work/elsewhere")" = kept ] ||
      fail "the link at the lock's path or its target was changed" ;;
  esac
done

# From a terminal, as a foreground job: the app on a pseudo-terminal, the quit signals at
# their defaults; SIGUSR1 types Ctrl+C there, SIGUSR2 closes it. Sets terminal and app_pid.
start_in_terminal() {  # $1: output file (its exit code in $1.status), then the app's arguments
  python3 - "$1" "$app" "${@:2}" <<'PY' &
import os, pty, signal, sys
pid, master = pty.fork()
if pid == 0:
    for number in (signal.SIGINT, signal.SIGQUIT, signal.SIGPIPE):
        signal.signal(number, signal.SIG_DFL)
    os.execv(sys.argv[2], sys.argv[2:])
open(sys.argv[1] + ".pid", "w").write(str(pid))
signal.signal(signal.SIGUSR1, lambda *_: os.write(master, b"\x03"))
signal.signal(signal.SIGUSR2, lambda *_: os.close(master))
with open(sys.argv[1], "wb", buffering=0) as output:
    try:
        while data := os.read(master, 4096):
            output.write(data)
    except OSError:  # the terminal closed, by the app's end or by the test
        pass
open(sys.argv[1] + ".status", "w").write(str(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])))
PY
  terminal=$!
  pids+=("$terminal")
  wait_for 30 test -s "$1.pid" || fail "no terminal for the app"
  app_pid=$(cat "$1.pid")
}

# A display that holds the app's first connection until told, then passes every
# connection on to the real one. Sets gate (its number; the app's first X connection is
# the display check, after the relaunch read its path and before Qt reads one).
start_display_gate() {
  rm -f "$work/gate" "$work/gate.held" "$work/gate.release" && mkfifo "$work/gate.release"
  python3 - "${DISPLAY#:}" "$work/gate" <<'PY' &
import os, socket, sys, threading
real, folder = sys.argv[1], sys.argv[2]
for number in range(300, 600):
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        listener.bind("\0/tmp/.X11-unix/X%d" % number)
        break
    except OSError:
        listener.close()
listener.listen(16)
open(folder, "w").write(str(number))
def pump(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    for end in (source, sink):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
held = False
while True:
    client, _ = listener.accept()
    if not held:
        held = True
        open(folder + ".held", "w").close()
        open(folder + ".release").read()
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.connect("\0/tmp/.X11-unix/X" + real)
    for ends in ((client, server), (server, client)):
        threading.Thread(target=pump, args=ends, daemon=True).start()
PY
  pids+=($!)
  wait_for 30 test -s "$work/gate" || fail "the display gate did not start"
  gate=$(cat "$work/gate")
}

# The usual case, on which the rest builds, started from a terminal. Qt takes its own
# options (-style, -display) out of what the app sees; the relaunch must hand them on.
given_arguments=(-style fusion -display "$DISPLAY" --keep-me)
relaunch_cases=(ctrl-c:USR1 hang-up:USR2)
for row in "${relaunch_cases[@]}"; do
  case=${row%:*}
  rm -rf "$work/home" "$work/data" "$work/config"
  e2e_fresh_home
  output="$work/app-$case.log"
  # From a copy that an update replaces (copy, then rename) before the relaunch; handed a
  # pipe and /dev/null beyond the standard streams, which the new run must not keep.
  # Replaced once already while the start waits for its display, before Qt has read the
  # path: /proc/self/exe then names a deleted file and Qt finds none, yet the relaunch
  # must start the new binary at the path the app was started from.
  cp "$app" "$work/tumblewick"
  start_display_gate
  DISPLAY=:$gate app=$work/tumblewick start_in_terminal "$output" "${given_arguments[@]}" 9> >(cat >/dev/null) 200</dev/null
  wait_for 30 test -e "$work/gate.held" || fail "the app asked for no display"
  cp "$app" "$work/tumblewick.new" && mv "$work/tumblewick.new" "$work/tumblewick"
  [[ $(readlink "/proc/$app_pid/exe") == *" (deleted)" ]] || fail "the replaced binary is not the deleted one"
  echo >"$work/gate.release"
  wait_for 10 started 1 || fail "the first launch opened no troupe session"
  handed_pipe=$(readlink "/proc/$app_pid/fd/9")
  [[ $handed_pipe == pipe:* ]] || fail "the first run holds no pipe on descriptor 9: $handed_pipe"
  launch_again "a lock file"

  # The summary companions read is in the app group's suite, not the app's own.
  wait_for 5 folded_events >/dev/null 2>&1 || fail "no companion summary in the app group's suite"
  folded=$(folded_events)
  grep -q tw_troupe_watch_summary_v1 "$settings" && fail "the companion summary went to the standard suite"

  # The display scale (Controls menu, right-click on the close button) relaunches in the
  # same process: the old run closes its session and lets go of the folder, the new one
  # starts, and Ctrl+C in the terminal or closing it still quits through the quit path.
  before=$(app_windows | wc -l)
  cp "$app" "$work/tumblewick.new" && mv "$work/tumblewick.new" "$work/tumblewick"
  xdotool mousemove 1899 867 click 3
  menu_open() { (($(app_windows | wc -l) > before)); }
  wait_for 5 menu_open || fail "a right click on the close button opened no menu"
  # Colony, Settings, Export diagnostics, Display scale; then its second entry, 110%.
  xdotool key --delay 100 Down Down Down Down Right Down Return
  scaled_strip() { xwininfo -root -tree | grep '"Tumblewick"' | grep -q ' 1920x165+'; }
  wait_for 20 scaled_strip || fail "no strip at the new scale after the relaunch"
  new_id=$(xwininfo -root -tree | grep '"Tumblewick"' | grep ' 1920x165+' | awk '{print $1}')
  [ "$(xdotool getwindowpid "$new_id")" = "$app_pid" ] || fail "$case: the relaunch left the terminal"
  [ "$(readlink "/proc/$app_pid/exe")" = "$work/tumblewick" ] ||
    fail "$case: the relaunch runs $(readlink "/proc/$app_pid/exe")"
  [ "$(strips)" -eq 1 ] || fail "$(strips) strips after the relaunch"
  held=$(ls -l "/proc/$app_pid/fd" | grep -F -e "$handed_pipe" -e " 200 -> /dev/null")
  [ -z "$held" ] || fail "$case: the relaunched run kept descriptors of the first:" $held
  relaunched_arguments=$(tr '\0' '\n' <"/proc/$app_pid/cmdline" | tail -n +2)
  [ "$relaunched_arguments" = "$(printf '%s\n' "${given_arguments[@]}")" ] ||
    fail "the relaunch was given the arguments:" $relaunched_arguments
  tr -d ' \n' <"$settings" | grep -qF '"TumblewickUIScale":{"type":"double","value":1.1}' || fail "no scale stored"
  wait_for 10 started 2 || fail "the relaunched instance opened no troupe session"
  grep -n '"kind":"device_session_' "$log" | tail -n 2 | head -n 1 | grep -q device_session_end ||
    fail "the old session was not closed before the new one started"
  kill -"${row#*:}" "$terminal"
  wait_for 5 gone "$terminal" && gone "$app_pid" || fail "$case: the relaunched instance did not quit"
  [ "$(cat "$output.status")" = 0 ] || fail "$case: the relaunched instance exited with $(cat "$output.status")"
  # A closed terminal shows nothing more: the exit status and the log tell.
  [ "$case" = hang-up ] || grep -q "Quitting on signal 2\." "$output" || fail "Ctrl+C did not reach the app"
  tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "$case: the session was left open"
done

# Under a file-size limit a write fails (EFBIG) instead of the signal ending the app,
# so the quit path still runs. Output goes through a pipe: the limit covers files only.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
(
  ulimit -f 0
  exec "$app"
) > >(cat >"$work/app-limited.log") 2>&1 &
app_pid=$!
pids+=("$app_pid")
up_or_gone() { [ -n "$(find_strip)" ] || gone "$app_pid"; }
wait_for 10 up_or_gone || fail "no strip under a file-size limit"
gone "$app_pid" && { wait "$app_pid"; fail "the app ended with status $? under a file-size limit"; }
stop_app

# Closing the terminal it was started from (SIGHUP), its output read by a program that
# stops after one line, and no output at all (whose numbers the next files opened
# would take, the X connection among them): each quits cleanly, session closed last.
signal_cases=(hangup closed-output no-output)
for case in "${signal_cases[@]}"; do
  rm -rf "$work/home" "$work/data" "$work/config"
  e2e_fresh_home
  if [ "$case" = hangup ]; then
    start_app "$work/app-$case.log"
  elif [ "$case" = no-output ]; then
    "$app" >&- 2>&- &
    app_pid=$!
    pids+=("$app_pid")
  else
    rm -f "$work/output" && mkfifo "$work/output"
    head -n 1 <"$work/output" >"$work/app-$case.log" &
    reader=$!
    "$app" >"$work/output" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    wait_for 10 gone "$reader" || fail "the app wrote no line for the reader to stop at"
  fi
  wait_for 10 started 1 || fail "$case: the launch opened no troupe session"
  if [ "$case" = hangup ]; then kill -HUP "$app_pid"; else kill -TERM "$app_pid"; fi
  wait_for 5 gone "$app_pid" || fail "$case: the app did not quit"
  wait "$app_pid"
  status=$?
  ((status == 0)) || fail "$case: the app exited with status $status"
  tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "$case: the session was left open: $(tail -n 1 "$log")"
done

# The X server goes away under a running app: the session end is still appended.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
start_app "$work/app-lost.log"
wait_for 10 started 1 || fail "the launch opened no troupe session"
kill "${pids[0]}"  # Xvfb
wait_for 10 gone "$app_pid" || fail "the app outlived its X server"
wait "$app_pid"
status=$?
((status == 1)) || fail "the app exited with status $status when the X server went away"
tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "the session was left open: $(tail -n 1 "$log")"

echo "e2e lifecycle: $((4 + ${#relaunch_cases[@]} + ${#lock_cases[@]} + ${#signal_cases[@]})) passed, 0 failed ($folded events folded)"
