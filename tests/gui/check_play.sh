#!/usr/bin/env bash
# Continuous play: space steps the manipulation (mode 'A') and the replay (mode
# 'D') from a timer, the panel says it plays, keys are handled while it plays, and
# it stops by itself at the end of the run and at the last stored row: the
# window then shows what the batch driver draws after as many 's' as it takes.
# A burst of 's' keys is worked off without drawing a frame per finger: the
# window catches up with the keys.
# usage: check_play.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$RG" ] && [ -x "$BATCH" ] || fail "no programs in $BUILD"

start_xvfb
# what the window must show at the end: the run of hand 2 stops in a deadlock,
# and its replay ends at the last stored row
"$BATCH" --snapshot "$WORK/endA.png" "H2GsssA$(rep s 200)" </dev/null >/dev/null 2>"$WORK/b.err" ||
  { cat "$WORK/b.err" >&2; fail "batch snapshot failed"; }
"$BATCH" --snapshot "$WORK/endD.png" "H2GsssA$(rep s 200)D$(rep s 40)" </dev/null >/dev/null 2>"$WORK/b.err" ||
  { cat "$WORK/b.err" >&2; fail "batch snapshot failed"; }
"$BATCH" --snapshot "$WORK/burst.png" "GssA$(rep s 140)" </dev/null >/dev/null 2>"$WORK/b.err" ||
  { cat "$WORK/b.err" >&2; fail "batch snapshot failed"; }
like() { [ "$(img diff "$WORK/$1.xwd" "$WORK/$2.png" 0 0 600 600 8)" -le 1800 ]; }

start_app
keys H 2 G s s s A
wait_rows ready 11101            # Execution Mode: A / Manipulation Step-by / Hit s / gait keys
keys space
LIVE=1 wait_rows playing 11111          # ... and "Playing: space stops"
note "space in mode 'A': the panel says it plays"
# keys are handled while it plays: F2 opens the information panel
keys F2
LIVE=1 wait_for info "the information panel while playing" \
  '[ "$(count info dark 0 360 290 170)" -ge 800 ]'
note "F2 answered while playing"
keys F2
wait_for endA "the end of the run as the batch driver draws it" like endA endA
wait_rows endA 11110             # Execution Mode: A / **** Motion In Deadlock **** / the finger / what next
note "play stopped by itself at the deadlock"

# the replay plays to its last row and stops there
keys D
wait_rows replay 11000
keys space
wait_for endD "the last replay row as the batch driver draws it" like endD endD
wait_rows endD 11000
note "replay played to its last row and stopped"
# space at the end does not start again
keys space
sleep 0.5
shot still
at_most "$(differ endD still 0 0 600 600)" 0 "pixels changed by space at the end of the replay"

# space starts and stops: a second space stops a play in progress
keys G s s s A space
LIVE=1 wait_rows playing2 11111
keys space
wait_rows stopped 11101
shot stopped
sleep 0.5
shot stopped2
at_most "$(differ stopped stopped2 0 0 600 600)" 0 "pixels changed after space stopped the play"
note "space stops a play in progress"

# a burst of 140 's' on hand 1: the window catches up with every key
keys H 1 G s s A
wait_rows burst0 11100
xdotool windowfocus "$WID" 2>/dev/null
xdotool key --delay 8 $(rep s 140 | sed 's/./& /g')
wait_for burst "the frame after 140 quick 's' keys" like burst burst
note "140 quick 's' keys all handled and drawn"
echo PASS
