#!/usr/bin/env bash
# The window as a person uses it: the default scene after start-up, the mode
# panel of every mode key, a three-finger hand after 'H' '2', and Escape, which
# ends the program only in the view mode 'I'.
# usage: check_window.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
RG="${1:?build directory}/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

# Regions in window pixels (600 x 600, origin top-left).
HELP="0 0 560 225"         # help table: layout rows y = 580..380
HELP_LEFT="0 0 290 225"    # its left part, which no pose of the default hand reaches
BOTTOM="0 525 300 75"      # velocity, work and hand lines

start_xvfb
start_app

# --- the window itself
geometry=$(xdotool getwindowgeometry "$WID" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "600x600" ] || fail "window is $geometry, expected 600x600"
note "window titled like '$TITLE_RE', 600x600"
[ "$(img size "$WORK/first.xwd")" = "600 600" ] || fail "screenshot is not 600x600"

# --- the default scene: help text, panel of mode G, bottom lines
at_least "$(count first dark $HELP)" 3000 "dark help-text pixels"
at_least "$(count first dark $BOTTOM)" 800 "dark pixels of the hand, work and velocity lines"
# the two-finger hand in front of the palm at the left, the cylinder at the right
at_least "$(count first blue 300 150 250 350)" 10000 "blue hand pixels"
at_least "$(count first blue 300 250 50 200)" 4000 "blue palm and finger-1 pixels left of the work"
at_least "$(count first red 400 300 150 100)" 12000 "red cylinder pixels in the cylinder's core"
at_most "$(count first red 0 0 340 600)" 10 "red pixels left of the cylinder"
at_most "$(count first red 0 480 600 120)" 10 "red pixels below the cylinder"

# --- the mode panel: which text rows each mode fills, and that it differs
expect_rows() {
  local got
  got=$(rows "$1")
  [ "$got" = "$2" ] || fail "mode panel after '$1': rows $got, expected $2"
  note "mode panel after '$1': rows $got"
}
declare -A HASHES
panel_hash() { img hash "$WORK/$1.xwd" $PANEL_X 235 $PANEL_W 120; }

expect_rows first 11100          # G: Execution Mode : G / Grasp Calcul / Hit s to Execution
HASHES[G]=$(panel_hash first)
prev=first
# D before any run: "No stored motion to replay" and what to do, three rows
for step in H:11111 W:11100 M:11111 V:11110 J:11100 I:11100 A:11100 D:11100; do
  k=${step%%:*}
  keys "$k"
  new_frame "$prev" "mode$k"
  expect_rows "mode$k" "${step#*:}"
  h=$(panel_hash "mode$k")
  for other in "${!HASHES[@]}"; do
    [ "${HASHES[$other]}" != "$h" ] || fail "mode panel of '$k' looks like that of '$other'"
  done
  HASHES[$k]=$h
  [ "$(differ "$prev" "mode$k" $HELP_LEFT)" = 0 ] || fail "help text changed with mode key '$k'"
  prev="mode$k"
done
note "every mode key shows its own panel; the help text stays"

# --- moving the work into the fingers: mode 'M' reports the collision, mode 'W'
# keeps reporting it, and moving the work back gives the first 'M' picture again
keys M $(printf 'y %.0s' $(seq 20))
wait_rows collision 11101        # Execution Mode : M / **** Finger-Work Collision **** / Move Work / the pose
[ "$(panel_hash collision)" != "${HASHES[M]}" ] || fail "the collision panel looks like the plain 'M' panel"
note "work moved into the fingers: mode 'M' shows the collision panel"
keys W
wait_rows collisionW 11110       # ... and **** Hand/Work Collision **** in mode W
note "mode 'W' shows the collision line"
keys M $(printf 'Y %.0s' $(seq 20))
for i in $(seq 50); do
  shot movedback
  [ "$(differ modeM movedback 0 0 600 600)" = 0 ] && break
  sleep 0.15
done
at_most "$(differ modeM movedback 0 0 600 600)" 0 "pixels that differ from the first 'M' picture after moving back"
prev=movedback

# --- a grasp: 'G', then 's' for each finger; the panel reports the end and
# every contact carries a yellow marker (ball and normal arrow)
at_most "$(count "$prev" yellow 0 0 600 600)" 0 "yellow pixels before the grasp"
keys G
new_frame "$prev" grasp0
keys s s
# two keys, two frames: look until the panel reports the end of the grasp
for i in $(seq 50); do
  shot grasp
  [ "$(rows grasp)" = 11100 ] && break
  sleep 0.2
done
settle grasp
expect_rows grasp 11100          # Execution Mode : G / Grasp Calcul End / what comes next
at_least "$(count grasp yellow 0 0 600 600)" 100 "yellow contact-marker pixels after the grasp"

# --- 'W' '1': the sphere work is a black wire globe; no red cylinder any more
keys W 1
new_frame grasp sphere
at_most "$(count sphere red 0 0 600 600)" 10 "red pixels with the sphere work"
at_least "$(count sphere dark 360 230 220 220)" 1500 "dark pixels of the globe's circles"
at_least "$(differ grasp sphere $BOTTOM)" 30 "pixels of the work line that changed to the sphere"
prev=sphere

# --- 'H' '2': hand 2 has a third finger, in front of and below the cylinder
keys W 2 H
new_frame "$prev" handmode
keys 2
new_frame handmode hand2
before=$(count first blue 350 350 100 100)
after=$(count hand2 blue 350 350 100 100)
at_least "$after" $(( before + 2000 )) "blue pixels where the third finger appears (before: $before)"
at_least "$(differ handmode hand2 $BOTTOM)" 50 "pixels of the hand line that changed to hand 2"

# --- Escape ends the program only in mode 'I'
keys Escape
sleep 0.5
kill -0 "$APP_PID" 2>/dev/null || fail "Escape in mode 'H' ended the program"
keys I
new_frame hand2 viewmode
keys Escape
wait_exit 5
[ "$EXIT_STATUS" = 0 ] || fail "Escape in mode 'I': exit status $EXIT_STATUS, expected 0"
note "Escape in mode 'I' ended the program with status 0"
echo PASS
