#!/usr/bin/env bash
# Quitting while a model request hangs: SIGTERM ends the app cleanly, and by the time
# main returns every thread of ours has been joined (none is left to meet a destroyed
# object). Run under gdb, which lists the threads when exit() is reached. The test
# command also runs it on a ThreadSanitizer build, which must report nothing.
set -uo pipefail
app=${1:?usage: quit_threads_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox gdb python3
# Qt is not built with the sanitizer: its own locking is invisible, so only what our
# code does is checked, less what Qt's hand-over between threads looks like to it.
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 suppressions=$(cd "$(dirname "$0")" && pwd)/tsan.supp ${TSAN_OPTIONS:-}"
e2e_start_display
e2e_fresh_home

python3 "$(dirname "$0")/model_server.py" hang "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 5 test -s "$work/port" || fail "the model server did not start"
export TUMBLEWICK_MODEL_URL="http://127.0.0.1:$(cat "$work/port")"

gdb -batch -nx -ex "set breakpoint pending on" -ex "handle SIGTERM SIGPIPE nostop noprint pass" \
  -ex "break -qualified exit" -ex run -ex "thread apply all bt" -ex continue --args "$app" >"$work/app.log" 2>&1 &
pids+=($!)
debugger=$!
app_running() { app_pid=$(pgrep -P "$debugger" -x tumblewick) && [ -n "$(find_strip)" ]; }
wait_for 60 app_running || fail "the app did not start under gdb"
requested() { grep -q "^request /v1/chat/completions" "$work/server.log"; }
wait_for 90 requested || fail "the app never asked the hanging server for a line"

kill -TERM "$app_pid"
wait_for 20 eval '! kill -0 "$debugger" 2>/dev/null' || fail "the app did not quit within 20 s of SIGTERM"
grep -q "exited normally" "$work/app.log" || fail "the app did not exit with status 0: $(grep exited "$work/app.log")"
grep -q "WARNING: ThreadSanitizer" "$work/app.log" && fail "ThreadSanitizer reported a race"

# Every thread but the main one, when exit() was reached: ours run code in tw::.
leftover=$(python3 - "$work/app.log" <<'EOF'
import re, sys
text = open(sys.argv[1], errors="replace").read()
threads = re.split(r"\n(?=Thread \d+ )", text[text.find("\nThread "):])
for thread in threads:
    header = thread.strip().splitlines()[0] if thread.strip() else ""
    if not header.startswith("Thread ") or header.startswith("Thread 1 "):
        continue
    if " tw::" in thread or '"tw-' in header:
        print(header)
EOF
)
grep -q "^Thread 1 " "$work/app.log" || fail "exit() was never reached under gdb"
[ -z "$leftover" ] || fail "threads of ours still ran when main returned: $leftover"

echo "e2e quit threads: 1 passed, 0 failed"
