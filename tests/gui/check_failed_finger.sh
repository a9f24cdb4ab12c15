#!/usr/bin/env bash
# A finger whose grasp finds no contact is drawn at its initial angles, not in a
# pose it does not have: the picture after its failed grasp step shows the hand
# exactly as before the step.
# usage: check_failed_finger.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$BATCH" ] || fail "no batch program $BATCH"

# the work moved and turned out of finger 1's reach
KEYS="H1M$(rep x 20)$(rep y 20)$(rep Z 20)$(rep p 10)G"

start_xvfb
"$BATCH" --snapshot "$WORK/before.png" "$KEYS" </dev/null >/dev/null 2>"$WORK/err" ||
  { cat "$WORK/err" >&2; fail "snapshot before the grasp step failed"; }
"$BATCH" --snapshot "$WORK/after.png" --state "$WORK/state.jsonl" "${KEYS}s" </dev/null >/dev/null 2>"$WORK/err" ||
  { cat "$WORK/err" >&2; fail "snapshot after the grasp step failed"; }
tail -n1 "$WORK/state.jsonl" | grep -q '"GGTYPE":"NN"' || fail "finger 1 was expected to find no contact"
at_least "$(img count "$WORK/after.png" blue 0 0 600 600)" 10000 "blue hand pixels after the step"
at_most "$(img diff "$WORK/before.png" "$WORK/after.png" 0 0 600 600 8)" 0 \
  "pixels that differ from the hand before the failed grasp step"
echo PASS
