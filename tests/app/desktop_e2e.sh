#!/usr/bin/env bash
# The real program on an X server of its own, with one fixture drive and a temporary hive:
# it analyses that drive by itself, a second start raises the first one (also from minimised,
# when a window manager is at hand) and ends, a start for another desktop user (when run as
# root) gets a window of its own, and the close button ends the program with exit
# code 0 after its close-query lines. Skipped (exit 77) when Xvfb or xdotool is missing.
#
#   desktop_e2e.sh BIN_DIR
set -uo pipefail
bin=$1
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Waits up to $2 seconds for a line matching $1 in file $3.
wait_for_line() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        grep -q -- "$1" "$3" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# An X server on a display number it picks itself.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$tmp/display")"
wm=""
if command -v openbox >/dev/null; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    wm=openbox
    sleep 0.5
fi

# One fixture drive M:, no other letter, and nothing of the real machine's settings or homes.
mkdir -p "$tmp/drive/Bilder/Urlaub" "$tmp/drive/Musik" "$tmp/drive/Dokumente" "$tmp/home" "$tmp/rt"
head -c 300000 /dev/zero >"$tmp/drive/Bilder/Urlaub/strand.jpg"
head -c 120000 /dev/zero >"$tmp/drive/Musik/lied.mp3"
head -c 4000 /dev/zero >"$tmp/drive/Dokumente/brief.doc"
# The program folder needs a letter too: A:, which the analyser never offers as a drive.
subst=""
for letter in C D E F G H I J K L N O P Q R S T U V W X Y Z; do subst+="$letter:=;"; done
export ORBISCA_SUBST="${subst}A:=$(cd "$bin/.." && pwd);M:=$tmp/drive"
export ORBISCA_SUBST_FILE=/dev/null
export ORBISCA_HIVE="$tmp/machine.hive"
export ORBISCA_RUNTIME_DIR="$tmp/rt"
export ORBISCA_DEBUG=1
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
export XDG_CACHE_HOME="$tmp/home/.cache" XDG_RUNTIME_DIR="$tmp/rt"
unset QT_QPA_PLATFORM

"$bin/orbisca" 2>"$tmp/first.log" &
first=$!
pids+=($first)

wait_for_line "Start-up: shown and idle" 20 "$tmp/first.log" || fail "the window was not shown"
wait_for_line "Created: TForm_ORB ; FormName=Form_ORB" 1 "$tmp/first.log" || fail "no analyser module"
# The analyser holds module changes back while it scans and allows them again afterwards.
wait_for_line "Module changes held back" 20 "$tmp/first.log" || fail "no analysis started by itself"
wait_for_line "Module changes allowed again" 60 "$tmp/first.log" || fail "the analysis did not end"

window=$(xdotool search --name "^Zelvano Orbisca 2024" | head -1)
[ -n "$window" ] || fail "no main window"

# A second start raises the first and ends.
if [ -n "$wm" ] && [ -n "$window" ]; then
    xdotool windowminimize --sync "$window" 2>/dev/null || fail "could not minimise"
fi
timeout 20 "$bin/orbisca" -NOVERSION 2>"$tmp/second.log"
status=$?
[ "$status" = 0 ] || fail "second start ended with $status"
# The second start waits up to two seconds for the answer; a first instance still busy with
# the end of its analysis answers later, which the second start does not wait for.
grep -q "Instance: the running instance was raised\|Instance: another instance holds the lock" \
    "$tmp/second.log" || fail "second start did not find the first"
grep -q "Start-up: shown" "$tmp/second.log" && fail "second start showed a window"
wait_for_line "Instance: a second start asks to restore the main window" 5 "$tmp/first.log" \
    || fail "first instance got no request"
if [ -n "$wm" ]; then
    wait_for_line "Second start: restoring the minimised window" 5 "$tmp/first.log" \
        || fail "the minimised window was not restored"
fi
for _ in $(seq 50); do
    xwininfo -id "$window" 2>/dev/null | grep -q "Map State: IsViewable" && break
    sleep 0.1
done
xwininfo -id "$window" 2>/dev/null | grep -q "Map State: IsViewable" || fail "main window not visible after the second start"

# Running as root for another desktop user, a start is not held by the first user's instance:
# it shows a window of its own.
other=$(id -u nobody 2>/dev/null)
if [ "$(id -u)" = 0 ] && [ -n "$other" ]; then
    PKEXEC_UID=$other "$bin/orbisca" -NOVERSION 2>"$tmp/other.log" &
    otherpid=$!
    pids+=($otherpid)
    wait_for_line "Start-up: shown and idle" 20 "$tmp/other.log" \
        || fail "a start for another desktop user did not show its own window"
    grep -q "Instance: another instance holds the lock\|Instance: the running instance was raised" \
        "$tmp/other.log" && fail "a start for another desktop user met the first user's instance"
    kill "$otherpid" 2>/dev/null
    wait "$otherpid" 2>/dev/null
fi

# The close button (rightmost header button, 36 pixels from the right edge, 2 from the top).
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --sync $((X + WIDTH - 36 + 16)) $((Y + 2 + 16)) click 1
for _ in $(seq 100); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$first" 2>/dev/null; then
    fail "the close button did not end the program"
else
    wait "$first"
    status=$?
    [ "$status" = 0 ] || fail "program ended with $status"
fi
lines=$(grep -E "QO16: FormClose(Query)?( DONE)?$" "$tmp/first.log" | sed 's/^.*QO16/QO16/')
expected=$'QO16: FormCloseQuery\nQO16: FormCloseQuery DONE\nQO16: FormClose\nQO16: FormClose DONE'
[ "$lines" = "$expected" ] || fail "close lines were: $lines"

if [ "$failures" != 0 ]; then
    echo "--- first instance"; cat "$tmp/first.log"
    echo "--- second start"; cat "$tmp/second.log"
    [ -f "$tmp/other.log" ] && { echo "--- start for another user"; cat "$tmp/other.log"; }
    exit 1
fi
echo "desktop end-to-end test passed${wm:+ (with $wm)}"
