#!/usr/bin/env bash
# Starts the real app, quits it with a signal and checks it shut down cleanly.
set -u
app=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version=$("$app" --version)
[ "$version" = "Tumblewick 1.4.0" ] || fail "--version printed '$version'"

for sig in TERM INT; do
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

if [ "$failures" -eq 0 ]; then echo "app lifecycle ok"; exit 0; fi
exit 1
