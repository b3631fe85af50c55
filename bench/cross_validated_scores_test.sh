#!/bin/sh
# cross_validated_scores.sh on two stand-in fold models (the bundled extended model) over four
# photos: its unthresholded row and AP must be what scenetext-eval says of one batch over the
# same photos, and raising --min-score must never keep more lines.
# Usage: cross_validated_scores_test.sh BUILD_DIR SOURCE_DIR
set -eu
build="$1"
source="$2"
data="$source/../shared/data/icdar2013-train"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/data" "$scratch/folds" "$scratch/all"
for stem in 100 101 103 104; do
  cp "$data/$stem.jpg" "$data/gt_$stem.txt" "$scratch/data/"
done
for fold in 1 2; do cp "$source/models/extended.model" "$scratch/folds/repeat1-fold$fold.model"; done
printf '%s\n' "$scratch/data/100.jpg" "$scratch/data/101.jpg" > "$scratch/folds/repeat1-fold1.txt"
printf '%s\n' "$scratch/data/103.jpg" "$scratch/data/104.jpg" > "$scratch/folds/repeat1-fold2.txt"

SCENETEXT_BUILD="$build" "$source/bench/cross_validated_scores.sh" "$scratch/folds" extended \
  "$scratch/data" > "$scratch/table.txt"
"$build/scenetext-batch" --candidates extended --scores "$source/models/extended.model" \
  "$scratch/data" "$scratch/all/" > /dev/null
set -- $("$build/scenetext-eval" "$scratch/data" "$scratch/all")
expected_row="| 0 | $(cat "$scratch"/all/*.txt | wc -l) | $(printf '%.3f' "$2") / $(printf '%.3f' "$4") / $(printf '%.3f' "$6") |"
expected_ap="AP $(printf '%.3f' "$8")"

fail() { echo "cross_validated_scores_test: $1" >&2; cat "$scratch/table.txt" >&2; exit 1; }
grep -qxF "$expected_row" "$scratch/table.txt" || fail "no row '$expected_row'"
grep "^lines, DetEval:" "$scratch/table.txt" | grep -q "$expected_ap\$" || fail "no '$expected_ap'"
grep -q "^words, IoU: .* F 0\.[0-9]* AP 0\.[0-9]*$" "$scratch/table.txt" || fail "no word row"
awk -F'|' '/^\| [0-9]/ { n = $3 + 0; if (seen && n > last) exit 1; last = n; seen = 1 }' \
  "$scratch/table.txt" || fail "a higher --min-score kept more lines"
echo "cross_validated_scores_test: passed"
