#!/usr/bin/env bash
# Installs what the build needs, builds, and runs every test; then builds the tests again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them once more. Exits non-zero on any
# failure.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
cd "$SCENETEXT_ROOT"

ensure_packages "${SCENETEXT_PACKAGES[@]}"

echo "== release build and tests"
build_project build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== sanitizer build (ASan + UBSan) and tests"
build_project build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCENETEXT_SANITIZE=ON \
  -DSCENETEXT_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)"
