#!/usr/bin/env bash
# Plays a zsdemo session live and renders it, then compares the two window by
# window with zsmeter (4 s windows aligned by the cross-correlation of their
# envelopes; exit status 1 when a window differs by more than 1.5 dB).
#
#   scripts/compare-live-render.sh [SCRIPT] [BUILD_DIR]
#
# The live run plays on a PulseAudio null sink of this script's own (a
# private server, 48 kHz) and is recorded at the sink's monitor; nothing is
# heard. Needs pulseaudio and pulseaudio-utils (parec). The files stay in
# the printed directory.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${2:-build/release}
content=$build/content
script=${1:-$content/Sessions/demo.session}
work=$(mktemp -d /tmp/zscompare.XXXXXX)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native

pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
  --load="module-null-sink sink_name=zs rate=48000" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse/native" 2>/dev/null
trap 'pulseaudio --kill 2>/dev/null || true' EXIT
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink zs

parec -d zs.monitor --latency-msec=20 --rate=48000 --channels=2 --format=s16le --file-format=wav "$work/live.wav" &
recorder=$!
# The recording runs before the session starts.
for _ in $(seq 50); do [ "$(stat -c %s "$work/live.wav" 2>/dev/null || echo 0)" -gt 4096 ] && break; sleep 0.1; done
"$build/sandbox/zsdemo" --no-progress --content "$content" --script "$script" --save-dir "$work" \
  --output default > "$work/live.log" 2>&1
sleep 1  # the last of the session reaches the recording
kill -INT "$recorder"
wait "$recorder" || true
"$build/sandbox/zsdemo" --no-progress --content "$content" --script "$script" --save-dir "$work" \
  --render "$work/rendered.wav" > "$work/rendered.log" 2>&1
echo "files in $work"
"$build/sandbox/zsmeter" "$work/live.wav" "$work/rendered.wav"
