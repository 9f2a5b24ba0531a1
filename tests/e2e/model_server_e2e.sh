#!/usr/bin/env bash
# The fleas' lines from a model server on loopback: one that answers supplies the lines
# the fleas say; one that never answers neither slows the strip nor holds up quitting;
# one that streams an answer far past what a line needs is cut off, memory stays flat,
# and the fleas' line comes from the templates.
set -uo pipefail
app=${1:?usage: model_server_e2e.sh path/to/tumblewick path/to/tw_frame_probe}
probe=${2:?usage: model_server_e2e.sh path/to/tumblewick path/to/tw_frame_probe}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xwininfo python3
e2e_start_display
model_line="Loopback model says the sawdust sparkles"

start_server() {  # $1: answer, hang or huge; sets TUMBLEWICK_MODEL_URL (after e2e_fresh_home)
  rm -f "$work/port"
  python3 "$(dirname "$0")/model_server.py" "$1" "$work/port" >"$work/server-$1.log" 2>&1 &
  pids+=($!)
  local _
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  [ -s "$work/port" ] || fail "the $1 model server did not start"
  export TUMBLEWICK_MODEL_URL="http://127.0.0.1:$(cat "$work/port")"
}

requested() { grep -q "^request /v1/chat/completions" "$work/server-$1.log"; }

# A server that answers: the fleas' lines are its lines, kept in the dialogue cache.
e2e_fresh_home
start_server answer
start_app "$work/app1.log"
grep -q "lines come from the model server at $TUMBLEWICK_MODEL_URL" "$work/app1.log" ||
  fail "the app does not name the model server"
wait_for 60 requested answer || fail "the app never asked the answering server for a line"
wait_for 10 grep -rqs "$model_line" "$XDG_DATA_HOME/Tumblewick" || fail "no line from the model server was kept"
stop_app

# A server that never answers: the strip keeps its frame rate while the request hangs,
# and SIGTERM still ends the app within a second.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
start_server hang
start_app "$work/app2.log"
wait_for 60 requested hang || fail "the app never asked the hanging server for a line"
fps=$(frames_per_second 5 "$strip_id")
at_least "$fps" 50 || fail "the strip delivers $fps frames a second while the model server hangs"
stop_app 1

# A server that streams a 1 GiB answer: the app stops reading past the cap, keeps its
# memory, counts the request as failed and says a template line instead.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
start_server huge
start_app "$work/app3.log"
kib() { awk -v key="$1:" '$1 == key {print $2}' "/proc/$app_pid/status"; }
before=$(kib VmRSS)
wait_for 60 requested huge || fail "the app never asked the streaming server for a line"
taken() { grep -q "^sent " "$work/server-huge.log"; }
wait_for 30 taken || fail "the streaming server was still sending after 30 s"
sent=$(awk '/^sent / {print $2; exit}' "$work/server-huge.log")
# The cut lands on Qt's network thread a moment later: what arrives meanwhile is
# dropped unread, but it must be nowhere near the whole answer.
((sent < 512 << 20)) || fail "the app took $sent bytes of the streamed answer"
template_line() { grep -rqs '"generated_by":"template"' "$XDG_DATA_HOME/Tumblewick"; }
wait_for 10 template_line || fail "no template line was kept after the streamed answer"
grep -rqs "$model_line" "$XDG_DATA_HOME/Tumblewick" && fail "the line from the over-long answer was kept"
peak=$(kib VmHWM)
grown=$(((peak - before) / 1024))
((grown < 64)) || fail "the app's memory grew by $grown MiB on the streamed answer"
stop_app 1

echo "e2e model server: 3 passed, 0 failed (read $((sent >> 20)) MiB of the streamed answer, memory grew $grown MiB)"
