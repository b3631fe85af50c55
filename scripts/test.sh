#!/usr/bin/env bash
# Installs what the build needs, checks the formatting, then three stages; exits non-zero on any
# failure.
#  0. format: every C++ file as clang-format (.clang-format) writes it.
#  1. release: builds everything and runs every test.
#  2. sanitizer: builds the library's tests and the commands they run with AddressSanitizer and
#     UndefinedBehaviorSanitizer (unoptimised: it compiles in a third of the time) and runs them.
#  3. plain: builds the equivalence tests and the digest tool with -DSCENETEXT_SIMD=OFF (no vector
#     code) and checks that they pass and that every digest equals the release build's.
# ccache, when installed, speeds up the builds after the first one.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
cd "$SCENETEXT_ROOT"

ensure_packages "${SCENETEXT_PACKAGES[@]}"

echo "== formatting (clang-format)"
mapfile -t sources < <(git ls-files '*.cpp' '*.hpp' '*.h' 2>/dev/null ||
  find src include test tools bench fuzz python -name '*.cpp' -o -name '*.hpp' -o -name '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "test.sh: the files above differ from clang-format's layout; run" \
    "clang-format -i \$(git ls-files '*.cpp' '*.hpp' '*.h')" >&2
  exit 1
fi
echo "${#sources[@]} files formatted as clang-format writes them"

echo "== release build and every test"
build_project build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== sanitizer build (ASan + UBSan) and the library's tests"
build_project build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSCENETEXT_SANITIZE=ON \
  -DSCENETEXT_BUILD_BENCH=OFF -- tests-unit tests-cli tests-equivalence tests-fuzz
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)" -L '^(unit|cli|equivalence|fuzz)$'

echo "== plain build (-DSCENETEXT_SIMD=OFF): equivalence tests and digests equal to the release build's"
build_project build-plain -DCMAKE_BUILD_TYPE=Release -DSCENETEXT_SIMD=OFF -- tests-equivalence \
  scenetext-digest
ctest --test-dir build-plain --output-on-failure -j"$(nproc)" -L '^equivalence$'
digests="$(mktemp -d)"
trap 'rm -rf "$digests"' EXIT
build/scenetext-digest "$digests/release"
# The random cascades are made by the first run; the second judges with the very same ones.
mkdir -p "$digests/plain"
cp "$digests"/release/cascade_*.model "$digests/plain/"
build-plain/scenetext-digest "$digests/plain"
for file in digests.txt features.bin; do
  cmp "$digests/release/$file" "$digests/plain/$file" ||
    { echo "test.sh: the plain build's $file differs from the release build's" >&2; exit 1; }
done
echo; echo "plain build: every digest equals the release build's"
