#!/usr/bin/env bash
# ./scripts/regenerate-golden.sh [BUILD_DIR]: pins again the bundled models' boxes in
# testdata/golden/MODEL/PHOTO.txt, for the photos already pinned there, with BUILD_DIR/scenetext
# (default build/, built first). Run it only when a change is meant to move the boxes, and commit
# the new lists with that change, saying why they moved.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
cd "$SCENETEXT_ROOT"

build="${1:-build}"
photos="$SCENETEXT_ROOT/../shared/data/icdar2013-train"
[ -d "$photos" ] || { echo "regenerate-golden: $photos is missing" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target scenetext >&2

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
for model in default extended; do
  options=()
  [ "$model" = extended ] && options=(--candidates extended)
  for pinned in testdata/golden/"$model"/*.txt; do
    photo="$(basename "$pinned" .txt)"
    "$build/scenetext" "${options[@]}" "models/$model.model" "$photos/$photo" "$scratch/" >/dev/null
    if ! cmp -s "$scratch/$photo.txt" "$pinned"; then
      cp "$scratch/$photo.txt" "$pinned"
      echo "regenerate-golden: $pinned changed" >&2
    fi
  done
done
