#!/usr/bin/env bash
# bench/peak_memory.sh [BUILD_DIR] [IMAGE] [MODEL]
# Peak resident memory (getrusage's ru_maxrss, as /usr/bin/time -v reports it) of one run of the
# scenetext command, by default on a 1600 x 1200 photograph, the largest size that is not reduced.
# Without a model file it uses models/default.model, else a small stump cascade written to a
# temporary folder (the cascade hardly changes the memory: the images and maps dominate).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
image="${2:-$root/../shared/data/icdar2013-train/126.jpg}"
model="${3:-$root/models/default.model}"
[ -x "$build/scenetext" ] || { echo "peak_memory: no $build/scenetext; build it first" >&2; exit 1; }
[ -f "$image" ] || { echo "peak_memory: no image $image; skipped" >&2; exit 0; }
[ -x /usr/bin/time ] || { echo "peak_memory: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ ! -f "$model" ]; then
  model="$work/bench.model"
  printf 'stage 1\n1, 40, 1, 5.0, 0.5, 0\n2, 2, -1, 0.01, 0.5, 0\n@, 0\n#\n' > "$model"
fi
if ! /usr/bin/time -v "$build/scenetext" "$model" "$image" "$work/" > /dev/null 2> "$work/time.txt"; then
  grep -v '^\s' "$work/time.txt" | grep -v '^Command' >&2 || true  # the detector's own message
  echo "peak_memory: scenetext failed on $image; no figure" >&2
  exit 1
fi
size="$(file -b "$image" 2>/dev/null | grep -oE '[0-9]+x[0-9]+' | tail -1 || true)"
kb="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")"
startup_kb="$(/usr/bin/time -f %M "$build/scenetext" --version 2>&1 >/dev/null | tail -1)"
echo "peak memory: $((kb / 1024)) MB for $(basename "$image") ($size), wall $wall;" \
     "the process alone (--version) $((startup_kb / 1024)) MB"
