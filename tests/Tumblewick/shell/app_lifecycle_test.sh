#!/usr/bin/env bash
# Starts the real app, quits it with a signal (a closing terminal's among them) and
# checks it shut down cleanly; and without an X display it says so in one line
# instead of the toolkit aborting.
set -u
app=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version=$("$app" --version)
[ "$version" = "Tumblewick 1.4.0" ] || fail "--version printed '$version'"

for sig in TERM INT HUP; do
  out=$home/out-$sig.txt
  "$app" >"$out" 2>&1 &
  pid=$!
  for _ in $(seq 100); do grep -q "started" "$out" && break; sleep 0.1; done
  grep -q "started" "$out" || fail "app did not start ($sig): $(cat "$out")"
  kill -"$sig" "$pid"
  wait "$pid"; rc=$?
  [ "$rc" -eq 0 ] || fail "exit status $rc after SIG$sig: $(cat "$out")"
  grep -q "stopped" "$out" || fail "no clean shutdown after SIG$sig"
done

no_display() {  # env arguments that leave no X server to reach
  local out rc
  out=$(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$@" "$app" 2>&1)
  rc=$?
  [ "$rc" -eq 1 ] && [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] && [[ $out == *"no X display"* ]] ||
    fail "with $*: status $rc, output: $out"
}
# Far above the numbers other tests' displays take (Xvfb -displayfd counts from 0, xvfb-run -a
# from 99, the desktop input test 80-119), so one starting beside this test cannot answer here.
free=6000
while [ -e "/tmp/.X11-unix/X$free" ]; do free=$((free + 1)); done
no_display -u DISPLAY
no_display DISPLAY=":$free"

if [ "$failures" -eq 0 ]; then echo "app lifecycle ok"; exit 0; fi
exit 1
