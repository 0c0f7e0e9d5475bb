#!/usr/bin/env bash
# Renders the demo session with the Windows build under Wine and with the
# Linux build, and compares the two files with zsmeter: every 4 s window
# within 1 dB (exit status 1 otherwise) and the integrated loudness within
# 0.5 LU. The OpenAL Soft versions differ (Debian's on Linux, the pinned
# source build on Windows), so the files are not identical.
#
#   scripts/compare-windows-render.sh [WINDOWS_BUILD] [LINUX_BUILD]
#
# Prints both renderings' speed against real time on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
windows=${1:-build/windows-x86}
linux=${2:-build/release}
work=$(mktemp -d /tmp/zswindows.XXXXXX)
export WINEPREFIX=${WINEPREFIX:-$PWD/$windows/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

(cd "$windows" && wine zsdemo.exe --no-progress --save-dir "Z:$work" --render "Z:$work/windows.wav") \
  > "$work/windows.log" 2>&1
"$linux/sandbox/zsdemo" --no-progress --content "$linux/content" --save-dir "$work" --render "$work/linux.wav" \
  > "$work/linux.log" 2>&1
echo "files in $work"
grep -h "x real time" "$work/windows.log" | sed 's/^/windows: /'
grep -h "x real time" "$work/linux.log" | sed 's/^/linux:   /'
integrated() { grep -h "loudness of the session" "$1" | sed -E 's/.*integrated (-?[0-9.]+) LUFS.*/\1/'; }
wi=$(integrated "$work/windows.log")
li=$(integrated "$work/linux.log")
echo "integrated loudness: windows $wi LUFS, linux $li LUFS"
awk -v a="$wi" -v b="$li" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= 0.5) }' \
  || { echo "integrated loudness differs by more than 0.5 LU"; exit 1; }
"$linux/sandbox/zsmeter" --limit 1 "$work/windows.wav" "$work/linux.wav"
