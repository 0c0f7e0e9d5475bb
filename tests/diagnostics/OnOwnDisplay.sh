#!/bin/sh
# OnOwnDisplay.sh WINE TEST.exe [ARGS...]
# Runs a Windows test executable under Wine on a display of its own: a
# private Xvfb (the server picks a free display number itself, -displayfd,
# so runs side by side never race for one) and a private Wine desktop on it
# (explorer /desktop=NAME). The private desktop keeps the test's windows
# apart from every other Wine process of the same prefix: from other tests'
# windows, and from a desktop that a process without a display started
# (whose windows cannot be created). It also spares the wait for a window
# manager at every close. The server ends with the test.
#
# Wine's explorer does not hand the test's exit status back, so it is read
# from Google Test's summary: passed when "[  PASSED  ]" is printed and no
# "[  FAILED  ]"; a listing (--gtest_list_tests) passes as printed.
wine_command=$1
shift
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
mkfifo "$work/display" || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
server=$!
# The read ends when the server has written its display number, or at once
# when it died before (the pipe closes without a line).
read -r number <"$work/display"
if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    kill "$server" 2>/dev/null
    exit 1
fi
DISPLAY=":$number" $wine_command explorer "/desktop=zulsound-test-$$,1280x1024" "$@" >"$work/output"
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
cat "$work/output"
case " $* " in
*" --gtest_list_tests "*) exit 0 ;;
esac
grep -q '^\[  FAILED  \]' "$work/output" && exit 1
grep -q '^\[  PASSED  \]' "$work/output" || exit 1
exit 0
