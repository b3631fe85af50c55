#!/usr/bin/env bash
# bench/cross_validated_scores.sh FOLDS_DIR MODE [IMAGES_DIR]
# Cross-validated figures of the detector itself: runs each fold model of FOLDS_DIR (written by
# `scenetext-train --fold-models`, or `./scripts/train-default.sh --cross-validate`, as
# repeatR-foldF.model with the list of its held-out photos repeatR-foldF.txt) on its held-out
# photos with `scenetext-batch --candidates MODE --scores`, so that every photo is detected once
# per repeat by a model that never saw it. Prints, averaged over the repeats:
#   - DetEval precision / recall / F of the lines at each --min-score threshold, and the lines
#     kept (per repeat), cutting the scored box lists as --min-score does;
#   - DetEval average precision of the lines, and word-level IoU (ICDAR 2015) F and AP of
#     --granularity word.
# Precision and recall are pooled over a repeat's photos and averaged over the repeats; F is that
# of the averages, as the trainer's cross-validation table gives it. IMAGES_DIR (the photos and
# their gt_<stem>.txt) defaults to ../shared/data/icdar2013-train. Runs the commands of the
# build folder $SCENETEXT_BUILD (default build/, a Release build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

[ $# -ge 2 ] && [ $# -le 3 ] || { sed -n '2,15p' "$0" >&2; exit 2; }
folds="$1"
mode="$2"
truth="${3:-$root/../shared/data/icdar2013-train}"
build="${SCENETEXT_BUILD:-$root/build}"
batch="$build/scenetext-batch"
eval="$build/scenetext-eval"
thresholds=(0 0.55 0.6 0.65 0.7 0.75 0.8 0.85 0.9 0.95)

shopt -s nullglob
models=("$folds"/repeat*-fold*.model)
[ ${#models[@]} -gt 0 ] || { echo "$0: no repeatR-foldF.model in '$folds'" >&2; exit 1; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# Every fold model detects its own held-out photos, into one folder per repeat and granularity.
for model in "${models[@]}"; do
  name="$(basename "$model" .model)"
  repeat="${name%%-*}"
  for granularity in line word; do
    mkdir -p "$scratch/$granularity/$repeat"
    "$batch" --candidates "$mode" --granularity "$granularity" --scores --jobs "$(nproc)" \
      --files-from "$folds/$name.txt" "$model" "$scratch/$granularity/$repeat/" >/dev/null
  done
done
repeats=("$scratch"/line/repeat*)

# "precision P recall R F F [AP A]" -> "P R A".
figures() { "$eval" "$@" | awk '{ print $2, $4, ($7 == "AP" ? $8 : "nan") }'; }

# Keeps the box-list lines scoring at least $2 of folder $1 in folder $3.
cut_at() {
  mkdir -p "$3"
  for list in "$1"/*.txt; do
    awk -F, -v s="$2" '$5 + 0 >= s' "$list" > "$3/$(basename "$list")"
  done
}

f_of() { awk -v p="$1" -v r="$2" 'BEGIN { printf "%.3f", (p + r > 0) ? 2 * p * r / (p + r) : 0 }'; }

echo "cross-validated, $mode candidates, ${#models[@]} fold models over ${#repeats[@]} repeats"
echo
echo "| --min-score | lines | precision / recall / F |"
echo "|---|---|---|"
for threshold in "${thresholds[@]}"; do
  sum_p=0 sum_r=0 lines=0
  for folder in "${repeats[@]}"; do
    cut="$scratch/cut/$threshold/$(basename "$folder")"
    cut_at "$folder" "$threshold" "$cut"
    read -r p r _ < <(figures "$truth" "$cut")
    sum_p=$(awk -v a="$sum_p" -v b="$p" 'BEGIN { print a + b }')
    sum_r=$(awk -v a="$sum_r" -v b="$r" 'BEGIN { print a + b }')
    lines=$((lines + $(cat "$cut"/*.txt | wc -l)))
  done
  n=${#repeats[@]}
  p=$(awk -v s="$sum_p" -v n="$n" 'BEGIN { printf "%.3f", s / n }')
  r=$(awk -v s="$sum_r" -v n="$n" 'BEGIN { printf "%.3f", s / n }')
  echo "| $threshold | $((lines / n)) | $p / $r / $(f_of "$p" "$r") |"
done
echo

# Means over the repeats of precision, recall and AP of `scenetext-eval ARGS... FOLDER`, one
# folder per repeat under $1.
averaged() {
  local base="$1"
  shift
  local rows=""
  for folder in "$base"/repeat*; do rows+="$(figures "$@" "$truth" "$folder")"$'\n'; done
  printf '%s' "$rows" | awk '{ p += $1; r += $2; a += $3; n++ }
    END { P = p / n; R = r / n; printf "%.3f %.3f %.3f %.3f\n", P, R, (P + R > 0) ? 2 * P * R / (P + R) : 0, a / n }'
}
read -r p r f ap < <(averaged "$scratch/line")
echo "lines, DetEval: precision $p recall $r F $f AP $ap"
read -r p r f ap < <(averaged "$scratch/word" --protocol iou)
echo "words, IoU:     precision $p recall $r F $f AP $ap"
