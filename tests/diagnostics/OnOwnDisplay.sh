#!/bin/sh
# Runs a command on a private Xvfb: the server picks a free display number
# itself (-displayfd), so runs side by side never race for one. The
# Windows window tests run under Wine through this, as Wine draws windows on
# the X display it is given. The server ends with the command.
fifo_dir=$(mktemp -d) || exit 1
fifo="$fifo_dir/display"
mkfifo "$fifo" || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
server=$!
# The read ends when the server has written its display number, or at once
# when it died before (the pipe closes without a line).
read -r number <"$fifo"
rm -rf "$fifo_dir"
if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    kill "$server" 2>/dev/null
    exit 1
fi
DISPLAY=":$number" "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
