#!/usr/bin/env bash
# The desktop budget: the real app beside the toolkit's floor (a bare translucent window
# of the strip's size repainting at the same rate) on one private X display with a
# window manager, first at rest, then while another window is typed into at 10 keys a
# second. Reports frames delivered per second, CPU as a share of one core and resident
# memory for both, measured the same way in the same run. Aims: at rest the app's CPU
# within 3x the floor's and under 8% of a core; RSS under 80 MB; 60 frames a second.
#   desktop_budget.sh tumblewick bare_strip_window frame_probe [seconds per phase]
set -uo pipefail
app=${1:?usage: desktop_budget.sh tumblewick bare_strip_window frame_probe [seconds]}
floor=${2:?} probe=${3:?} seconds=${4:-30}
source "$(dirname "$0")/../../tests/e2e/e2e_lib.sh"
e2e_require Xvfb openbox xdotool xwininfo xmessage
e2e_start_display
e2e_fresh_home

start_app "$work/app.log"
"$floor" 60 0 >/dev/null 2>&1 &
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

phase() {  # $1: name; measures both programs over one probe run
  local app0 floor0 t0 t1 elapsed
  app0=$(cpu_ticks "$app_pid") floor0=$(cpu_ticks "$floor_pid") t0=$(date +%s%N)
  read -r app_fps floor_fps < <("$probe" "$seconds" "$strip_id" "$floor_id" | awk '{printf "%s ", $4}')
  t1=$(date +%s%N)
  kill -0 "$app_pid" 2>/dev/null || fail "the app quit during the $1 phase"
  elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN{print (b - a) / 1e9}')
  cpu() { awk -v d="$(($(cpu_ticks "$1") - $2))" -v t="$ticks" -v e="$elapsed" 'BEGIN{printf "%.1f", 100 * d / t / e}'; }
  app_cpu=$(cpu "$app_pid" "$app0") floor_cpu=$(cpu "$floor_pid" "$floor0")
  app_rss=$(rss_mb "$app_pid") floor_rss=$(rss_mb "$floor_pid")
  printf '%-8s %-6s %7s %7s %8s\n' "$1" app "$app_fps" "$app_cpu" "$app_rss"
  printf '%-8s %-6s %7s %7s %8s\n' "$1" floor "$floor_fps" "$floor_cpu" "$floor_rss"
}

echo "desktop budget: 1920x150 at 60 FPS, $seconds s per phase, display $DISPLAY"
printf '%-8s %-6s %7s %7s %8s\n' phase window FPS CPU% "RSS MB"
phase rest
rest=("$app_fps" "$app_cpu" "$app_rss" "$floor_cpu")

# 10 keys a second into the other window, for longer than the phase lasts (xdotool
# types one character per half of its --delay).
text=$(printf 'the fleas are waking up %.0s' $(seq $((seconds * 10 / 24 + 2))))
xdotool type --delay 200 "$text" &
typist=$!
pids+=($typist)
phase typing
kill "$typist" 2>/dev/null

verdict() { if awk "BEGIN{exit !($2)}"; then echo "met   $1"; else echo "MISSED $1"; fi; }
echo "aims:"
verdict "CPU at rest within 3x the floor (${rest[1]}% vs ${rest[3]}%)" "${rest[1]} <= 3 * ${rest[3]}"
verdict "CPU at rest under 8% of a core (${rest[1]}%)" "${rest[1]} < 8"
verdict "RSS under 80 MB (${rest[2]} MB at rest, $app_rss MB typing)" "${rest[2]} < 80 && $app_rss < 80"
verdict "60 FPS held (${rest[0]} at rest, $app_fps typing)" "${rest[0]} >= 59 && $app_fps >= 59"
