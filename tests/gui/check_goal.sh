#!/usr/bin/env bash
# Goal poses and planned paths in the window: mode B draws the goal as a green
# ghost of the work where the goal keys put it (none before B), key s plans in
# the background and the panel shows the outcome (and the console its line); a
# long plan shows its progress, ignores other keys and stops on Escape (its time
# limit is an hour, so only Escape can end it; the latency is noted, not judged);
# in mode C space plays the path: the work moves along the drawn path to the
# goal, the followed part of the path turns purple, and play stops at the end.
# usage: check_goal.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

SCENE="300 0 300 600"     # right of the mode panel: the hand and the work
ROW1="0 266 295 18"       # the mode panel's second row: the goal's turns
ROW3="0 306 295 18"       # its fourth row: planning progress or the outcome
# typed quickly: the keys of one string
fast() { xdotool windowfocus "$WID" 2>/dev/null; xdotool key --delay 8 $(rep "$1" "$2" | sed 's/./& /g'); }
outcomes() { grep -c '^Goal (' "$WORK/app.out" 2>/dev/null; }
top() { img bbox "$WORK/$1.xwd" "$2" $SCENE | cut -d' ' -f2; }

start_xvfb
RG_ARGS="--plan-time 3600 --plan-steps 10000000" start_app
keys G s s
wait_rows grasped 11100
at_most "$(count grasped ghost 0 0 600 600)" 0 "ghost pixels before B"
work_top=$(top grasped pink)

# --- the ghost: the goal shifted by 20 units along the hand's z axis stands above the work
keys B
wait_rows goal0 11111
fast Z 20
wait_for goal "the ghost above the work" '[ "$(count goal ghost $SCENE)" -ge 1500 ]'
# (the ghost's lower part lies inside the work, which hides it)
at_least "$(count goal ghost 300 0 300 "$work_top")" 200 "ghost pixels above the work's top"
at_most "$(count goal purple 0 0 600 600)" 0 "followed-path pixels before any plan"
at_most "$(count goal teal 0 0 600 600)" 0 "path pixels before any plan"

# --- a reachable goal: planned in the background, the outcome in the panel and on the console
keys s
wait_for planned "the outcome line of the plan on the console" '[ "$(outcomes)" -ge 1 ]'
grep -q 'reached in [0-9]* steps' "$WORK/app.out" || fail "the goal was not reached: $(grep -A1 '^Goal (' "$WORK/app.out")"
wait_for outcome "the outcome row in the panel" '[ "$(differ goal outcome $ROW3)" -ge 100 ]'
wait_rows outcome 11111
at_least "$(count outcome teal $SCENE)" 10 "pixels of the planned path"
note "the plan reached the goal: $(grep -o 'reached in [0-9]* steps' "$WORK/app.out" | head -1)"

# --- path motion: space plays the path to its end, the work ends where the ghost was
keys C
wait_rows path0 11100
keys space
LIVE=1 wait_rows playing 11110
LIVE=1 wait_for moving "the followed part of the path drawn" '[ "$(count moving purple $SCENE)" -ge 10 ]'
wait_rows ended 11100
at_least "$(count ended purple $SCENE)" 40 "pixels of the followed path at its end"
at_most "$(count ended teal $SCENE)" 0 "pixels of the path still ahead at its end"
# the work now stands where the ghost stood above its old top: pink showing there, or,
# when the work lies exactly in the goal, the ghost over the work instead of over the
# white background
moved=$(( $(count ended pink 300 0 300 "$work_top") + $(differ goal ended 300 0 300 "$work_top") ))
at_least "$moved" 200 "work pixels (or the ghost over the work) above where the work's top was at the grasp"
# (a sliver may show: the goal is reached within 1 length unit, about two pixels here)
at_most "$(count ended ghost $SCENE)" 300 "ghost pixels left uncovered by the work at the goal"
shot still
sleep 0.5
shot still2
at_most "$(differ still still2 0 0 600 600)" 0 "pixels changed after play stopped at the path's end"
note "space played the path to its end and stopped"

# --- a goal beyond reach (half a turn about the work's axis): progress, other
# keys ignored, Escape stops it (nothing else can before its hour)
keys B
fast z 20
fast R 100
wait_rows far 11111
shot far
keys s
LIVE=1 wait_for progress "planning progress in the panel" '[ "$(differ far progress $ROW3)" -ge 100 ]'
LIVE=1 wait_for progress2 "the progress advancing" '[ "$(differ progress progress2 $ROW3)" -ge 1 ]'
keys r r r space C
LIVE=1 wait_rows stillplanning 11111
[ "$(outcomes)" -eq 1 ] || fail "the plan ended before Escape"
escaped=$(date +%s.%N)
keys Escape
wait_for stopped "the outcome of the stopped plan on the console" '[ "$(outcomes)" -ge 2 ]'
line=$(grep -A1 '^Goal (' "$WORK/app.out" | tail -n 2 | tr '\n' ' ')
echo "$line" | grep -q 'Goal (0.0, 0.0, 180.0 deg; 0.0, 0.0, 0.0): not reached: planning stopped' ||
  fail "not the stopped plan of the goal set before the ignored keys: $line"
secs=$(echo "$line" | sed -n 's/.*(\([0-9.]*\) s).*/\1/p')
[ -n "$secs" ] || fail "no planning time in: $line"
awk -v t="$secs" 'BEGIN { exit !(t < 3600) }' || fail "the plan ran its whole hour: $secs s"
note "Escape stopped the plan after $secs s; its outcome came $(awk -v a="$escaped" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }') s after the key"
wait_rows stopped 11111
at_most "$(differ far stopped $ROW1)" 0 "pixels of the goal row changed by the keys ignored while planning"
at_least "$(differ progress stopped $ROW3)" 100 "pixels of the outcome row that replaced the progress"
echo PASS
