#!/usr/bin/env bash
# Installs what the tests need, then runs every test suite:
#   C++ tests (release build), the same under AddressSanitizer and
#   UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer,
#   the Python module tests and stub check, the C ABI tests and the C example.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/deps.sh

step() { printf '\n==== %s\n' "$*"; }

configure() {  # configure <dir> <cmake args...>
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

step "C++ tests (release)"
configure build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

step "C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
configure build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZE=address,undefined \
  -DORVANE_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

step "Threaded C++ tests under ThreadSanitizer"
configure build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZE=thread -DORVANE_BENCH=OFF
# Only the threaded tests are built here: the rest run under ASan above.
threaded=$(cd tests/cpp && ls test_*threads*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build build/tsan -j "$jobs" --target $threaded
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -L threads

step "Python module: tests and stub check"
build/venv/bin/python -m pip install -q --disable-pip-version-check --no-build-isolation \
  -Cbuild-dir=build/python .
# From build/, so that the installed module is imported, not the source tree.
(cd build && "$root"/build/venv/bin/python -m pytest -q "$root"/tests/python)
(cd build && "$root"/build/venv/bin/python -m mypy.stubtest orvane_core)

step "C ABI tests"
ORVANE_CORE_LIB="$root/build/release/src/ffi/liborvane_core.so" \
  build/venv/bin/python -m pytest -q tests/cabi

step "C host example"
build/release/examples/c/orvane_c_host

step "All test suites passed"
