#!/usr/bin/env bash
# rollgrasp-batch --frames writes the replay: one picture per stored row, frame k
# being what --snapshot shows after the run's keys, D and k presses of s; the
# run's own state and trajectory are those of the same keys without --frames.
# Without a display it is refused with one line and no folder of pictures. A
# picture that cannot be written (a folder where frame 3 should go) fails the run
# before anything is replaced: the earlier frames, snapshot and state stay as
# they were and no temporary file is left.
# usage: check_frames.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$BATCH" ] || fail "no batch program $BATCH"

KEYS="GssA$(printf 's%.0s' $(seq 23))I"   # 23 steps: rows 0..4, left in mode I
start_xvfb
"$BATCH" --frames "$WORK/frames" --state "$WORK/with.jsonl" --trajectory "$WORK/with.csv" "$KEYS" \
  </dev/null >/dev/null 2>"$WORK/frames.err" || { cat "$WORK/frames.err" >&2; fail "--frames failed"; }
"$BATCH" --state "$WORK/without.jsonl" --trajectory "$WORK/without.csv" "$KEYS" </dev/null >/dev/null ||
  fail "the run without --frames failed"
cmp -s "$WORK/with.jsonl" "$WORK/without.jsonl" || fail "--frames changed the state lines"
cmp -s "$WORK/with.csv" "$WORK/without.csv" || fail "--frames changed the trajectory"

n=$(ls "$WORK/frames" | wc -l)
rows=$(($(wc -l <"$WORK/with.csv") - 1))
[ "$rows" = 5 ] || fail "expected 5 stored rows, the CSV has $rows"
[ "$n" = "$rows" ] || fail "$n frames for $rows stored rows"
for k in 0 2 4; do
  f=$(printf '%s/frame-%04d.png' "$WORK/frames" "$k")
  [ "$(img size "$f")" = "600 600" ] || fail "frame $k is not 600x600"
  "$BATCH" --snapshot "$WORK/snap$k.png" "${KEYS}D$(printf 's%.0s' $(seq 0 $k) | cut -c2-)" \
    </dev/null >/dev/null || fail "--snapshot of replay row $k failed"
  cmp -s "$f" "$WORK/snap$k.png" || fail "frame $k differs from the snapshot of replay row $k"
done
cmp -s "$WORK/frames/frame-0000.png" "$WORK/frames/frame-0004.png" && fail "the replay frames do not move"
note "$n frames, each the snapshot of its replay row"

# every earlier file marked, then a run whose frame 3 cannot be written
for k in 0 1 2 4; do printf 'earlier frame %d\n' "$k" >"$(printf '%s/frame-%04d.png' "$WORK/frames" "$k")"; done
rm "$WORK/frames/frame-0003.png" && mkdir "$WORK/frames/frame-0003.png"
echo "earlier snapshot" >"$WORK/old.png"
echo "earlier state" >"$WORK/old.jsonl"
"$BATCH" --frames "$WORK/frames" --snapshot "$WORK/old.png" --state "$WORK/old.jsonl" "${KEYS}" \
  </dev/null >/dev/null 2>"$WORK/blocked.err"
rc=$?
[ "$rc" = 1 ] || fail "a frame that cannot be written: status $rc"
grep -q "^rollgrasp-batch: --frames: cannot write $WORK/frames/frame-0003.png: it is a directory" \
  "$WORK/blocked.err" || fail "a frame that cannot be written: $(cat "$WORK/blocked.err")"
for k in 0 1 2 4; do
  f=$(printf '%s/frame-%04d.png' "$WORK/frames" "$k")
  [ "$(cat "$f")" = "earlier frame $k" ] || fail "frame $k was replaced by a run that failed"
done
[ "$(cat "$WORK/old.png")" = "earlier snapshot" ] || fail "the snapshot was replaced by a run that failed"
[ "$(cat "$WORK/old.jsonl")" = "earlier state" ] || fail "the state was replaced by a run that failed"
left=$(ls -A "$WORK/frames" "$WORK" | grep -c '\.tmp\.')
[ "$left" = 0 ] || fail "$left temporary files left"
note "a failed frame leaves every earlier picture and no temporary file"

env -u DISPLAY "$BATCH" --frames "$WORK/none" "$KEYS" </dev/null >/dev/null 2>"$WORK/none.err"
rc=$?
[ "$rc" = 1 ] || fail "--frames without a display: status $rc"
[ ! -e "$WORK/none" ] || fail "--frames without a display made the folder"
grep -q 'xvfb-run' "$WORK/none.err" || fail "--frames without a display: message does not name xvfb-run"
echo PASS
