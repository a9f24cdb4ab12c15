#!/usr/bin/env bash
# Console waits seen in the window: run at a terminal, rollgrasp draws a banner
# "waiting for the key e on the console" before it waits, keeps it while it
# waits, and goes on when e is typed on the console; with --no-wait it answers
# every wait itself and runs through. --help lists the options.
# usage: check_wait_banner.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$RG" ] && [ -x "$BATCH" ] || fail "no programs in $BUILD"
PTY="python3 $GUI_DIR/pty_run.py"

"$RG" --help >"$WORK/help.txt" 2>&1 || fail "rollgrasp --help: status $?"
for opt in --no-wait --show --hide --help F1 F2 F3 Home space; do
  grep -q -- "$opt" "$WORK/help.txt" || fail "rollgrasp --help does not mention $opt"
done
note "rollgrasp --help lists the options and window keys"

start_xvfb
# the end of hand 2's run (a deadlock), as the batch driver draws it
"$BATCH" --snapshot "$WORK/end.png" "H2GsssA$(rep s 200)" </dev/null >/dev/null 2>"$WORK/b.err" ||
  { cat "$WORK/b.err" >&2; fail "batch snapshot failed"; }
like_end() { [ "$(img diff "$WORK/$1.xwd" "$WORK/end.png" 0 0 600 600 8)" -le 1800 ]; }
waits() { grep -o 'Input getch()=e' "$WORK/app.out" 2>/dev/null | wc -l; }

# --- at a terminal: the run stops at its first wait, with the banner
$PTY "$WORK/app.out" "$WORK/typed" "$RG" </dev/null 2>"$WORK/app.err" &
APP_PID=$!
find_window
xdotool windowmove "$WID" 0 0
wait_drawn first
keys H 2 G s s s A space
wait_for banner "the console-wait banner" '[ "$(count banner banner 0 230 600 40)" -ge 1500 ]'
[ "$(waits)" -ge 1 ] || fail "the banner is shown but no wait was printed on the console"
sleep 1
shot still
at_most "$(differ banner still 0 0 600 600)" 0 "pixels changed while the program waits for its console key"
note "the banner is shown and the program waits"
# answer every wait with e, one at a time, until the run has ended: a key as soon
# as a wait's line is printed; the window is looked at when no wait came for a while
answered=0 idle=0
for i in $(seq 1200); do
  if [ "$(waits)" -gt "$answered" ]; then
    printf e >"$WORK/typed.tmp" && mv "$WORK/typed.tmp" "$WORK/typed"
    answered=$(( answered + 1 ))
    idle=0
  else
    idle=$(( idle + 1 ))
    if [ "$idle" -ge 10 ]; then
      shot now
      like_end now && [ "$(count now banner 0 230 600 40)" -eq 0 ] && break
      idle=0
    fi
  fi
  sleep 0.05
done
like_end now || fail "the run did not reach its end after $answered console keys"
at_most "$(count now banner 0 230 600 40)" 0 "banner pixels after the waits were answered"
note "$answered console waits answered with e; the run ended without a banner"
kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null; APP_PID=""
# the ended program's window may stay mapped for a moment: wait until it has
# gone, so that the next search finds the new program's window and not this one
OLD_WID=$WID
for i in $(seq 100); do
  xdotool search --onlyvisible --name "$TITLE_RE" 2>/dev/null | grep -qx "$OLD_WID" || break
  sleep 0.1
done
xdotool search --onlyvisible --name "$TITLE_RE" 2>/dev/null | grep -qx "$OLD_WID" &&
  fail "the first program's window did not go away"

# --- --no-wait: the same run goes through by itself
rm -f "$WORK/app.out"
$PTY "$WORK/app.out" "$WORK/typed" "$RG" --no-wait </dev/null 2>"$WORK/app.err" &
APP_PID=$!
find_window
xdotool windowmove "$WID" 0 0
wait_drawn first2
[ "$(xwininfo -id "$WID" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w"x"h}')" = 600x600 ] ||
  fail "the window is not 600x600"
keys H 2 G s s s A space
# the whole run plays through by itself: slow under the sanitizers, so look longer
WAIT_TRIES=1000 wait_for end2 "the end of the run with --no-wait" like_end end2
[ "$(waits)" -ge 1 ] || fail "--no-wait: the waits' lines are not printed"
note "--no-wait answered $(waits) console waits by itself"
echo PASS
