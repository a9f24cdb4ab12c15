#!/usr/bin/env bash
# The window explains itself to a new user: the help names the window's own keys
# below the mode panel (F1 hides it), the grasp's end says what comes next, the
# default run's contact traces are long enough to read and outlined over the
# markers, the information panel (F2) after the run shows the work as it has
# turned, mode M shows the work's pose, and no axis line crosses the velocity
# line in mode V.
# usage: check_explains.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$RG" ] && [ -x "$BATCH" ] || fail "no programs in $BUILD"

# Regions in window pixels (600 x 600, origin top-left).
MORE="0 358 290 150"          # the help addition: layout y = 235 down to 85, left of the palm
ANGLES="0 370 200 15"         # the information panel's angle line (layout y = 220)
POSITION="0 355 200 14"       # its work position line above it (layout y = 235)
VELOCITY="0 528 290 24"       # the velocity line (layout y = 55)
FINGER1="400 180 120 100"     # around finger 1's contact at the end of the default run
FINGER2="400 400 120 100"     # around finger 2's contact

start_xvfb
# the window at the end of the default run, as the batch driver draws it
"$BATCH" --snapshot "$WORK/endref.png" "GssA$(rep s 400)" </dev/null >/dev/null 2>"$WORK/b.err" ||
  { cat "$WORK/b.err" >&2; fail "batch snapshot failed"; }
start_app

# --- the help addition under the mode panel, and F1 hides it with the table
at_least "$(img runs "$WORK/first.xwd" dark $MORE)" 10 "text lines of the help addition"
keys F1
new_frame first nohelp
at_most "$(img runs "$WORK/nohelp.xwd" dark $MORE)" 1 "separate dark rows there with F1 (the axis line)"
keys F1
wait_for help "the help addition back after F1 again" '[ "$(differ first help 0 0 600 600)" = 0 ]'
note "the help addition is shown with the help table"

# --- F2 at the start: the pose the work was set to
keys F2
new_frame help info0
keys F2
wait_for help2 "the window without F2 again" '[ "$(differ first help2 0 0 600 600)" = 0 ]'

# --- the grasp's end names the next action in a row of its own
keys G s s
wait_rows grasp 11100
note "after 'Grasp Calcul End' the panel says what to do next"

# --- the default run played to its deadlock (338 steps)
keys A space
WAIT_TRIES=1000 wait_for end "the deadlock at the end of the default run" \
  '[ "$(img diff "$WORK/end.xwd" "$WORK/endref.png" 0 0 600 600 8)" -le 1800 ]'
wait_rows end 11110
for c in tracegreen pathorange magenta; do
  note "longest $c stroke: finger 1 $(img length "$WORK/end.xwd" $c $FINGER1) px, finger 2 $(img length "$WORK/end.xwd" $c $FINGER2) px"
done
at_least "$(img length "$WORK/end.xwd" tracegreen $FINGER2)" 18 "pixels of finger 2's trace on its link"
at_least "$(img length "$WORK/end.xwd" pathorange $FINGER2)" 7 "pixels of finger 2's path through the hand frame"
for f in "$FINGER1" "$FINGER2"; do
  at_least "$(count end magenta $f)" 4 "pixels of the trace on the work at ($f)"
done

# --- F2 after the run: the same position, the angles of the turned work
keys F2
new_frame end info1
at_most "$(differ info0 info1 $POSITION)" 0 "pixels of the work position line that changed (the cylinder turned in place)"
at_least "$(differ info0 info1 $ANGLES)" 30 "pixels of the angle line that changed with the rolling"
keys F2
new_frame info1 end2

# --- mode M: the pose in the panel's last row, changed by a turn
keys M
wait_rows poseM 11111
keys r
new_frame poseM turnedM
at_least "$(differ poseM turnedM 0 326 295 18)" 20 "pixels of the pose row changed by one turn"
note "mode M shows the work's pose"

# --- mode V: the velocity line reads without a line through it
keys V
wait_rows modeV 11110
at_most "$(count modeV axisgrey $VELOCITY)" 0 "axis pixels in the velocity line's panel"
at_least "$(count modeV dark $VELOCITY)" 300 "text pixels of the velocity line"
echo PASS
