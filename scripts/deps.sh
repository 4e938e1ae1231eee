#!/usr/bin/env bash
# Installs what building and testing need: Debian packages (compiler tools,
# KissFFT, GoogleTest, Google Benchmark, clang for the fuzzer) and a Python
# virtual environment in build/venv with the test tools.
# Usage: scripts/deps.sh [--python-only-runtime]
set -euo pipefail
cd "$(dirname "$0")/.."

debs=(g++ cmake ninja-build libkissfft-dev libgtest-dev libbenchmark-dev python3-dev python3-venv)
[ "${1:-}" = "--python-only-runtime" ] || debs+=(clang libclang-rt-14-dev)
missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The machine's own Python and cmake may come from elsewhere than Debian;
# only ask apt for what is missing.
if [ ${#missing[@]} -gt 0 ]; then
  command -v python3 >/dev/null && python3 -c 'import venv' 2>/dev/null &&
    missing=("${missing[@]/python3-venv}")
  echo "deps: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  # shellcheck disable=SC2068
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq ${missing[@]} >/dev/null
fi

if [ ! -x build/venv/bin/python ]; then
  mkdir -p build
  python3 -m venv build/venv
fi
build/venv/bin/python -m pip install -q --disable-pip-version-check --upgrade pip >/dev/null
build/venv/bin/python -m pip install -q --disable-pip-version-check \
  -r scripts/requirements-test.txt
