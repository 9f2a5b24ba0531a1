#!/usr/bin/env bash
# The desktop budget: the real app beside the toolkit's floor (a bare translucent window
# of the strip's size repainting at the same rate) on one private X display with a
# window manager: at rest, while another window is typed into at 10 keys a second, at
# full energy (50 keys a second and three clicks a second for at least a minute), then
# at rest again for a minute. Reports frames delivered per second, CPU as a share of one
# core and resident memory for both, measured the same way in the same run, and says
# which aims are met.
#   desktop_budget.sh tumblewick bare_strip_window frame_probe [seconds per phase] [long]
# "long" (or TW_BUDGET_LONG=1) adds ten minutes at rest for the memory's flatness.
# TUMBLEWICK_TARGET_FPS sets the rate of both windows (60 unless told).
set -uo pipefail
app=${1:?usage: desktop_budget.sh tumblewick bare_strip_window frame_probe [seconds]}
floor=${2:?} probe=${3:?} seconds=${4:-30}
long=${TW_BUDGET_LONG:-0}
fps=${TUMBLEWICK_TARGET_FPS:-60}
[ "${5:-}" = long ] && long=1
source "$(dirname "$0")/../../tests/e2e/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo xmessage
e2e_start_display
e2e_fresh_home

start_app "$work/app.log"
"$floor" "$fps" 0 >/dev/null 2>&1 &
floor_pid=$!
pids+=($floor_pid)
xmessage -geometry 400x100+700+400 "typed into" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  floor_id=$(xwininfo -root -tree | awk '/"Desktop budget floor"/{print $1; exit}')
  typed_id=$(xdotool search --name '^xmessage$' 2>/dev/null | head -n 1)
  [ -n "$floor_id" ] && [ -n "$typed_id" ] && break
  sleep 0.1
done
[ -n "$floor_id" ] || fail "the floor window did not appear"
[ -n "$typed_id" ] || fail "the window to type into did not appear"
xdotool windowactivate --sync "$typed_id" 2>/dev/null || xdotool windowfocus "$typed_id"
sleep 3  # past launch: fonts, caches, the first frames

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{sub(/.*\) /, ""); print $12 + $13}' "/proc/$1/stat"; }
rss_mb() { awk '/^VmRSS:/{printf "%.1f", $2 / 1024}' "/proc/$1/status"; }

phase() {  # $1: name, $2: seconds; measures both programs over one probe run
  local app0 floor0 t0 t1 elapsed
  app0=$(cpu_ticks "$app_pid") floor0=$(cpu_ticks "$floor_pid") t0=$(date +%s%N)
  read -r app_fps floor_fps < <("$probe" "$2" "$strip_id" "$floor_id" | awk '{printf "%.2f ", $2 / $3}')
  t1=$(date +%s%N)
  kill -0 "$app_pid" 2>/dev/null || fail "the app quit during the $1 phase"
  # Without frames counted the CPU figures cover no time either: no aim can be judged.
  [ -n "${floor_fps:-}" ] || fail "the frame probe counted no frames in the $1 phase"
  elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN{print (b - a) / 1e9}')
  cpu() { awk -v d="$(($(cpu_ticks "$1") - $2))" -v t="$ticks" -v e="$elapsed" 'BEGIN{printf "%.1f", 100 * d / t / e}'; }
  app_cpu=$(cpu "$app_pid" "$app0") floor_cpu=$(cpu "$floor_pid" "$floor0")
  app_rss=$(rss_mb "$app_pid") floor_rss=$(rss_mb "$floor_pid")
  printf '%-8s %-6s %7s %7s %8s\n' "$1" app "$app_fps" "$app_cpu" "$app_rss"
  printf '%-8s %-6s %7s %7s %8s\n' "$1" floor "$floor_fps" "$floor_cpu" "$floor_rss"
}

echo "desktop budget: 1920x150 at $fps FPS, $seconds s per phase, display $DISPLAY"
printf '%-8s %-6s %7s %7s %8s\n' phase window FPS CPU% "RSS MB"
phase rest "$seconds"
rest=("$app_fps" "$app_cpu" "$app_rss" "$floor_cpu")

if [ "$long" = 1 ]; then
  # Ten minutes at rest from launch: the memory at minute one against minute ten.
  sleep $((seconds < 57 ? 57 - seconds : 0))
  minute1=$(rss_mb "$app_pid")
  phase long 540
  minute10=$(rss_mb "$app_pid")
fi

# 10 keys a second into the other window, for longer than the phase lasts (xdotool
# types one character per half of its --delay).
text=$(printf 'the fleas are waking up %.0s' $(seq $((seconds * 10 / 24 + 2))))
xdotool type --delay 200 "$text" &
typist=$!
pids+=($typist)
phase typing "$seconds"
kill "$typist" 2>/dev/null
typing=("$app_fps" "$app_cpu" "$app_rss" "$floor_cpu")

# Full energy: 50 keys and three clicks a second, for at least a minute.
full_seconds=$((seconds > 60 ? seconds : 60))
text=$(printf 'the fleas are waking up %.0s' $(seq $((full_seconds * 50 / 24 + 2))))
xdotool type --delay 40 "$text" &
typist=$!
pids+=($typist)
( while :; do xdotool mousemove 900 420 click 1 2>/dev/null; sleep 0.33; done ) &
clicker=$!
pids+=($clicker)
phase full "$full_seconds"
kill "$clicker" "$typist" 2>/dev/null
full=("$app_fps" "$app_cpu" "$app_rss" "$floor_cpu")

# A minute at rest: what the busy minute took is to be given back.
phase after 60
after=("$app_fps" "$app_cpu" "$app_rss" "$floor_cpu")

verdict() { if awk "BEGIN{exit !($2)}"; then echo "met    $1"; else echo "MISSED $1"; fi; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", (b > 0 ? a / b : 0)}'; }
echo "aims:"
verdict "CPU at rest within 2x the floor ($(ratio "${rest[1]}" "${rest[3]}")x)" "${rest[1]} <= 2 * ${rest[3]}"
verdict "CPU typing within 2.5x the floor ($(ratio "${typing[1]}" "${typing[3]}")x)" "${typing[1]} <= 2.5 * ${typing[3]}"
verdict "CPU at full energy within 4x the floor ($(ratio "${full[1]}" "${full[3]}")x)" "${full[1]} <= 4 * ${full[3]}"
low=$(awk -v f="$fps" 'BEGIN{print f - 0.05}')
verdict "$fps.0 FPS delivered (${rest[0]} rest, ${typing[0]} typing, ${full[0]} full, ${after[0]} after)" \
  "${rest[0]} >= $low && ${typing[0]} >= $low && ${full[0]} >= $low && ${after[0]} >= $low"
verdict "RSS at most 80 MB after a minute at full energy (${full[2]} MB)" "${full[2]} <= 80"
verdict "RSS given back within a minute of rest (${after[2]} MB after, ${rest[2]} MB before)" \
  "${after[2]} <= ${rest[2]} + 5"
if [ "$long" = 1 ]; then
  verdict "RSS flat within 5 MB from minute 1 to 10 at rest ($minute1 -> $minute10 MB)" \
    "$minute10 - $minute1 <= 5 && $minute1 - $minute10 <= 5"
fi
