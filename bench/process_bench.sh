#!/usr/bin/env bash
# Whole-command timing of post-processing: velmora-cli process with a DDP
# and an unsharp mask of the largest radius on one large 24-bit picture,
# against the same command with no operation, which only reads the picture
# and writes it back (the floor no processing command can beat). Both
# figures come from one run on the same picture, so their ratio means
# something where the absolute seconds do not.
#
# The processed picture must be exact, else the script fails: when Debian's
# python3 has numpy and PIL, the script works out the DDP and the unsharp
# mask from the plain per-pixel rules (box means from cumulative sums) and
# compares every byte.
#
# Environment (all optional):
#   VELMORA_CLI   velmora-cli to time (default: build/cli/velmora-cli)
#   WIDTH HEIGHT  picture size (default 4096 3072)
#   DDP           the --ddp values (default 1,64,5)
#   UNSHARP       the --unsharp values (default 5,100)
#   RUNS          timed runs per command; the median is reported (default 5)
#   KEEP=1        keep the scratch folder (picture and outputs)
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
width=${WIDTH:-4096} height=${HEIGHT:-3072}
ddp=${DDP:-1,64,5} unsharp=${UNSHARP:-5,100}
runs=${RUNS:-5}

whole_numbers "WIDTH, HEIGHT and RUNS must be positive whole numbers" "$width" "$height" "$runs"
[[ -x $cli ]] || { say "velmora-cli not found at $cli (build it, or set VELMORA_CLI)"; exit 2; }
have gcc || { say "gcc is needed to make the picture"; exit 2; }
make_work process

