#!/usr/bin/env bash
# ./scripts/synth-material.sh [DATA_DIR]
# Installs the Debian packages that provide the material of scenetext-synth: the background
# photographs named in DATA_DIR/backgrounds.tsv, the font packages of DATA_DIR/font-packages.txt
# and the word list (wamerican, /usr/share/dict/words). Installs only what is missing, so it can
# run before every training; then checks that every listed background and font file exists.
# DATA_DIR defaults to $SCENETEXT_DATA, else ../shared/data beside the repository.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

case "${1:-}" in
  -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
esac
[ $# -le 1 ] || { echo "usage: $0 [DATA_DIR]" >&2; exit 2; }
data="${1:-${SCENETEXT_DATA:-$SCENETEXT_ROOT/../shared/data}}"

for file in backgrounds.tsv font-packages.txt fonts.txt; do
  if [ ! -r "$data/$file" ]; then
    echo "synth-material: cannot read $data/$file" >&2
    exit 1
  fi
done

# Column 2 of backgrounds.tsv names the package of each photograph; line 1 is the header.
mapfile -t packages < <(
  { cut -f2 "$data/backgrounds.tsv" | tail -n +2; grep -v '^\s*\(#\|$\)' "$data/font-packages.txt"; \
    echo wamerican; } | tr -d '\r' | sort -u)
ensure_packages "${packages[@]}"

# The lists name files, not packages: a package that stopped shipping one shows up here.
missing=0
while IFS= read -r path; do
  [ -n "$path" ] || continue
  if [ ! -r "$path" ]; then
    echo "synth-material: missing $path" >&2
    missing=$((missing + 1))
  fi
done < <({ cut -f1 "$data/backgrounds.tsv" | tail -n +2; cat "$data/fonts.txt"; \
           echo /usr/share/dict/words; } | tr -d '\r')
if [ "$missing" -gt 0 ]; then
  echo "synth-material: $missing listed files are missing" >&2
  exit 1
fi
echo "synth-material: backgrounds, fonts and words are in place" >&2
