#!/usr/bin/env bash
# The main job: builds the library and its programs (release) and plays a
# tour of the sample content with zsplay: menu clicks, actions, ambience and
# the music theme. It plays on the sound card when one opens, else on the
# null output (mixed in real time, heard nowhere); pass
# "--output wav:FILE" to keep the mix in a WAV file.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
build/release/sandbox/zsinfo build/release/content 2>/dev/null | head -n 12
exec build/release/sandbox/zsplay --content build/release/content "$@" \
  menu_click menu_back shot step bell door wind theme
