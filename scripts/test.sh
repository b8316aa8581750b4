#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer test build into build-test/
# and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELLORAN_SANITIZE=ON -DPELLORAN_WERROR=$werror
cmake --build build-test
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test --output-on-failure --timeout 600 -j2
