#!/usr/bin/env bash
# ./scripts/train-default.sh [--candidates exact|extended] [--cross-validate] [WORK_DIR]
# Reproduces a bundled model: models/default.model for the exact candidates (the default),
# models/extended.model for --candidates extended. Builds scenetext-synth and scenetext-train,
# installs the synthetic-data material, draws the synthetic images with fixed seeds into WORK_DIR
# (default ../train-work beside the repository, never inside it) and trains on the ICDAR 2013
# training photos, the synthetic images and the text-free background photos. --cross-validate
# first prints the 5-fold x 3 cross-validation of the same settings on the real photos and keeps
# each fold's model and list of held-out photos in WORK_DIR/folds-MODE (for
# bench/cross_validated_scores.sh). The sample cache of each mode in WORK_DIR makes later runs
# take seconds. SCENETEXT_DATA names another data folder.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

usage() {
  echo "usage: $0 [--candidates exact|extended] [--cross-validate] [WORK_DIR]" >&2
  exit 2
}

cross_validate=0
candidates=exact
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --cross-validate) cross_validate=1; shift ;;
    --candidates)
      [ $# -ge 2 ] || usage
      candidates="$2"; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    -*) usage ;;
    *) args+=("$1"); shift ;;
  esac
done
[ ${#args[@]} -le 1 ] || usage
case "$candidates" in
  exact) model_name=default; cache_name=samples.cache; stages=7 ;;
  extended) model_name=extended; cache_name=samples-extended.cache; stages=12 ;;
  *) usage ;;
esac

data="${SCENETEXT_DATA:-$SCENETEXT_ROOT/../shared/data}"
work="${args[0]:-$SCENETEXT_ROOT/../train-work}"
build="$SCENETEXT_ROOT/build"
model="$SCENETEXT_ROOT/models/$model_name.model"

# The recipe (docs/training.md says how it was chosen). Synthetic images come in runs of 500 per
# seed. Seed 3 is left out: scenetext-synth stopped on it when the model was made (a font that
# could not draw a word; it now drops such a word), and the other seeds draw the same images.
synth_seeds=(1 2 4 5 6 7 8)
synth_count=500
# Stages: the exact candidates' cross-validated F peaks at 7; the extended ones give many more
# negatives, and their F still rises to 12, where fewer than 100 negatives are left.
settings=(--seed 1 --stages "$stages" --min-hit-rate 0.995 --max-false-positive-rate 0.5
          --max-stumps 100 --min-negatives 100)
# This wallpaper shows a small label on a boat: not text-free, so neither a background for
# synthetic text nor a source of negatives.
not_text_free='EveningGlow/contents/images/1920x1080.jpg'

mkdir -p "$work"
work="$(cd "$work" && pwd)"
case "$work/" in
  "$SCENETEXT_ROOT"/*) echo "train-default: WORK_DIR must lie outside the repository" >&2; exit 2 ;;
esac

ensure_packages "${SCENETEXT_PACKAGES[@]}"
cmake -S "$SCENETEXT_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target scenetext-synth scenetext-train
"$SCENETEXT_ROOT/scripts/synth-material.sh" "$data"

grep -v -F "$not_text_free" "$data/backgrounds.tsv" > "$work/text-free.tsv"

extra=()
for seed in "${synth_seeds[@]}"; do
  folder="$work/synth-$seed"
  stamp="count $synth_count seed $seed"
  if [ "$(cat "$folder/.complete" 2>/dev/null)" != "$stamp" ]; then
    echo "train-default: drawing $synth_count synthetic images with seed $seed" >&2
    rm -rf "$folder"
    "$build/scenetext-synth" --backgrounds "$work/text-free.tsv" --fonts "$data/fonts.txt" \
      --words /usr/share/dict/words --count "$synth_count" --seed "$seed" --jobs "$(nproc)" "$folder"
    echo "$stamp" > "$folder/.complete"
  fi
  extra+=(--extra-images "$folder")
done

inputs=(--images "$data/icdar2013-train" "${extra[@]}" --negatives "$work/text-free.tsv"
        --candidates "$candidates" --cache "$work/$cache_name" --jobs "$(nproc)")
if [ "$cross_validate" -eq 1 ]; then
  mkdir -p "$work/folds-$candidates"
  "$build/scenetext-train" "${inputs[@]}" "${settings[@]}" --folds 5 --repeats 3 \
    --fold-models "$work/folds-$candidates"
fi
"$build/scenetext-train" "${inputs[@]}" "${settings[@]}" "$model"
