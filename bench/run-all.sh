#!/usr/bin/env bash
# Builds the benchmarks in Release and runs the comparisons that hold the speed targets, each
# beside its peer in the same run; prints one line per comparison (medians of paired runs, wall
# and processor time, the load average), the manifest load's growth from 10,000 to 50,000
# components, then the fdatasync count of an update run of 20 and of 200 components.
#
#   bench/run-all.sh [BUILD_DIR]          (default build/release)
#
# For the figures of record run it on a quiet machine (load average under 0.5), as root in a
# network namespace of its own, so that the reports' listener may bind port 80 and no other
# server shares the loopback ports, e.g. `unshare -n sh -c 'ip link set lo up && bench/run-all.sh'`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVCM_BUILD_BENCH=ON \
  -DVCM_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" -j "$(nproc)" > /dev/null
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
summary() { grep -E ' beside |^(BareTinyXmlParse|LoadManifest)/' || true; }
"$build/bin/bench_manifest_load" 2>/dev/null | summary
"$build/bin/bench_registry_accessors" --benchmark_filter='BM_' 2>/dev/null | summary
"$build/bin/bench_verify_extract" 2>/dev/null | summary
"$build/bin/bench_find_process" 2>/dev/null | summary
"$build/bin/bench_sessions" 2>/dev/null | summary
for count in 20 200; do
  bench/fdatasync-count.sh "$build" "$count"
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
