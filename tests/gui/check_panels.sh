#!/usr/bin/env bash
# The panels of the function keys: F1 hides and shows the help table, F2 shows
# and hides the information panel, F3 shows the work's axes, large contact
# markers and the contact traces, which grow while the manipulation runs. Each
# key pressed twice gives the picture back. The contacts of F3 are on by default
# but there are none at start-up: the default picture.
# usage: check_panels.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
[ -x "$RG" ] || fail "no program $RG"

HELP="0 0 560 225"
INFO="0 360 290 170"      # layout y 235..75 at the left: the information panel
start_xvfb
start_app
at_least "$(count first dark $HELP)" 3000 "dark help-text pixels at start-up"
# at start-up the help addition stands where the information panel goes
at_least "$(img runs "$WORK/first.xwd" dark $INFO)" 10 "text lines of the help addition at start-up"

keys F1
wait_for nohelp "the help table hidden by F1" '[ "$(count nohelp dark 0 0 290 225)" -le 60 ]'
at_least "$(count nohelp blue 300 150 250 350)" 10000 "blue hand pixels with the help hidden"
note "F1 hid the help table"
keys F1
wait_for help "the help table back after F1" '[ "$(differ first help 0 0 600 600)" = 0 ]'
note "F1 again: the start-up picture"

keys F2
wait_for info "the information panel of F2 in the help addition's place" '[ "$(differ first info $INFO)" -ge 1500 ]'
at_least "$(img runs "$WORK/info.xwd" dark 0 360 150 170)" 7 "separate text lines in the information panel (work, angles, two fingers, legend, step)"
keys F2
wait_for noinfo "the information panel gone after F2" '[ "$(differ first noinfo 0 0 600 600)" = 0 ]'
note "F2 shows and hides the information panel"

# F3 in a manipulation: the contacts (axes of the work, large markers, traces)
# are shown by default; F3 hides them and shows them again; the traces grow
keys G s s A
wait_rows manip0 11100
keys F3
new_frame manip0 off0
at_least "$(differ manip0 off0 300 0 300 600)" 300 "scene pixels that F3 takes away at the grasp (work axes, large markers)"
keys F3
wait_for traces0 "the contacts back after F3 again" '[ "$(differ manip0 traces0 0 0 600 600)" = 0 ]'
green0=$(count traces0 tracegreen 0 0 600 600)
magenta0=$(count traces0 magenta 0 0 600 600)
keys $(rep s 300 | sed 's/./& /g')
wait_rows traces1 11100
green1=$(count traces1 tracegreen 0 0 600 600)
magenta1=$(count traces1 magenta 0 0 600 600)
at_least "$green1" $(( green0 + 20 )) "green link-trace pixels after 300 steps (at the grasp: $green0)"
at_least "$magenta1" $(( magenta0 + 5 )) "magenta work-trace pixels after 300 steps (at the grasp: $magenta0)"
keys F3
new_frame traces1 notraces
at_most "$(count notraces tracegreen 0 0 600 600)" 0 "green trace pixels after F3 off"
at_most "$(count notraces magenta 0 0 600 600)" 0 "magenta trace pixels after F3 off"
at_least "$(differ traces1 notraces 300 0 300 600)" 50 "scene pixels that F3 off took away (axes, markers, traces)"
note "F3 hides the contacts and their traces and shows them again"
echo PASS
