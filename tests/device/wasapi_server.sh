#!/bin/bash
# A PulseAudio server of the Windows output tests' own, driven from the
# host: Wine's PulseAudio driver plays on whatever server PULSE_SERVER
# names when the test starts, and the test, a Windows program, cannot start
# or signal a host process itself. The test asks through files in DIR (see
# WasapiSinkTest.cpp): this script, run as the tests' fixture, starts the
# server and a watcher that carries the requests out.
#
#   wasapi_server.sh setup DIR     start the server (socket DIR/native) and the watcher
#   wasapi_server.sh cleanup DIR   end both
#   wasapi_server.sh start|kill|stop|cont|record|endrecord DIR   one action, by hand
#
# A request is a file DIR/request-NAME holding one action; the watcher does
# it, then renames the file to DIR/done-NAME. The actions: start the
# server, kill it (SIGKILL), stop it (SIGSTOP), let it go on (SIGCONT),
# record its null sink "zs" (48 kHz stereo floats) through the monitor into
# DIR/recorded.raw (parec, 20 ms fragments), end the recording.
set -u
action=$1
dir=$2

start() {
    # One server at a time: a running one is kept.
    p=$(pid)
    if [ -n "$p" ] && kill -0 "$p" 2>/dev/null; then return 0; fi
    mkdir -p "$dir/runtime"
    chmod 700 "$dir/runtime"
    rm -f "$dir/runtime/pid" "$dir/native"
    # Nothing but the test ends it: no idle exit, no real-time limits (see
    # tests/support/PulseServer.cpp for why).
    HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/runtime" \
    PULSE_SERVER= pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit=yes --realtime=no \
        --high-priority=no --no-cpu-limit=yes --use-pid-file=yes --log-target=newfile:"$dir/daemon.log" \
        --load="module-null-sink sink_name=zs rate=48000 channels=2 format=float32le" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" >>"$dir/server.log" 2>&1
    i=0
    while [ ! -S "$dir/native" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
    [ -S "$dir/native" ]
}

pid() { cat "$dir/runtime/pid" 2>/dev/null; }

kill_server() {
    p=$(pid)
    [ -n "$p" ] || return 0
    kill -CONT "$p" 2>/dev/null
    kill -KILL "$p" 2>/dev/null
    while kill -0 "$p" 2>/dev/null; do sleep 0.02; done
    rm -f "$dir/runtime/pid"
}

record() {
    rm -f "$dir/recorded.raw"
    PULSE_SERVER="unix:$dir/native" parec --raw --format=float32le --rate=48000 --channels=2 \
        --latency-msec=20 -d zs.monitor >"$dir/recorded.raw" 2>>"$dir/server.log" &
    echo $! >"$dir/recorder.pid"
    # Under way once the server has the stream: the file begins to grow.
    i=0
    while [ ! -s "$dir/recorded.raw" ] && [ $i -lt 200 ]; do sleep 0.01; i=$((i + 1)); done
}

end_record() {
    [ -f "$dir/recorder.pid" ] || return 0
    p=$(cat "$dir/recorder.pid")
    kill -TERM "$p" 2>/dev/null
    while kill -0 "$p" 2>/dev/null; do sleep 0.02; done
    rm -f "$dir/recorder.pid"
}

act() {
    case $1 in
        start) start ;;
        kill) kill_server ;;
        stop) kill -STOP "$(pid)" ;;
        cont) kill -CONT "$(pid)" ;;
        record) record ;;
        endrecord) end_record ;;
        *) return 2 ;;
    esac
}

watch() {
    while [ ! -e "$dir/quit" ]; do
        for request in "$dir"/request-*; do
            [ -e "$request" ] || continue
            act "$(cat "$request")"
            mv "$request" "$dir/done-${request##*/request-}"
        done
        sleep 0.02
    done
}

case $action in
    setup)
        rm -rf "$dir"
        mkdir -p "$dir"
        start || { cat "$dir/server.log" "$dir"/daemon.log* 2>/dev/null; exit 1; }
        # The watcher outlives this script: it keeps no descriptor of the
        # caller's (ctest waits for its pipes to close, whoever holds them).
        (
            for fd in $(ls /proc/self/fd); do
                [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
            done
            watch
        ) </dev/null >/dev/null 2>&1 &
        echo $! >"$dir/watcher.pid"
        ;;
    cleanup)
        touch "$dir/quit"
        [ -f "$dir/watcher.pid" ] && while kill -0 "$(cat "$dir/watcher.pid")" 2>/dev/null; do sleep 0.02; done
        end_record
        kill_server
        ;;
    *) act "$action" || { echo "usage: $0 setup|cleanup|start|kill|stop|cont|record|endrecord DIR" >&2; exit 2; } ;;
esac
