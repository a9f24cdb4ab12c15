#!/usr/bin/env bash
# The default scenario, headless: grasp with every finger, 200 manipulation
# steps, then the replay of the stored rows. Writes the trajectory and three
# snapshots (start, grasp, end of the manipulation) into demo/.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
BATCH=./$BUILD/rollgrasp-batch
OUT=demo
STEPS=200
mkdir -p "$OUT"

s_times() { printf "%${1}s" "" | tr ' ' s; }
GRASP_KEYS="ss"
MANIP_KEYS="A$(s_times $STEPS)"
REPLAY_KEYS="D$(s_times $((STEPS / 5)))"

start=$(date +%s.%N)
echo "demo: grasp, $STEPS manipulation steps and the replay with rollgrasp-batch"

# progress: the manipulation runs in chunks of 20 steps, each chunk resuming the run
state=$OUT/state.jsonl
keys="$GRASP_KEYS"
echo -n "  grasp ..."
"$BATCH" --state "$state" "$keys" >/dev/null
echo " done"
done_steps=0
while [ $done_steps -lt $STEPS ]; do
  done_steps=$((done_steps + 20))
  keys="$GRASP_KEYS""A$(s_times $done_steps)"
  "$BATCH" --state "$state" "$keys" >/dev/null
  status=$(tail -1 "$state" | python3 -c 'import json,sys; s=json.load(sys.stdin); print(s["sgnMANIP"], s["cntManip0"])')
  printf "\r  manipulation: %3d/%d steps (status %s)" "$done_steps" "$STEPS" "${status%% *}"
  [ "${status%% *}" = Y ] || break
done
echo
ALL="$GRASP_KEYS$MANIP_KEYS$REPLAY_KEYS"
"$BATCH" --state "$state" --trajectory "$OUT/trajectory.csv" "$ALL" >"$OUT/console.txt"
echo "  replay of the stored rows ... done"

# snapshots need an X display; xvfb-run provides one when there is none
snap() {
  if [ -n "${DISPLAY:-}" ]; then "$BATCH" --snapshot "$1" "$2" >/dev/null
  else xvfb-run -a -s "-screen 0 1024x768x24" "$BATCH" --snapshot "$1" "$2" >/dev/null; fi
}
if snap "$OUT/start.png" "" && snap "$OUT/grasp.png" "$GRASP_KEYS" && snap "$OUT/manipulation-end.png" "$GRASP_KEYS$MANIP_KEYS"; then
  echo "  snapshots: $OUT/start.png $OUT/grasp.png $OUT/manipulation-end.png"
else
  echo "  snapshots skipped: no X display and no xvfb-run"
fi
end=$(date +%s.%N)

python3 - "$state" "$OUT/trajectory.csv" "$start" "$end" <<'PY'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
last = lines[-1]
manip = [l for l in lines if l["sgnCAL"] == "A"][-1]
status = {"Y": "still running (step limit of the demo)", "F": "data overflow", "D": "deadlock",
          "O": "contact out of the finger link", "C": "hand/work collision",
          "R": "grasp not on a rim"}.get(manip["sgnMANIP"], manip["sgnMANIP"])
rows = sum(1 for _ in open(sys.argv[2])) - 1
print("summary:")
print("  contact types: " + ", ".join("finger %d %s" % (f["kf"], f["GGTYPE"]) for f in manip["fingers"]))
print("  manipulation steps: %d (stored rows %d, time %.2f)" % (manip["cntManip0"], rows, manip["ManipTS"]))
print("  end status: %s" % status)
print("  replay: stored step %d of %d" % (last["cntRepeat"], last["cntMainip1"]))
print("  wall time: %.1f s" % (float(sys.argv[4]) - float(sys.argv[3])))
PY
