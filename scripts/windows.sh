#!/usr/bin/env bash
# Builds the Windows library, its programs and its tests from this machine
# (MinGW-w64), and with --test runs the tests under Wine.
#
#   scripts/windows.sh [--test] [windows-x86|windows-x64]
#
# The libraries it needs are built from source the first time (minutes):
# from ../shared/third_party when that folder is there, else cloned from
# upstream at their pinned commits (ZULSOUND_THIRD_PARTY_DIR overrides).
set -euo pipefail
cd "$(dirname "$0")/.."
test_too=0
preset=windows-x86
for arg in "$@"; do
  case "$arg" in
    --test) test_too=1 ;;
    windows-x86|windows-x64) preset=$arg ;;
    *) echo "usage: scripts/windows.sh [--test] [windows-x86|windows-x64]" >&2; exit 2 ;;
  esac
done
./scripts/deps.sh
./scripts/windows-deps.sh

sources=${ZULSOUND_THIRD_PARTY_DIR:-}
if [ -z "$sources" ] && [ -d ../shared/third_party ]; then sources=$(cd ../shared/third_party && pwd); fi
cmake --preset "$preset" -DZULSOUND_THIRD_PARTY_DIR="$sources" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
[ "$test_too" = 1 ] || exit 0

# Wine, headless, in a prefix of the build's own; one persistent server so
# that each test process does not wait for a new one.
export WINEPREFIX="$PWD/build/$preset/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
wineserver -p 2>/dev/null || true  # one may already serve this prefix
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
wine cmd /c echo >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
ctest --preset "$preset" -j "$(nproc)"
