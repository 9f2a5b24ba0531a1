#!/bin/sh
# The follow benchmark's lines from the load, on the store of a build before and on this
# tree's, one after the other in one run: the same benchmark sources are built against both.
#   against_build_before.sh <tree of the build before> [this tree's build folder]
# e.g. git worktree add /tmp/before <commit>; against_build_before.sh /tmp/before build/test
# The build before is made in its tree's build/bench.
# TW_BENCH_FILTER picks other rows (by default the first lines after a load of 1e6 lines).
set -eu
before=${1:?usage: $0 <tree of the build before> [build folder]}
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${2:-build/bench}
filter=${TW_BENCH_FILTER:-'StampedLinesFromTheLoadLong/offset_s:0/|FollowFromTheLoadLong/idle_s:0/lines:10/'}
cp "$here"/bench/troupe_store_bench/*.cpp "$here"/bench/troupe_store_bench/*.h "$before"/bench/troupe_store_bench/
for place in "$before/build/bench" "$here/$build"; do
  [ -f "$place/build.ninja" ] ||
    cmake -S "$(dirname "$(dirname "$place")")" -B "$place" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$place" -j 3 --target troupe_store_bench >/dev/null
done
for place in "$before/build/bench" "$here/$build"; do
  tree=$(dirname "$(dirname "$place")")
  echo "== $(git -C "$tree" log -1 --format='%h %s' | cut -c1-72)"
  "$place/bench/troupe_store_bench/troupe_store_bench" --benchmark_filter="$filter" 2>/dev/null | grep '^BM_'
done
