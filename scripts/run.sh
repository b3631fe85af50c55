#!/usr/bin/env bash
# ./scripts/run.sh [--candidates exact|extended] [--model FILE] IMAGE [PREFIX]
# Installs what is missing, builds if needed, and detects the text of IMAGE, writing
# PREFIX<image name> and PREFIX<image name>.txt (PREFIX defaults to results/). The extended
# candidates with models/extended.model by default, since they find more text; the exact
# candidates (the option's first value) run the exact detector with models/default.model. A --model without --candidates runs in the
# mode the model's first line names (extended when it names none).
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

usage() {
  echo "usage: $0 [--candidates exact|extended] [--model FILE] IMAGE [PREFIX]" >&2
  exit 2
}

model=""
candidates=""
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --model) [ $# -ge 2 ] || usage; model="$2"; shift 2 ;;
    --model=*) model="${1#--model=}"; shift ;;
    --candidates) [ $# -ge 2 ] || usage; candidates="$2"; shift 2 ;;
    --candidates=*) candidates="${1#--candidates=}"; shift ;;
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    -*) usage ;;
    *) args+=("$1"); shift ;;
  esac
done
[ ${#args[@]} -ge 1 ] && [ ${#args[@]} -le 2 ] || usage
image="${args[0]}"
prefix="${args[1]:-results/}"

if [ -z "$candidates" ] && [ -n "$model" ] && [ -r "$model" ]; then
  candidates="$(head -n 1 "$model" | sed -n 's/.*candidates: \([a-z]*\).*/\1/p')"
  case "$candidates" in exact | extended) ;; *) candidates="" ;; esac
fi
case "${candidates:-extended}" in
  exact) candidates=exact; bundled="$SCENETEXT_ROOT/models/default.model" ;;
  extended) candidates=extended; bundled="$SCENETEXT_ROOT/models/extended.model" ;;
  *) usage ;;
esac
if [ -z "$model" ] && [ ! -f "$bundled" ]; then
  model="$bundled"
  echo "scenetext: the bundled model $model is missing." >&2
  echo "Pass a model of your own: $0 --model FILE IMAGE [PREFIX]" >&2
  exit 1
fi

ensure_packages "${SCENETEXT_PACKAGES[@]}"
if [ ! -x "$SCENETEXT_ROOT/build/scenetext" ] || [ -n "$(find "$SCENETEXT_ROOT/src" \
    "$SCENETEXT_ROOT/CMakeLists.txt" -newer "$SCENETEXT_ROOT/build/scenetext" -print -quit)" ]; then
  cmake -S "$SCENETEXT_ROOT" -B "$SCENETEXT_ROOT/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$SCENETEXT_ROOT/build" -j"$(nproc)" --target scenetext >&2
fi

case "$prefix" in
  */) mkdir -p "$prefix" ;;
  */*) mkdir -p "$(dirname "$prefix")" ;;
esac
exec "$SCENETEXT_ROOT/build/scenetext" --candidates "$candidates" "${model:-$bundled}" "$image" "$prefix"
