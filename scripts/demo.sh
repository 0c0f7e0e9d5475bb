#!/usr/bin/env bash
# The main job: builds the library and its programs (release) and runs the
# sandbox on the sample content.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec build/release/sandbox/zsinfo data "$@"
