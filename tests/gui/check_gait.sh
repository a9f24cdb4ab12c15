#!/usr/bin/env bash
# A finger gait in the window: with hand 2's grasp in mode A, the key 2 lifts finger
# 2 off the cylinder (fingers 1 and 3 hold it) and the key 2 again places it back.
# The screenshots see the finger leave (the hand's pixels change, one contact marker
# fewer) and return (the scene as it was at the grasp); the mode panel names the
# gait and the keys, the console says what happened.
# usage: check_gait.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

SCENE="300 0 300 600"   # right of the mode panel: the hand and the work
start_xvfb
start_app
keys H 2 G s s s A
# the panel: mode, step lines, and the gait keys in its last row
wait_rows grasped 11101
markers0=$(count grasped marker $SCENE)
at_least "$markers0" 100 "contact-marker pixels at the grasp"

keys 2
wait_rows lifted 11111
grep -q "Finger 2 lifted to its pre-shape; fingers 1, 3 hold the work" "$WORK/app.out" ||
  fail "the console did not say that finger 2 was lifted: $(tail -c 300 "$WORK/app.out")"
at_least "$(differ grasped lifted $SCENE)" 1500 "scene pixels that changed as finger 2 left the work"
at_most "$(count lifted marker $SCENE)" $(( markers0 * 3 / 4 )) "contact-marker pixels with finger 2 lifted (at the grasp: $markers0)"

keys 2
wait_for placed "finger 2 back on the work" \
  'grep -q "Finger 2 placed" "$WORK/app.out" && ! cmp -s "$WORK/lifted.xwd" "$WORK/placed.xwd"'
at_most "$(differ grasped placed $SCENE)" 200 "scene pixels that differ from the grasp once finger 2 is placed again"
at_least "$(count placed marker $SCENE)" $(( markers0 * 9 / 10 )) "contact-marker pixels with finger 2 placed again"
echo PASS
