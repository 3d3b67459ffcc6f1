#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite,
# then builds and runs it again under AddressSanitizer and
# UndefinedBehaviorSanitizer in a second build folder (VANDREX_SANITIZERS=0
# skips that). With CI=true, compiler warnings are errors.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
build=${VANDREX_BUILD:-$here/build}
werror=OFF
if [ "${CI:-}" = true ]; then werror=ON; fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDREX_TESTS=ON -DVANDREX_BENCH=ON \
  -DVANDREX_WERROR=$werror
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

if [ "${VANDREX_SANITIZERS:-1}" != 0 ]; then
  sanitized=${VANDREX_SANITIZE_BUILD:-$build-sanitize}
  cmake -S "$here" -B "$sanitized" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDREX_TESTS=ON \
    -DVANDREX_BENCH=OFF -DVANDREX_SANITIZE=ON -DVANDREX_WERROR=$werror
  # The build lists each test program's tests by running it.
  LSAN_OPTIONS=suppressions=$here/cmake/lsan-suppressions.txt cmake --build "$sanitized"
  ctest --test-dir "$sanitized" --output-on-failure -j "$(nproc)"
fi
