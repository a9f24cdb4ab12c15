#!/usr/bin/env bash
# The default scenario, headless: grasp with every finger, the manipulation until
# it stops (at most 340 steps), then the replay of the stored rows. Writes the
# trajectory, three snapshots (start, grasp, end of the manipulation), plots of
# the joint angles, contact parameters and the work's turn over the physical time
# t, the replay as an animated GIF and as one web page (replay.html) into demo/.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
BATCH=./$BUILD/rollgrasp-batch
OUT=demo
STEPS=340
# Debian's interpreter, which has python3-matplotlib
PYTHON=${PYTHON:-$(command -v /usr/bin/python3 || command -v python3)}
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
# the run as one web page: the replay in 3-D in any browser, offline
"$BATCH" --html "$OUT/replay.html" "$GRASP_KEYS$MANIP_KEYS" >/dev/null
echo "  replay page: $OUT/replay.html ($(($(stat -c %s "$OUT/replay.html") / 1024)) KiB)"

# snapshots need an X display; xvfb-run provides one when there is none. The
# pictures show what the window shows, without the key help, with the information
# panel, and the contacts and their traces.
PICTURE="--hide help --show info,contacts"
# the replay close to the contacts: zoomed and moved so that the work and both
# fingertips fill the picture
CLOSE="--hide help --show contacts --zoom 1.8 --pan -0.5,0.12"
xrun() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1024x768x24" "$@"; fi
}
snap() { xrun "$BATCH" $PICTURE --snapshot "$1" "$2" >/dev/null; }
if snap "$OUT/start.png" "" && snap "$OUT/grasp.png" "$GRASP_KEYS" && snap "$OUT/manipulation-end.png" "$GRASP_KEYS$MANIP_KEYS"; then
  echo "  snapshots: $OUT/start.png $OUT/grasp.png $OUT/manipulation-end.png"
else
  echo "  snapshots skipped: no X display and no xvfb-run"
fi

# the replay: one frame per stored row, made 360 x 360 with one shared 64-colour
# palette (Pillow, which comes with matplotlib) and put together by gifsicle
FRAMES=$BUILD/demo-frames
rm -rf "$FRAMES"
xrun "$BATCH" $CLOSE --frames "$FRAMES" "$GRASP_KEYS$MANIP_KEYS" >/dev/null
"$PYTHON" - "$FRAMES" <<'PY'
import glob, sys
from PIL import Image
files = sorted(glob.glob(sys.argv[1] + "/frame-*.png"))
frames = [Image.open(f).convert("RGB").resize((360, 360), Image.LANCZOS) for f in files]
palette = frames[-1].quantize(colors=64, method=Image.MEDIANCUT, dither=Image.NONE)
for f, im in zip(files, frames):
    im.quantize(palette=palette, dither=Image.NONE).save(f[:-4] + ".gif")
PY
gifsicle -O3 --loop --delay 12 "$FRAMES"/frame-*.gif -o "$OUT/replay.gif"
echo "  animation: $OUT/replay.gif ($(ls "$FRAMES"/frame-*.png | wc -l) frames, $(($(stat -c %s "$OUT/replay.gif") / 1024)) KiB)"
"$PYTHON" scripts/plot_run.py "$OUT/trajectory.csv" "$OUT" "$state"
end=$(date +%s.%N)

python3 - "$state" "$OUT/trajectory.csv" "$start" "$end" <<'PY'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
last = lines[-1]
manip = [l for l in lines if l["sgnCAL"] == "A"][-1]
status = {"Y": "still running (step limit of the demo)", "F": "data overflow", "D": "deadlock",
          "O": "contact out of the finger link", "C": "hand/work collision",
          "R": "grasp not on a rim"}.get(manip["sgnMANIP"], manip["sgnMANIP"])
with open(sys.argv[2]) as f:
    head = f.readline().rstrip("\n").split(",")
    body = [l.rstrip("\n").split(",") for l in f]
rows = len(body)
t_last = float(body[-1][head.index("t")])
print("summary:")
print("  contact types: " + ", ".join("finger %d %s" % (f["kf"], f["GGTYPE"]) for f in manip["fingers"]))
print("  manipulation steps: %d (stored rows %d, physical time t %.2f at the last stored row;"
      " ManipTS %.2f counts it once per finger)" % (manip["cntManip0"], rows, t_last, manip["ManipTS"]))
print("  end status: %s" % status)
print("  replay: stored step %d of %d" % (last["cntRepeat"], last["cntMainip1"]))
print("  wall time: %.1f s" % (float(sys.argv[4]) - float(sys.argv[3])))
PY
