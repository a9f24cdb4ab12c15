#!/usr/bin/env bash
# What a new user sees without any function key: the contact markers in the
# grasp, the manipulation and the replay (with the replayed row's traces), no
# marker on the palm for a finger not yet grasped, the new hand's initial pose
# after a hand change, a stop banner that names the finger and says what to do
# next, text that reads over the palm, and pictures of --show/--hide.
# usage: check_contacts.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$RG" ] && [ -x "$BATCH" ] || fail "no programs in $BUILD"
SCENE="300 0 300 600"   # right of the text panel: the hand and the work
PALM="295 270 50 130"   # the palm disc of the default view
# a large marker is 7 pixels across, its yellow about 20 of them
markers() { count "$1" marker $SCENE; }
traces() { echo $(( $(count "$1" magenta $SCENE) + $(count "$1" tracegreen $SCENE) )); }
# batch NAME ARGS...: a picture drawn by rollgrasp-batch into $WORK/NAME.png
batch() {
  local name=$1
  shift
  "$BATCH" --snapshot "$WORK/$name.png" "$@" </dev/null >/dev/null 2>"$WORK/b.err" ||
    { cat "$WORK/b.err" >&2; fail "rollgrasp-batch --snapshot $*"; }
}

start_xvfb
start_app

# --- the grasp: one marker for the grasped finger 1, none on the palm for finger 2
keys G s
wait_for grasp1 "the marker of finger 1" '[ "$(markers grasp1)" -ge 15 ]'
at_most "$(count grasp1 marker $PALM)" 0 "marker pixels on the palm while finger 2 is not grasped"
keys s
wait_for grasp2 "the markers of both fingers" '[ "$(markers grasp2)" -ge $(( $(markers grasp1) + 15 )) ]'
note "grasp: a marker per grasped finger, none on the palm"

# --- the manipulation: markers and traces without F3; F3 takes them away
keys A $(rep s 60 | sed 's/./& /g')
wait_rows manip 11100
wait_for manip "the traces of 60 steps" '[ "$(traces manip)" -ge 8 ]'
at_least "$(markers manip)" 60 "marker pixels in mode A without F3"
keys F3
new_frame manip manipoff
at_most "$(traces manipoff)" 0 "trace pixels after F3"
at_least "$(( $(markers manip) - $(markers manipoff) ))" 20 "marker pixels that F3 took away"
keys F3
wait_for manipon "the contacts back after F3 again" '[ "$(differ manip manipon 0 0 600 600)" = 0 ]'
note "mode A: contacts shown by default, F3 hides them"

# --- the replay: the contacts and the traces of the replayed row
keys D
wait_rows replay0 11000
at_least "$(markers replay0)" 30 "marker pixels of the replay's row 0"
keys $(rep s 12 | sed 's/./& /g')
wait_for replay12 "the traces of replayed row 12" '[ "$(traces replay12)" -ge 8 ]'
at_least "$(markers replay12)" 20 "marker pixels of the replayed row 12"
note "mode D: the replayed row's contacts and traces"

# --- a hand change: the new hand in its initial pose, not the last run's angles
keys H 2 A
batch h2a "H2A"
wait_for newhand "hand 2 at its initial angles in mode A" \
  '[ "$(img diff "$WORK/newhand.xwd" "$WORK/h2a.png" '"$SCENE"' 8)" -le 50 ]'
note "after a hand change mode A shows the new hand's initial pose"

# --- hand 2 played to its stop: the banner, the finger and the next action
batch stopend "H2GsssA$(rep s 200)"
keys G s s s A space
# the run plays to its deadlock: slow under the sanitizers, so look longer
WAIT_TRIES=1000 wait_for stop "the deadlock's panel as the batch driver draws it" \
  '[ "$(img diff "$WORK/stop.xwd" "$WORK/stopend.png" 0 240 300 110 8)" -le 100 ]'
[ "$(rows stop)" = 11110 ] || fail "panel rows $(rows stop) at the stop, expected 11110"
# the next action's line runs over the palm: its text on the panel reads
ratio=$(img contrast "$WORK/stop.xwd" 300 305 30 20)
at_least "$ratio" 700 "contrast x100 of the text over the palm"
note "the stop banner names the finger and the next action, readable over the palm"

# --- pictures: --hide help leaves no help text, --show info adds the panel
batch plain "Gss"
batch nohelp "Gss" --hide help
batch info "Gss" --hide help --show info
batch bare "Gss" --hide help,contacts
at_least "$(img count "$WORK/plain.png" dark 0 0 560 220)" 3000 "help text pixels by default"
at_most "$(img count "$WORK/nohelp.png" dark 0 0 290 220)" 60 "help text pixels with --hide help"
at_least "$(img runs "$WORK/info.png" dark 0 360 150 170)" 7 "text lines of the information panel with --show info"
at_least "$(img count "$WORK/nohelp.png" marker $SCENE)" 60 "marker pixels in a picture by default"
at_least "$(( $(img count "$WORK/nohelp.png" marker $SCENE) - $(img count "$WORK/bare.png" marker $SCENE) ))" 30 \
  "marker pixels that --hide contacts takes away"
"$BATCH" --hide hepl Gss >/dev/null 2>&1
[ $? = 2 ] || fail "an unknown part of --hide is not a usage error"
note "--show and --hide pictures"
echo PASS
