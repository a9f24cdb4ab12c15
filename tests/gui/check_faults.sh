#!/usr/bin/env bash
# Display faults that stay mended: the hand is drawn in modes 'H', 'W' and 'J'
# after a grasp, and the joint-angle keys of 'J' move it on screen; mode 'A'
# without a complete grasp does not invite 's' (its panel differs from the one
# that does, and 's' changes nothing); a work moved into the palm is refused a
# grasp with the "No FingerLink Grasp / Change Work Position" panel.
# usage: check_faults.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

start_xvfb
start_app
keys G s s
wait_rows grasp 11100
for m in H W J; do
  keys "$m"
  wait_rows "mode$m" "$( [ $m = H ] && echo 11111 || echo 11100 )"
  at_least "$(count "mode$m" blue 300 150 250 350)" 10000 "blue hand pixels in mode '$m' after a grasp"
done
# 'J': finger 1, joint 4, five steps up: the hand moves on screen
keys 1 4
wait_rows joint 11110
keys p p p p p
new_frame joint moved
at_least "$(differ joint moved 300 0 300 600)" 200 "hand pixels moved by five 'p' in mode 'J'"

# mode 'A' with a complete grasp invites 's'; without one it says otherwise
keys G s s A
wait_rows withgrasp 11100
keys M G A
wait_rows nograsp 11100
at_least "$(differ withgrasp nograsp 0 250 295 60)" 300 "panel pixels that differ from the 'Hit s' panel without a grasp"
keys s s
sleep 0.5
shot nograsp2
at_most "$(differ nograsp nograsp2 0 0 600 600)" 0 "pixels changed by 's' without a grasp"

# the work moved into the palm: the grasp is refused
keys M $(rep y 20 | sed 's/./& /g')
wait_rows palm 11101              # Execution Mode : M / **** Finger-Work Collision **** / Move Work / the pose
keys G s s
wait_rows refused 11110           # ... No FingerLink Grasp ... / ... Change Work Position ...
note "a grasp into the palm is refused"
echo PASS
