#!/bin/sh
# run.sh BUILD_DIR SOURCE_DIR [SANITIZE]: installs BUILD_DIR into a temporary prefix, builds the
# consumer project against it twice (CMake package, pkg-config), and checks that both find exactly
# the lines, scores included, that the installed command writes for the same photos.
set -eu
build=$1
source=$2
sanitize=${3:-OFF}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

flags=""
[ "$sanitize" = ON ] && flags="-fsanitize=address,undefined"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/test/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
# The pkg-config file, from the same prefix.
PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name scenetext.pc)")
export PKG_CONFIG_PATH
models=$(pkg-config --variable=modeldir scenetext)
# shellcheck disable=SC2046
c++ -std=c++17 $flags -DMODEL_DIR="\"$models\"" "$source/test/consumer/main.cpp" \
  -o "$work/detect_lines_pc" $(pkg-config --cflags --libs --static scenetext)

mkdir -p "$work/out"
found=0
for image in "$source"/docs/synth-example-*.jpg; do
  name=$(basename "$image")
  for mode in exact extended; do
    model="$work/prefix/share/scenetext/default.model"
    [ $mode = extended ] && model="$work/prefix/share/scenetext/extended.model"
    # The command's spelling of the exact mode is its default; pass only extended.
    option=""
    [ $mode = extended ] && option="--candidates extended"
    # shellcheck disable=SC2086
    "$work/prefix/bin/scenetext" --scores $option "$model" "$image" "$work/out/" >/dev/null
    "$work/consumer/detect_lines" "$image" $mode >"$work/cmake.txt"
    "$work/detect_lines_pc" "$image" $mode >"$work/pc.txt"
    if ! cmp -s "$work/cmake.txt" "$work/out/$name.txt" || ! cmp -s "$work/pc.txt" "$work/out/$name.txt"; then
      echo "consumer and command disagree on $name ($mode):" >&2
      diff "$work/out/$name.txt" "$work/cmake.txt" >&2 || true
      exit 1
    fi
    found=$((found + $(wc -l <"$work/cmake.txt")))
  done
done
# Lines must have been found, or the comparison proved nothing.
[ "$found" -gt 0 ] || { echo "no line found in any example photo" >&2; exit 1; }
echo "consumer builds agree with the command on $found lines"
