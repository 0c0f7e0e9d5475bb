#!/usr/bin/env bash
# The main job: builds the library and its programs (release), checks the
# sample content with zscheck and plays the scripted game session of
# data/Sessions/demo.session with zsdemo: live on the sound card, or, when
# there is none, rendered to build/release/demo.wav (with pictures in
# build/release/demo/). Extra arguments go to zsdemo (see README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset release >/dev/null
# Only what the demo needs: the library, zscheck, zsdemo and the content.
cmake --build --preset release -j "$(nproc)" --target zsdemo zscheck zulsound-content
build/release/sandbox/zscheck build/release/content | tail -n 1
exec build/release/sandbox/zsdemo --content build/release/content \
  --or-render build/release/demo.wav --pictures build/release/demo "$@"
