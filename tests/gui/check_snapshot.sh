#!/usr/bin/env bash
# The batch snapshot shows what the window shows: the same keys typed into the
# window and given to rollgrasp-batch --snapshot give the same picture. Without
# a display the snapshot is refused with one clear line and no file.
# usage: check_snapshot.sh BUILD_DIR [BATCH_PROGRAM]
source "$(dirname "$0")/lib.sh"
BUILD="${1:?build directory}"
RG="$BUILD/rollgrasp"
BATCH="${2:-$BUILD/rollgrasp-batch}"
[ -x "$RG" ] || fail "no program $RG"
[ -x "$BATCH" ] || fail "no batch program $BATCH"

# hand 2, then the view turned and shifted in mode 'I'
WINDOW_KEYS=(H 2 I p p q x)
BATCH_KEYS="H2Ippqx"

start_xvfb
"$BATCH" --snapshot "$WORK/batch.png" "$BATCH_KEYS" </dev/null >"$WORK/batch.out" 2>"$WORK/batch.err" ||
  { cat "$WORK/batch.err" >&2; fail "rollgrasp-batch --snapshot failed"; }
[ -s "$WORK/batch.png" ] || fail "rollgrasp-batch --snapshot wrote no picture"
[ "$(img size "$WORK/batch.png")" = "600 600" ] || fail "the snapshot is not 600x600"
at_least "$(img count "$WORK/batch.png" blue 0 0 600 600)" 10000 "blue hand pixels in the snapshot"

start_app
keys "${WINDOW_KEYS[@]}"
# Same drawing code, same size: at most 0.5 % of the pixels may differ
# noticeably. The window may still be working through the keys, so look again
# for a few seconds before calling it a mismatch.
for i in $(seq 40); do
  shot window
  n=$(img diff "$WORK/window.xwd" "$WORK/batch.png" 0 0 600 600 8)
  [ "$n" -le 1800 ] && break
  sleep 0.15
done
at_most "$n" 1800 "pixels differing between the window and the snapshot"
keys Escape
wait_exit 5
[ "$EXIT_STATUS" = 0 ] || fail "rollgrasp did not end on Escape in mode 'I' (status $EXIT_STATUS)"

# no display: one line naming xvfb-run, non-zero status, no file
env -u DISPLAY "$BATCH" --snapshot "$WORK/none.png" "$BATCH_KEYS" </dev/null >/dev/null 2>"$WORK/none.err"
rc=$?
[ "$rc" -ne 0 ] && [ "$rc" -lt 128 ] || fail "snapshot without a display: status $rc"
[ ! -e "$WORK/none.png" ] || fail "snapshot without a display wrote a file"
grep -q 'xvfb-run' "$WORK/none.err" || fail "snapshot without a display: message does not name xvfb-run"
note "snapshot without a display refused: $(head -n1 "$WORK/none.err")"
echo PASS
