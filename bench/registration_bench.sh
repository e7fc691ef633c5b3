#!/usr/bin/env bash
# Registration accuracy and speed on the m51 sequence, whose offsets are
# known exactly (../shared/testdata/sky/m51/shifts.csv): velmora-cli register
# on each reference star, with each centroid radius and each centroid method,
# and the error of every frame's offset from frame 1 against the truth.
# Prints one table: RMS and worst error (pixels, the distance between the
# measured and the true offset, over frames 2..10), and the time per frame
# (median of RUNS runs, including reading the frames).
#
# Environment (all optional):
#   VELMORA_CLI         velmora-cli to time (default: build/cli/velmora-cli)
#   VELMORA_SHARED_DIR  the shared folder (default: ../shared beside the checkout)
#   RUNS                timed runs per row; the median is reported (default 3)
#   KEEP=1              keep the scratch folder (tables)
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
m51=$shared/testdata/sky/m51
[[ -f $m51/shifts.csv ]] || { say "no m51 sequence at $m51 (set VELMORA_SHARED_DIR)"; exit 2; }
[[ -x $cli ]] || { say "no velmora-cli at $cli (build first)"; exit 2; }
have python3 || { say "python3 is needed to compare the offsets"; exit 2; }
make_work registration
frames=("$m51"/m51_0*.bmp)

# star name, the click on frame 1 (the star's tabulated centre, rounded)
stars=("star1 251,187 saturated" "star2 251,145 unsaturated")

printf '%-6s %-12s %6s %-8s %8s %8s %10s  %s\n' star kind radius centroid rms worst ms/frame note
for entry in "${stars[@]}"; do
  read -r star click kind <<<"$entry"
  for radius in 8 16 32; do
    for method in halfmax refined; do
      table=$work/$star-$radius-$method.txt
      times=()
      for ((r = 0; r < runs; r++)); do
        start=$(date +%s.%N)
        "$cli" register --star "$click" --radius "$radius" --centroid "$method" "${frames[@]}" >"$table" 2>"$work/err.txt"
        status=$?
        end=$(date +%s.%N)
        times+=("$(echo "($end - $start) * 1000 / ${#frames[@]}" | bc -l)")
      done
      ms=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
      python3 - "$m51/shifts.csv" "$table" "$star" "$kind" "$radius" "$method" "$ms" "$status" <<'EOF'
import csv, math, sys
truth_path, table_path, star, kind, radius, method, ms, status = sys.argv[1:]
truth = {int(r["frame"]): (float(r["dx"]), float(r["dy"])) for r in csv.DictReader(open(truth_path))}
measured = {}
for line in open(table_path):
    f = line.split()
    if len(f) >= 6 and f[0].isdigit():
        measured[int(f[0])] = (float(f[4]), float(f[5]))
errors = [math.hypot(measured[i][0] - truth[i][0], measured[i][1] - truth[i][1])
          for i in sorted(truth) if i > 1 and i in measured]
note = "" if status == "0" else "lock lost at frame %d" % (max(measured, default=0) + 1)
if errors:
    rms = math.sqrt(sum(e * e for e in errors) / len(errors))
    print("%-6s %-12s %6s %-8s %8.3f %8.3f %10.2f  %s" % (star, kind, radius, method, rms, max(errors), float(ms), note))
else:
    print("%-6s %-12s %6s %-8s %8s %8s %10.2f  %s" % (star, kind, radius, method, "-", "-", float(ms), note))
EOF
    done
  done
done
echo "errors in pixels: the distance between each frame's measured and true offset from frame 1 (frames 2..10)"
