#!/usr/bin/env bash
# A whole run as a person does it: grasp ('G', 's' per finger), ten
# manipulation steps ('A', 's' ten times), then the replay ('D', 's'). Every
# 's' of the replay shows the next stored step until the last one; after that
# 's' changes nothing, and 'I' then 'D' resumes at the same step. The replay
# draws the cylinder translucent (its net only), the fingers translucent blue,
# and the yellow contact trail.
# usage: check_replay.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
RG="${1:?build directory}/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

start_xvfb
start_app
keys G s s
wait_rows grasp 11100            # Grasp Calcul End, and what comes next
# the keys are handled in order: the replay panel appears only after all ten steps
keys A s s s s s s s s s s D
wait_rows replay0 11000          # Execution Mode: D cntR= 0 /2, Hit s for discrete Motion
note "grasp, ten manipulation steps and the replay panel"

at_most "$(count replay0 red 400 300 150 100)" 100 "red fill pixels of the translucent cylinder"
at_least "$(count replay0 dark 400 300 150 100)" 300 "dark pixels of the cylinder's net"
at_least "$(count replay0 blue 300 150 250 350)" 8000 "blue pixels of the translucent fingers in contact"

keys s
new_frame replay0 replay1
keys s
new_frame replay1 replay2
at_least "$(differ replay0 replay1 225 240 60 30)" 20 "pixels of the step count that changed with the first 's'"
at_least "$(differ replay1 replay2 225 240 60 30)" 20 "pixels of the step count that changed with the second 's'"
at_least "$(count replay2 paleyellow 300 100 300 450)" 3 "yellow contact-trail pixels"

# the last stored step is shown: another 's' must not move on. 'I' and 'D'
# come back to the replay at the step it shows.
keys s I
wait_rows view 11100             # Execution Mode : I: the 's' before it has been handled
keys D
for i in $(seq 50); do
  shot resumed
  [ "$(differ replay2 resumed 0 0 600 600)" = 0 ] && break
  sleep 0.15
done
at_most "$(differ replay2 resumed 0 0 600 600)" 0 "pixels changed by 's' after the last stored step and 'I' 'D'"
echo PASS
