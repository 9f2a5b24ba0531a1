#!/usr/bin/env bash
# Something else than a file at each path the app reads: a FIFO, a link to /dev/zero, a
# symlink loop. Whatever stands there, the strip appears, SIGTERM ends the app within a
# second with status 0, and the thing is left as it was. The paths of one kind share a
# launch; the troupe log's rows have launches of their own, so a fault there is told
# apart, and so has a quit while a huge log still loads. A model server that answers
# makes a flea speak, so the dialogue cache is stored.
set -uo pipefail
app=${1:?usage: hostile_files_e2e.sh path/to/tumblewick}
source "$(dirname "$0")/e2e_lib.sh"
e2e_require Xvfb openbox xwininfo python3 stat
e2e_start_display

python3 "$(dirname "$0")/model_server.py" answer "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 5 test -s "$work/port" || fail "the model server did not start"
served() { grep -c "^request /v1/chat/completions" "$work/server.log"; }
spoke() { (($(served) > served_before)); }

stores=(  # each path the app reads, below the data folders
  config/tumblewick/standard.json
  config/tumblewick/group.tumblewick.json
  config/user-dirs.dirs
  data/Tumblewick/Troupe/device_id
  data/Tumblewick/CloudKeyValueStore.json
  data/Tumblewick/DialogueCache.json
)
passed=0

make_hostile() {  # $1 kind, $2 path
  mkdir -p "$(dirname "$2")"
  case $1 in
    fifo) mkfifo "$2" ;;
    zero) ln -s /dev/zero "$2" ;;
    loop) ln -s "$(basename "$2")" "$2" ;;
  esac
}
fingerprint() { stat -c '%F %i %s %Y %N' "$1" 2>&1; }

quit_app() {  # $1: the case; SIGTERM must end the app with status 0 within a second
  local status
  kill -TERM "$app_pid"
  if ! wait_for 1 gone; then
    kill -KILL "$app_pid"  # else the cleanup would wait for it forever
    wait "$app_pid"
    fail "$1: the app did not quit within a second of SIGTERM"
  fi
  wait "$app_pid"
  status=$?
  [ "$status" -eq 0 ] || fail "$1: the app exited with status $status on SIGTERM"
}

# $1 kind, then paths below $work: one launch with each path made of that kind.
launch() {
  local kind=$1 path before=() i=0
  shift
  rm -rf "$work/home" "$work/data" "$work/config"
  e2e_fresh_home
  export TUMBLEWICK_MODEL_URL="http://127.0.0.1:$(cat "$work/port")"
  for path in "$@"; do
    make_hostile "$kind" "$work/$path"
    before+=("$(fingerprint "$work/$path")")
  done
  served_before=$(served)
  start_app "$work/app-$kind.log"
  local what="$kind at ${*##*/}"
  # With the cache among them: a flea has spoken and the store was refused.
  if [[ " $* " == *DialogueCache.json* ]]; then
    wait_for 60 spoke || fail "$what: no flea asked for a line"
    wait_for 10 grep -q "Dialogue cache not saved" "$work/app-$kind.log" ||
      fail "$what: a flea's line was never stored"
  fi
  quit_app "$what"
  for path in "$@"; do
    [ "$(fingerprint "$work/$path")" = "${before[i]}" ] || fail "$what: $path was changed"
    ((i++))
  done
  if [[ " $* " != *events.jsonl* ]]; then
    tail -n 1 "$log" | grep -q '"kind":"device_session_end"' || fail "$what: the troupe session was left open"
  fi
  passed=$((passed + 1))
  echo "ok: $what"
}

for kind in fifo zero loop; do
  launch "$kind" "${stores[@]}"
done

# The story-arc file's folder removed and made again under the running app: the card
# shows once the file is back.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
start_app "$work/app-arc.log"
arc_folder="$XDG_DATA_HOME/Tumblewick"
# No `grep -q` on the tree: grep would stop reading at the card's line and xwininfo, still
# writing, would end on SIGPIPE, which pipefail reports as no card.
arc_card() { xwininfo -root -tree | grep ' 320x88+' >/dev/null; }
# The app's writers may make files in the folder while rm empties it; then rm fails and
# is tried again.
wait_for 5 rm -rf "$arc_folder" 2>/dev/null || fail "the story-arc folder could not be removed"
mkdir -p "$arc_folder"
printf '%s\n' '{"tw_arc_active_headline": "Back again", "tw_arc_active_body": "The tent is up",
  "tw_arc_active_status": "active"}' >"$arc_folder/arc.tmp"
mv "$arc_folder/arc.tmp" "$arc_folder/CloudKeyValueStore.json"
wait_for 10 arc_card || fail "the story-arc card did not show after its folder came back"
quit_app "the story-arc folder made again"
passed=$((passed + 1))
echo "ok: the story-arc folder made again"

for kind in fifo zero loop; do
  launch "$kind" data/Tumblewick/Troupe/events.jsonl
done

# A log of one line and a 40 GB hole takes far longer to read than a quit may wait:
# SIGTERM during the load ends the app within 3 s, and this session's start and end
# are the last lines of the log.
rm -rf "$work/home" "$work/data" "$work/config"
e2e_fresh_home
mkdir -p "$(dirname "$log")"
echo '{"deviceId":"5A1C2E44-0B1D-4C39-9F51-5C8E2E3B7A10","id":"9C1F0E6A-3D7B-4E2A-8B55-1F2E3D4C5B6A","kind":"milestone_earned","payload":{"body":{"milestoneId":"m1"},"kind":"milestone_earned"},"schemaVersion":1,"ts":"2024-01-01T00:00:00Z"}' >"$log"
truncate -s 40G "$log"
start_app "$work/app-hole.log"
stop_app 3
kinds=$(tail -c 4096 "$log" | tr -d '\0' | sed -n 's/^{[^{]*"kind":"\([a-z_]*\)".*/\1/p' | tr '\n' ' ')
[ "$kinds" = "device_session_start device_session_end " ] ||
  fail "a quit during the load left the log ending with: $kinds"
passed=$((passed + 1))
echo "ok: quit during the load of a 40 GB log"

# A settings entry nested 100,000 levels deep, far past the parser's limit: the app
# starts on the file as it is, reads that entry as missing and writes it back as it was.
deep_settings_entry() {
  local what="a settings entry nested 100,000 levels deep" deep
  rm -rf "$work/home" "$work/data" "$work/config"
  e2e_fresh_home
  deep="$(printf '%100000s' '' | tr ' ' '[')$(printf '%100000s' '' | tr ' ' ']')"
  e2e_write_settings "  \"deep\": $deep,
  \"tw_troupe_dual_write_enabled\": {\"type\": \"bool\", \"value\": true}"
  start_app "$work/app-deep.log"
  wait_for 10 grep -q 'kept "deep" as written' "$work/app-deep.log" || fail "$what: the entry was not kept"
  quit_app "$what"
  compgen -G "$settings.corrupt-*" >/dev/null && fail "$what: the settings file was set aside"
  printf '"deep": %s' "$deep" >"$work/deep.pattern"  # too long for an argument
  grep -qFf "$work/deep.pattern" "$settings" || fail "$what: the entry was not written back as it was"
  grep -q '"tw_troupe_dual_write_enabled": {' "$settings" || fail "$what: the other settings were lost"
  passed=$((passed + 1))
  echo "ok: $what"
}
deep_settings_entry

echo "e2e hostile files: $passed passed, 0 failed"
