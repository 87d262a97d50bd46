#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under ASan and UBSan.
# The benchmarks run first, from an optimised build, so the test summary is the last word.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
tidwen_install_packages
jobs=$(tidwen_jobs)
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Paths inside the checkout are hashed relative to it, so every clone of the project (a CI run's
# fresh one, a second work tree) reuses what another one compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTIDWEN_TESTS=OFF -DTIDWEN_APP=ON >/dev/null
cmake --build build/bench -j "$jobs"
for bench in build/bench/bench/*_bench; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" --benchmark_min_time=0.2
done

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIDWEN_SANITIZE=ON \
  -DTIDWEN_BENCH=OFF >/dev/null
cmake --build build/test -j "$jobs"

export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The whole-road tests leave screenshots in build/test/artifacts; they are named below, and the
# test summary is repeated as the last word.
rm -rf build/test/artifacts
set +e
ctest --test-dir build/test --output-on-failure -j "$jobs" | tee build/test/ctest-output.txt
status=${PIPESTATUS[0]}
set -e
for shot in build/test/artifacts/*.png; do
  [ -e "$shot" ] && echo "screenshot: $shot"
done
grep -E '^[0-9]+% tests passed' build/test/ctest-output.txt || true
exit "$status"
