#!/usr/bin/env bash
# Builds and runs every test: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, the
# install-and-consume check (with the example game) and the reference on a
# plain release build, each fuzz target for a bounded time, and the Windows
# build (MinGW-w64, 32-bit) with its tests under Wine and its rendering of
# the demo session compared with the Linux one.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh

jobs=$(nproc)
step() { printf '\n==== %s\n' "$*"; }

step "AddressSanitizer + UndefinedBehaviorSanitizer: every test"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

step "ThreadSanitizer: threaded tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"

step "Release: install into a temporary prefix, build the consumers and the example game against it; layering; the reference"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --test-dir build/release -R '^(install_and_consume|layering|readme_example)$' --output-on-failure
cmake --build --preset release --target reference

step "Fuzzing (libFuzzer, clang, ASan + UBSan), bounded time"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
./scripts/fuzz.sh build/fuzz

step "Windows (MinGW-w64, i686) under Wine: every test, the install tree and the example game; the demo rendered and compared with Linux"
./scripts/windows.sh --test windows-x86
./scripts/compare-windows-render.sh build/windows-x86 build/release
