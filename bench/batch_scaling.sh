#!/usr/bin/env bash
# bench/batch_scaling.sh [BUILD_DIR] [IMAGE_DIR] [MODEL] [COUNT]
# Throughput of scenetext-batch on one core (--jobs 1, pinned to CPU 0) and on two cores
# (--jobs 2, pinned to CPUs 0 and 1), over the first COUNT (default 60) images of IMAGE_DIR (by
# default the ICDAR photographs). Prints images per second for both, their ratio, and CPU time
# per image. On a machine shared with other work the ratio is only as good as the idle cores.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
images="${2:-$root/../shared/data/icdar2013-train}"
model="${3:-$root/models/default.model}"
count="${4:-60}"
[ -x "$build/scenetext-batch" ] || { echo "batch_scaling: no $build/scenetext-batch" >&2; exit 1; }
[ -d "$images" ] || { echo "batch_scaling: no image folder $images; skipped" >&2; exit 0; }
images="$(cd "$images" && pwd)"  # the links below must not depend on the working directory
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ ! -f "$model" ]; then
  model="$work/bench.model"
  printf 'stage 1\n1, 40, 1, 5.0, 0.5, 0\n2, 2, -1, 0.01, 0.5, 0\n@, 0\n#\n' > "$model"
fi
mkdir -p "$work/in"
find "$images" -maxdepth 1 -name '*.jpg' | sort | head -n "$count" | while read -r f; do
  ln -s "$f" "$work/in/"
done
n="$(find "$work/in" -name '*.jpg' | wc -l)"
[ "$n" -gt 0 ] || { echo "batch_scaling: no .jpg image in $images" >&2; exit 1; }

run() {  # CPUS JOBS -> "seconds cpu_seconds"
  rm -rf "$work/out" && mkdir "$work/out"
  local start end
  start="$(date +%s.%N)"
  if ! /usr/bin/time -f '%U %S' -o "$work/cpu.txt" taskset -c "$1" \
    "$build/scenetext-batch" "$model" "$work/in" "$work/out/" --jobs "$2" > /dev/null; then
    echo "batch_scaling: scenetext-batch failed on some image; no figures" >&2
    return 1
  fi
  end="$(date +%s.%N)"
  awk -v s="$start" -v e="$end" '{printf "%.3f %.3f\n", e - s, $1 + $2}' "$work/cpu.txt"
}

run 0 1 > "$work/one.txt"
run 0,1 2 > "$work/two.txt"
read -r one one_cpu < "$work/one.txt"
read -r two two_cpu < "$work/two.txt"
awk -v n="$n" -v a="$one" -v b="$two" -v ca="$one_cpu" -v cb="$two_cpu" 'BEGIN {
  printf "scenetext-batch, %d images: 1 core %.2f img/s (%.1f s, %.1f ms cpu/img), " \
         "2 cores %.2f img/s (%.1f s, %.1f ms cpu/img), speed-up %.2fx\n",
         n, n / a, a, 1000 * ca / n, n / b, b, 1000 * cb / n, a / b }'
