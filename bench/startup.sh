#!/usr/bin/env bash
# bench/startup.sh [BUILD_DIR] [RUNS]
# Whole-process wall time of `scenetext MODEL PHOTO PREFIX` (exact mode, bundled model) against a
# program that does nothing but start, linked with OpenCV's core, imgproc and imgcodecs
# (scenetext-startup-yardstick), run in turn A B A B ... after a warm-up, so that both see the same
# machine; prints the median of each and the median of the pair-by-pair ratio A/B, for photos of
# 640x480, 800x600, 1600x1200 and 2048x1536 (made from the ICDAR 2013 training photos with
# scenetext-resize-photo) and for `scenetext --version`. The goal: a ratio of at most 0.5 on the
# two small sizes. Needs python3 for the clock.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-15}"
photos="$root/../shared/data/icdar2013-train"
for program in scenetext scenetext-startup-yardstick scenetext-resize-photo; do
  [ -x "$build/$program" ] || { echo "startup: no $build/$program; build it first" >&2; exit 1; }
done
[ -f "$photos/126.jpg" ] || { echo "startup: no photos in $photos; skipped" >&2; exit 0; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# 100.jpg is a 640x480 photo, 126.jpg 1600x1200, 296.jpg 2048x1536.
cp "$photos/100.jpg" "$work/640x480.jpg"
"$build/scenetext-resize-photo" "$photos/126.jpg" "$work/800x600.jpg" 800 600
cp "$photos/126.jpg" "$work/1600x1200.jpg"
cp "$photos/296.jpg" "$work/2048x1536.jpg"
mkdir "$work/out"

python3 - "$build" "$root/models/default.model" "$work" "$runs" <<'PYTHON'
import os, statistics, subprocess, sys, time

build, model, work, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
yardstick = [f"{build}/scenetext-startup-yardstick"]

def wall(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start

def compare(name, command):
    wall(command), wall(yardstick)  # warm-up: page cache, loader cache
    a, b = [], []
    for _ in range(runs):
        a.append(wall(command))
        b.append(wall(yardstick))
    ratios = [x / y for x, y in zip(a, b)]
    print(f"{name:>22}  {statistics.median(a) * 1000:7.1f} ms  {statistics.median(b) * 1000:7.1f} ms"
          f"  {statistics.median(ratios):6.2f}  ({min(ratios):.2f}..{max(ratios):.2f})")

print(f"{'':>22}  {'scenetext':>10}  {'yardstick':>10}  ratio (min..max), median of {runs} pairs")
for size in ["640x480", "800x600", "1600x1200", "2048x1536"]:
    compare(size, [f"{build}/scenetext", model, f"{work}/{size}.jpg", f"{work}/out/"])
compare("--version", [f"{build}/scenetext", "--version"])
PYTHON
