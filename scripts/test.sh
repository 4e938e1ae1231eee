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
threaded=$(cd tests/cpp && ls test_*threads*.cpp 2>/dev/null | sed 's/\.cpp$//' || true)
if [ -n "$threaded" ]; then
  # shellcheck disable=SC2086
  cmake --build build/tsan -j "$jobs" --target $threaded
  TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -L threads
fi

if [ -f src/python/CMakeLists.txt ]; then
  step "Python module"
  build/venv/bin/python -m pip install -q --disable-pip-version-check --no-build-isolation \
    -Cbuild-dir=build/python .
  (cd build && "$root"/build/venv/bin/python -m pytest -q "$root"/tests/python)
  if [ -f orvane_core.pyi ] || [ -f src/python/orvane_core.pyi ]; then
    (cd build && "$root"/build/venv/bin/python -m mypy.stubtest orvane_core)
  fi
fi

if [ -d tests/cabi ] && ls tests/cabi/test_*.py >/dev/null 2>&1; then
  step "C ABI tests"
  ORVANE_CORE_LIB="$root/build/release/src/ffi/liborvane_core.so" \
    build/venv/bin/python -m pytest -q tests/cabi
fi

if [ -f examples/c/CMakeLists.txt ] || [ -f examples/c/host.c ]; then
  step "C host example"
  build/release/examples/c/orvane_c_host
fi

step "All test suites passed"
