#!/usr/bin/env bash
# scripts/fuzz.sh SECONDS [TARGET...]: builds the libFuzzer targets of fuzz/ with clang, ASan and
# UBSan in build-fuzz/ and runs each target (all when none is named: model_file, box_files,
# image_header, image_run) for SECONDS, one after another, one job each.
#
# Each target starts from its seeds in fuzz/corpus/TARGET/ (read, never written; image_header
# also reads image_run's) and from what earlier runs found in build-fuzz/corpus/TARGET/ (where new
# inputs go). A crash, sanitizer report,
# leak, timeout or out-of-memory input is kept in fuzz/crashes/TARGET/; the log of every run is
# build-fuzz/logs/TARGET.log. Exits 1 when any target failed, 2 on a usage error.
#
# Environment: FUZZ_BUILD_JOBS (default: all cores) for the build; FUZZ_CXXFLAGS, extra compiler
# flags for the whole fuzz build.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
cd "$SCENETEXT_ROOT"

readonly ALL_TARGETS=(model_file box_files image_header image_run)
readonly BUILD=build-fuzz

usage() {
  echo "usage: scripts/fuzz.sh SECONDS [TARGET...]   targets: ${ALL_TARGETS[*]}" >&2
  exit 2
}

[ $# -ge 1 ] && [[ "$1" =~ ^[1-9][0-9]*$ ]] || usage
readonly SECONDS_PER_TARGET="$1"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${ALL_TARGETS[@]}")
for target in "${targets[@]}"; do
  [[ " ${ALL_TARGETS[*]} " == *" $target "* ]] || usage
done

# Longest input per target: a model line of 10 000 characters must fit; images stay small so
# that one run is fast (the image target also refuses more than 65 536 pixels).
max_len() {
  case "$1" in
    model_file) echo 16384 ;;
    box_files) echo 8192 ;;
    image_header | image_run) echo 32768 ;;
  esac
}

ensure_packages "${SCENETEXT_PACKAGES[@]}" clang
# libFuzzer and the sanitizer runtimes come with the compiler-rt package of clang's own version.
clang_major="$(clang++ -dumpversion | cut -d. -f1)"
ensure_packages "libclang-rt-${clang_major}-dev"

echo "== building the fuzz targets in $BUILD/ (clang $clang_major, ASan + UBSan)"
# The tests stay configured (not built): some folders declare dependencies on their test targets.
# The sanitizer build silences a GCC-only warning that clang does not know.
cmake -S . -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSCENETEXT_FUZZ=ON -DSCENETEXT_SANITIZE=ON -DSCENETEXT_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -Wno-unknown-warning-option ${FUZZ_CXXFLAGS:-}" \
  >/dev/null
if ! cmake --build "$BUILD" -j"${FUZZ_BUILD_JOBS:-$(nproc)}" --target "${targets[@]/%/_fuzzer}" \
  >"$BUILD/build.log" 2>&1; then
  tail -n 30 "$BUILD/build.log" >&2
  echo "fuzz build failed; the whole log is $BUILD/build.log" >&2
  exit 1
fi

# The image target caps its own sizes; OpenCV's limit (read once, when the library loads) keeps
# the formats whose header is not read to the same size. Leaks are reported, UB stops the run.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export OPENCV_IO_MAX_IMAGE_PIXELS=65536
export OPENCV_LOG_LEVEL=SILENT

mkdir -p "$BUILD/logs"
failed=()
for target in "${targets[@]}"; do
  corpus="$BUILD/corpus/$target"
  crashes="fuzz/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  seeds=("fuzz/corpus/$target")
  [ "$target" = image_header ] && seeds+=("fuzz/corpus/image_run")
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=("-dict=fuzz/$target.dict")
  log="$BUILD/logs/$target.log"
  echo "== $target: ${SECONDS_PER_TARGET}s (log: $log)"
  status=0
  "$BUILD/fuzz/${target}_fuzzer" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 \
    -rss_limit_mb=2560 -max_len="$(max_len "$target")" -print_final_stats=1 \
    -artifact_prefix="$crashes/" "${dictionary[@]}" "$corpus" "${seeds[@]}" \
    >"$log" 2>&1 || status=$?
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -n 2 || true
  if [ "$status" -ne 0 ]; then
    echo "$target FAILED (exit $status); inputs in $crashes/:" >&2
    ls "$crashes" >&2 || true
    grep -E 'ERROR: |runtime error|invariant broken|==ERROR' "$log" | head -n 5 >&2 || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found failures in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: every target ran ${SECONDS_PER_TARGET}s without a failure"