# --- picture ----------------------------------------------------------------
# A colour star field: a sky glow brighter in the middle, noise, and a few
# hundred stars of different colours, some saturated. Deterministic, and
# needs nothing but a C compiler.
cat >"$work/make_rgb.c" <<'EOF'
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
static uint64_t s = 88172645463325252ull;
static double rnd(void) { s ^= s << 13; s ^= s >> 7; s ^= s << 17; return (s >> 11) * (1.0 / 9007199254740992.0); }
static void put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i)); }
int main(int argc, char** argv) {
    const int w = atoi(argv[1]), h = atoi(argv[2]);
    const size_t stride = ((size_t)w * 3 + 3) & ~(size_t)3;
    float* img = malloc(sizeof(float) * 3 * (size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = x - w / 2.0, dy = y - h / 2.0;
            const double glow = 18 + 14 * exp(-(dx * dx + dy * dy) / (2.0 * (w / 3.0) * (w / 3.0)));
            for (int c = 0; c < 3; ++c) img[((size_t)y * w + x) * 3 + c] = glow * (0.8 + 0.2 * c) + 8 * (rnd() - 0.5);
        }
    for (int n = 0; n < 600; ++n) {
        const double x0 = rnd() * w, y0 = rnd() * h, peak = 12 / pow(1 - rnd() * 0.999, 1 / 1.2), sg = 0.9 + rnd() * 1.3;
        const double tint[3] = {0.6 + 0.4 * rnd(), 0.6 + 0.4 * rnd(), 0.6 + 0.4 * rnd()};
        for (int y = (int)y0 - 9; y <= (int)y0 + 9; ++y)
            for (int x = (int)x0 - 9; x <= (int)x0 + 9; ++x) {
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                const double g = peak * exp(-((x - x0) * (x - x0) + (y - y0) * (y - y0)) / (2 * sg * sg));
                for (int c = 0; c < 3; ++c) img[((size_t)y * w + x) * 3 + c] += g * tint[c];
            }
    }
    uint8_t head[54] = {'B', 'M'};
    put32(head + 2, (uint32_t)(54 + stride * h)); put32(head + 10, 54); put32(head + 14, 40);
    put32(head + 18, (uint32_t)w); put32(head + 22, (uint32_t)h); head[26] = 1; head[28] = 24;
    put32(head + 34, (uint32_t)(stride * h)); put32(head + 38, 2835); put32(head + 42, 2835);
    FILE* f = fopen(argv[3], "wb");
    if (!f || fwrite(head, 1, 54, f) != 54) return 1;
    uint8_t* row = calloc(stride, 1);
    for (int y = h - 1; y >= 0; --y) {  // bottom-up, blue green red
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const double v = img[((size_t)y * w + x) * 3 + (2 - c)];
                row[x * 3 + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        if (fwrite(row, 1, stride, f) != stride) return 1;
    }
    return fclose(f) != 0;
}
EOF
gcc -O2 -o "$work/make_rgb" "$work/make_rgb.c" -lm && "$work/make_rgb" "$width" "$height" "$work/in.bmp" ||
  { say "the picture could not be made"; exit 2; }
cat "$work/in.bmp" "$work/in.bmp" >/dev/null  # warm cache for every run

# --- timing -----------------------------------------------------------------
run_cli() {  # name args... -> prints the seconds
  local name=$1; shift
  local t0=$EPOCHREALTIME
  if ! "$cli" process "$work/in.bmp" "$@" >"$work/$name.log" 2>&1; then
    say "velmora-cli process $* failed:"; tail -n 5 "$work/$name.log" >&2
    return 1
  fi
  awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }'
}

# The two commands take turns, so a machine that gets busier meanwhile
# slows both alike.
copy_times=() process_times=()
for ((i = 0; i < runs; i++)); do
  t=$(run_cli copy -o "$work/copy.bmp") || exit 1
  copy_times+=("$t")
  t=$(run_cli process --ddp "$ddp" --unsharp "$unsharp" -o "$work/processed.bmp") || exit 1
  process_times+=("$t")
done
secs[copy]=$(median_of_runs "${copy_times[@]}")
secs[process]=$(median_of_runs "${process_times[@]}")

cmp -s <(tail -c +55 "$work/in.bmp") <(tail -c +55 "$work/copy.bmp") ||
  { say "the picture written with no operation differs from the one read"; exit 1; }

# --- exactness --------------------------------------------------------------
exact="not checked (needs $py with numpy and PIL)"
if [[ $py_ok == 1 ]]; then
  if "$py" - "$work/in.bmp" "$work/processed.bmp" "$ddp" "$unsharp" <<'EOF'; then
import sys
import numpy as np
from PIL import Image

def box(a, r):
    """Clipped box mean of radius r per channel, rounded down."""
    def along(v, axis):
        pad = [(0, 0)] * v.ndim
        pad[axis] = (r + 1, r)
        c = np.pad(v, pad).cumsum(axis, dtype=np.int64)
        n = v.shape[axis]
        return np.take(c, np.arange(2 * r + 1, 2 * r + 1 + n), axis) - np.take(c, np.arange(n), axis)
    sums = along(along(a, 0), 1)
    counts = along(along(np.ones(a.shape[:2] + (1,), np.int64), 0), 1)
    return sums // counts

# Byte order in a row is blue, green, red: the "first brightest byte" is
# found in that order.
src = np.asarray(Image.open(sys.argv[1]).convert("RGB"))[..., ::-1].astype(np.int64)
lo, hi, fuzz = (int(v) for v in sys.argv[3].split(","))
ap, inten = (int(v) for v in sys.argv[4].split(","))

d = box(src, fuzz) if fuzz else src
v = (256 - lo) * (src / (d + hi)) + lo
ddp = np.where(v > 254, 255, v).astype(np.int64)

d = box(ddp, ap)
sharp = ddp - (d * inten) * 0.01
k = np.argmax(ddp.reshape(-1))
m = float(ddp.reshape(-1)[k])
n = sharp.reshape(-1)[k] if m > 0 else 0.0
first = (np.maximum(sharp, 0) + 0.5).astype(np.int64)
v = first + (m - n)
want = (np.where(v > 254, 255, v) + 0.5).astype(np.uint8)

got = np.asarray(Image.open(sys.argv[2]).convert("RGB"))[..., ::-1]
bad = np.argwhere(got != want)
if len(bad):
    y, x, c = bad[0]
    print("%d bytes differ, the first at x=%d y=%d byte %d: %d, expected %d"
          % (len(bad), x, y, c, got[y, x, c], want[y, x, c]), file=sys.stderr)
    sys.exit(1)
EOF
    exact=yes
  else
    exact=NO
  fi
fi

# --- report -----------------------------------------------------------------
ratio=$(awk -v a="${secs[process]}" -v b="${secs[copy]}" 'BEGIN { printf "%.2f", a / b }')
printf '%s x %s 24-bit picture, median of %s runs\n\n' "$width" "$height" "$runs"
printf '%-50s %8s %8s\n' "command" "seconds" "x copy"
printf '%-50s %8s %8s\n' "process IN -o OUT" "${secs[copy]}" "1.00"
printf '%-50s %8s %8s\n' "process IN --ddp $ddp --unsharp $unsharp -o OUT" "${secs[process]}" "$ratio"
printf '\nexact: %s\n' "$exact"
[[ $exact != NO ]] || exit 1
exit 0
