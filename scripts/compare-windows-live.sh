#!/usr/bin/env bash
# Plays a zsdemo session live with the Windows build under Wine (WASAPI, on
# Wine's PulseAudio driver, into a PulseAudio null sink of this script's own)
# and renders it, then compares the recording of the sink's monitor with the
# rendering window by window with zsmeter (exit status 1 when a window
# differs by more than 1.5 dB). Nothing is heard.
#
#   scripts/compare-windows-live.sh [SCRIPT] [WINDOWS_BUILD] [LINUX_BUILD]
#
# zsmeter comes from the Linux build. The files stay in the printed directory.
set -euo pipefail
cd "$(dirname "$0")/.."
script=$(cd "$(dirname "${1:-tests/demo/live.session}")" && pwd)/$(basename "${1:-tests/demo/live.session}")
windows=${2:-build/windows-x86}
linux=${3:-build/release}
work=$(mktemp -d /tmp/zswinlive.XXXXXX)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
export WINEPREFIX=${WINEPREFIX:-$PWD/$windows/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
  --load="module-null-sink sink_name=zs rate=48000" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse/native" 2>/dev/null
trap 'pulseaudio --kill 2>/dev/null || true' EXIT
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink zs

parec -d zs.monitor --latency-msec=20 --rate=48000 --channels=2 --format=s16le --file-format=wav "$work/live.wav" &
recorder=$!
for _ in $(seq 50); do [ "$(stat -c %s "$work/live.wav" 2>/dev/null || echo 0)" -gt 4096 ] && break; sleep 0.1; done
(cd "$windows" && wine zsdemo.exe --no-progress --script "Z:$script" --save-dir "Z:$work" --output default) \
  > "$work/live.log" 2>&1
sleep 1  # the last of the session reaches the recording
kill -INT "$recorder"
wait "$recorder" || true
(cd "$windows" && wine zsdemo.exe --no-progress --script "Z:$script" --save-dir "Z:$work" --render "Z:$work/rendered.wav") \
  > "$work/rendered.log" 2>&1
echo "files in $work"
grep -E "^  (Output|Latency|Late periods):" "$work/live.log" || true
"$linux/sandbox/zsmeter" "$work/live.wav" "$work/rendered.wav"
