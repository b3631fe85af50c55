#!/usr/bin/env bash
# ./scripts/run.sh [--model FILE] IMAGE [PREFIX]
# Installs what is missing, builds if needed, and detects the text of IMAGE with the bundled
# model, writing PREFIX<image name> and PREFIX<image name>.txt (PREFIX defaults to results/).
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

usage() {
  echo "usage: $0 [--model FILE] IMAGE [PREFIX]" >&2
  exit 2
}

default_model="$SCENETEXT_ROOT/models/default.model"
model="$default_model"
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --model) [ $# -ge 2 ] || usage; model="$2"; shift 2 ;;
    --model=*) model="${1#--model=}"; shift ;;
    -h|--help) sed -n '2,4p' "$0"; exit 0 ;;
    *) args+=("$1"); shift ;;
  esac
done
[ ${#args[@]} -ge 1 ] && [ ${#args[@]} -le 2 ] || usage
image="${args[0]}"
prefix="${args[1]:-results/}"

if [ "$model" = "$default_model" ] && [ ! -f "$model" ]; then
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
exec "$SCENETEXT_ROOT/build/scenetext" "$model" "$image" "$prefix"
