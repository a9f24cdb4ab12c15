#!/usr/bin/env bash
# F6 saves the scene to the --save-scene file, F7 writes the run's CSV, the picture
# of the window and the web page beside it; a line of the window says what was
# written. The scene loads back into the batch driver and sets up the same work.
# Without --save-scene F6 writes rollgrasp-scene.json in the working folder.
# usage: check_scene_keys.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
BUILD="$(cd "${1:?build directory}" && pwd)"
RG="$BUILD/rollgrasp"
BATCH="$BUILD/rollgrasp-batch"
[ -x "$RG" ] || fail "no program $RG"
[ -x "$BATCH" ] || fail "no batch program $BATCH"

# wait_file PATH: waits until PATH exists (each output is renamed into place whole)
wait_file() {
  local i
  for i in $(seq 150); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  fail "no file $1"
}

NOTE="0 585 180 15"   # the note line below the hand line, left of the axis line
start_xvfb
RG_ARGS="--no-wait --cylinder-radius 50 --save-scene $WORK/out/my-scene.json"
mkdir -p "$WORK/out"
start_app
# hand 3, the work moved one unit along +X, a grasp and a few steps
keys H 3 M X G s s A s s s
wait_rows steps 11100
at_most "$(count steps dark $NOTE)" 5 "dark pixels on the note line before F6"
keys F6
wait_file "$WORK/out/my-scene.json"
wait_for saved "the note line saying the scene was saved" '[ "$(count saved dark $NOTE)" -ge 100 ]'
note "F6 saved $(wc -c <"$WORK/out/my-scene.json") bytes and said so"
keys F7
for ext in csv png html; do wait_file "$WORK/out/my-scene.$ext"; done
[ "$(img size "$WORK/out/my-scene.png")" = "600 600" ] || fail "the picture is not the 600 x 600 window"
at_least "$(img count "$WORK/out/my-scene.png" blue 0 0 600 600)" 10000 "blue hand pixels in the F7 picture"
rows=$(($(wc -l <"$WORK/out/my-scene.csv") - 1))
at_least "$rows" 1 "stored rows in the F7 CSV"
grep -q '<script' "$WORK/out/my-scene.html" || fail "the F7 page holds no script"
grep -q 'written: .*my-scene.html' "$WORK/app.out" || fail "the console does not say the page was written"
ls "$WORK/out" | grep -q '\.tmp\.' && fail "a temporary file was left behind"

# the scene loads back: hand 3, the cylinder of radius 50 moved to x = 1
"$BATCH" --scene "$WORK/out/my-scene.json" --state "$WORK/back.jsonl" --state-last '' \
  </dev/null >/dev/null 2>"$WORK/back.err" || { cat "$WORK/back.err" >&2; fail "the saved scene does not load"; }
python3 - "$WORK/back.jsonl" <<'EOF' || fail "the scene loaded back is not the one set up"
import json, sys
s = json.loads(open(sys.argv[1]).read())
assert s["HAND1"] == 3 and s["rwG0"] == [1.0, 140.0, -40.0], (s["HAND1"], s["rwG0"])
EOF
grep -q '"cylinder_radius": 50.0' "$WORK/out/my-scene.json" || fail "the scene lost the cylinder's radius"
note "the saved scene loads back"

# without --save-scene: the default name in the working folder
RG_ARGS="--no-wait"
cd "$WORK/out" || fail "no folder"
kill "$APP_PID" 2>/dev/null
wait "$APP_PID" 2>/dev/null
APP_PID=""
start_app
keys F6
wait_file "$WORK/out/rollgrasp-scene.json"
note "F6 without --save-scene wrote rollgrasp-scene.json"
echo PASS
