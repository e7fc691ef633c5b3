#!/usr/bin/env bash
# Whole-command timing of the two calibration commands that take a whole
# series at once, on the same frames as median_bench.sh:
#
#  1. the master flat, the per-pixel truncated mean (velmora-cli create-flat),
#     against ImageMagick, GraphicsMagick, Siril, numpy, a naive C++ loop and
#     the floor (only loading the frames);
#  2. dark subtraction over the frames (velmora-cli dark-subtract --mode
#     normal), which rewrites every frame, against a plain program that only
#     reads every frame and rewrites it the same careful way (whole new file
#     beside it, flushed, renamed over it), and against the same without the
#     flush.
#
# Every figure of a table comes from one run on the same frames, so the
# ratios mean something even where the absolute seconds do not.
#
# Velmora must be exact, else the script fails: its flat must equal the
# naive C++ program's pixels byte for byte, and its subtracted frames must
# equal max(light - dark, 0) as numpy computes it from what PIL decodes.
# Nothing else makes it fail; a peer that is not installed or breaks is
# reported and skipped.
#
# Environment (all optional):
#   VELMORA_CLI         velmora-cli to time (default: build/cli/velmora-cli)
#   VELMORA_GENFRAMES   frame generator used when Python/numpy/PIL are missing
#                       (default: build/tools/velmora-genframes)
#   VELMORA_SHARED_DIR  the shared folder (default: ../shared beside the checkout)
#   WIDTH HEIGHT COUNT  frame size and number (default 1920 1080 32)
#   SEED                frame seed (default 1)
#   RUNS                timed runs per tool; the median is reported (default 3)
#   THREADS             threads offered to Siril (default: all processors)
#   SKIP                space-separated tools to leave out: velmora imagemagick
#                       graphicsmagick siril numpy naive floor dark rewrite nosync
#   MAGICK_CONVERT      ImageMagick's converter (default: magick, else convert)
#   KEEP=1              keep the scratch folder (frames and outputs)
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
shared=${VELMORA_SHARED_DIR:-$root/../shared}
peers=$shared/bench
cli=${VELMORA_CLI:-$root/build/cli/velmora-cli}
genframes=${VELMORA_GENFRAMES:-$root/build/tools/velmora-genframes}
width=${WIDTH:-1920} height=${HEIGHT:-1080} count=${COUNT:-32} seed=${SEED:-1}
runs=${RUNS:-3}
threads=${THREADS:-$(nproc 2>/dev/null || echo 2)}
skip=" ${SKIP:-} "
py=/usr/bin/python3  # the Debian interpreter, the one with Debian's numpy and PIL
declare -A secs note exact
order=() dark_order=()

say() { printf '%s\n' "$*" >&2; }
have() { command -v "$1" >/dev/null 2>&1; }
skipped() {  # name list
  [[ $skip == *" $1 "* ]] || return 1
  eval "$2+=(\"\$1\")"; secs[$1]=skipped
}
absent() { eval "$3+=(\"\$1\")"; secs[$1]="not installed"; note[$1]="needs $2"; }

for n in "$width" "$height" "$count" "$runs"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { say "WIDTH, HEIGHT, COUNT and RUNS must be positive whole numbers"; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-calibration-bench.XXXXXX") || exit 2
if [[ ${KEEP:-0} == 1 ]]; then
  say "scratch folder kept: $work"
else
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/frames" "$work/dark" "$work/bin" "$work/out"

py_ok=0
if [[ -x $py ]] && "$py" -c 'import numpy, PIL' 2>/dev/null; then py_ok=1; fi

# --- frames ---------------------------------------------------------------
# The light frames are median_bench.sh's (Siril converts a sequence by its
# base name, so they are named f_NNNN.bmp); the dark is one more frame of the
# same generator and seed.
if [[ $py_ok == 1 && -f $peers/make_frames.py ]]; then
  "$py" "$peers/make_frames.py" --width "$width" --height "$height" --count "$count" \
        --seed "$seed" --out "$work/frames" >/dev/null &&
  "$py" "$peers/make_frames.py" --kind dark --width "$width" --height "$height" --count 1 \
        --seed "$seed" --prefix d --out "$work/dark" >/dev/null || { say "frame generation failed"; exit 2; }
  frames_by="make_frames.py"
elif [[ -x $genframes ]]; then
  "$genframes" --kind light --drift 0.3,0.2 --width "$width" --height "$height" --count "$count" \
               --seed "$seed" --prefix f --out "$work/frames" >/dev/null &&
  "$genframes" --kind dark --width "$width" --height "$height" --count 1 \
               --seed "$seed" --prefix d --out "$work/dark" >/dev/null || { say "frame generation failed"; exit 2; }
  frames_by="velmora-genframes"
else
  say "cannot make frames: need $py with numpy and PIL, or a built velmora-genframes"
  exit 2
fi
frames=("$work"/frames/f_*.bmp)
dark=("$work"/dark/d_*.bmp)
[[ ${#frames[@]} == "$count" ]] || { say "expected $count frames, found ${#frames[@]}"; exit 2; }
[[ ${#dark[@]} == 1 ]] || { say "expected one dark frame, found ${#dark[@]}"; exit 2; }
dark=${dark[0]}

# --- timing ---------------------------------------------------------------
median_of_runs() { printf '%s\n' "$@" | sort -g | awk -v n="$runs" 'NR == int((n + 1) / 2)'; }

# Wall time of one whole command; its output goes to a log so a failure can be shown.
time_tool() {  # name command...
  local name=$1; shift
  local t0 t1 i times=()
  order+=("$name")
  for ((i = 0; i < runs; i++)); do
    t0=$EPOCHREALTIME
    if ! "$@" >"$work/$name.log" 2>&1; then
      secs[$name]=failed
      say "$name failed:"; tail -n 5 "$work/$name.log" >&2
      return 1
    fi
    t1=$EPOCHREALTIME
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')")
  done
  secs[$name]=$(median_of_runs "${times[@]}")
  return 0
}

# The same for a command that rewrites the frames: before each run (not
# timed) fresh copies are made in $work/series, written out to disk so no
# earlier writing is flushed inside the timing, and read once so they start
# from a warm cache like the others. The copies are the last arguments.
time_rewriter() {  # name command...
  local name=$1; shift
  local t0 t1 i times=()
  dark_order+=("$name")
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/series" && mkdir "$work/series" && cp "${frames[@]}" "$work/series/" && sync
    cat "$work"/series/*.bmp >/dev/null
    t0=$EPOCHREALTIME
    if ! "$@" "$work"/series/f_*.bmp >"$work/$name.log" 2>&1; then
      secs[$name]=failed
      say "$name failed:"; tail -n 5 "$work/$name.log" >&2
      return 1
    fi
    t1=$EPOCHREALTIME
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')")
  done
  secs[$name]=$(median_of_runs "${times[@]}")
  return 0
}

# The plain rewrite: each file read whole, written whole to a new file beside
# it, flushed (unless -n), renamed over it, its folder flushed. That is what
# replacing a file safely costs with no image work at all.
cat >"$work/bin/rewrite.c" <<'EOF'
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
    int a = 1, flush = 1;
    if (a < argc && strcmp(argv[a], "-n") == 0) { flush = 0; ++a; }
    for (; a < argc; ++a) {
        const char *path = argv[a];
        struct stat st;
        int in = open(path, O_RDONLY);
        if (in < 0 || fstat(in, &st) != 0) { perror(path); return 1; }
        char *buf = malloc(st.st_size ? st.st_size : 1);
        ssize_t got = 0, r;
        while (got < st.st_size && (r = read(in, buf + got, st.st_size - got)) > 0) got += r;
        close(in);
        if (got != st.st_size) { fprintf(stderr, "%s: short read\n", path); return 1; }
        char tmp[4096];
        snprintf(tmp, sizeof tmp, "%s.rewrite", path);
        int out = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || write(out, buf, got) != got || (flush && fsync(out) != 0) || close(out) != 0) {
            perror(tmp);
            return 1;
        }
        if (rename(tmp, path) != 0) { perror(path); return 1; }
        if (flush) {
            char folder[4096];
            snprintf(folder, sizeof folder, "%s", path);
            int dir = open(dirname(folder), O_RDONLY);
            if (dir >= 0) { fsync(dir); close(dir); }
        }
        free(buf);
    }
    return 0;
}
EOF

# Peers that need compiling are compiled once, outside the timing.
cc_ok=0 cxx_ok=0 rw_ok=0
have gcc && gcc -O2 -o "$work/bin/readall" "$peers/readall.c" 2>"$work/cc.log" && cc_ok=1
have gcc && gcc -O2 -o "$work/bin/rewrite" "$work/bin/rewrite.c" 2>>"$work/cc.log" && rw_ok=1
have g++ && g++ -O2 -o "$work/bin/ref_median" "$peers/ref_median.cpp" 2>"$work/cxx.log" && cxx_ok=1

# A warm cache for everyone: the frames are read twice before the first timing.
cat "${frames[@]}" "$dark" >/dev/null
cat "${frames[@]}" "$dark" >/dev/null

ref=$work/out/ref.bmp
if [[ $cxx_ok == 1 ]]; then
  "$work/bin/ref_median" mean "$ref" "${frames[@]}" || { say "the reference mean failed"; exit 2; }
fi

# --- 1. the master flat -----------------------------------------------------
if skipped floor order; then :; elif [[ $cc_ok == 1 ]]; then
  time_tool floor "$work/bin/readall" "${frames[@]}"
else absent floor "gcc" order; fi

if skipped velmora order; then :; elif [[ -x $cli ]]; then
  time_tool velmora "$cli" create-flat "${frames[@]}" -o "$work/out/velmora.bmp"
else order+=(velmora); secs[velmora]="not built"; note[velmora]="build velmora-cli or set VELMORA_CLI"; fi

if skipped naive order; then :; elif [[ $cxx_ok == 1 ]]; then
  time_tool naive "$work/bin/ref_median" mean "$work/out/naive.bmp" "${frames[@]}"
else absent naive "g++" order; fi

if skipped numpy order; then :; elif [[ $py_ok == 1 ]]; then
  time_tool numpy "$py" "$peers/np_combine.py" mean "$work/out/numpy.bmp" "${frames[@]}"
else absent numpy "python3-numpy python3-pil" order; fi

if skipped siril order; then :; elif have siril-cli; then
  time_tool siril sh "$peers/siril_stack.sh" "$work/frames" mean "$work/siril-work" "$threads"
  note[siril]="$threads threads; float FITS"
else absent siril "siril" order; fi

if skipped graphicsmagick order; then :; elif have gm; then
  time_tool graphicsmagick gm convert "${frames[@]}" -average "BMP3:$work/out/graphicsmagick.bmp"
else absent graphicsmagick "graphicsmagick" order; fi

magick=${MAGICK_CONVERT:-}
if [[ -z $magick ]]; then
  if have magick; then magick=magick; elif have convert; then magick=convert; fi
fi
if skipped imagemagick order; then :; elif [[ -n $magick ]] && "$magick" -version 2>/dev/null | grep -q ImageMagick; then
  im_out=$work/out/imagemagick.bmp
  if ! time_tool imagemagick "$magick" "${frames[@]}" -evaluate-sequence mean "BMP3:$im_out"; then
    # Debian's stock policy caps the pixel cache; a large set needs it lifted.
    mkdir -p "$work/magick"
    cat >"$work/magick/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="32GiB"/>
  <policy domain="resource" name="area" value="16GP"/>
  <policy domain="resource" name="disk" value="64GiB"/>
  <policy domain="resource" name="width" value="64KP"/>
  <policy domain="resource" name="height" value="64KP"/>
</policymap>
EOF
    unset 'order[${#order[@]}-1]'
    MAGICK_CONFIGURE_PATH=$work/magick time_tool imagemagick \
      "$magick" "${frames[@]}" -evaluate-sequence mean "BMP3:$im_out" && note[imagemagick]="relaxed policy"
  fi
  note[imagemagick]="${note[imagemagick]:+${note[imagemagick]}; }rounds to nearest"
else absent imagemagick "imagemagick" order; fi

# --- 2. dark subtraction -----------------------------------------------------
if skipped rewrite dark_order; then :; elif [[ $rw_ok == 1 ]]; then
  time_rewriter rewrite "$work/bin/rewrite"
else absent rewrite "gcc" dark_order; fi

if skipped nosync dark_order; then :; elif [[ $rw_ok == 1 ]]; then
  time_rewriter nosync "$work/bin/rewrite" -n
else absent nosync "gcc" dark_order; fi

# Velmora runs last, so its results are what $work/series holds afterwards.
if skipped dark dark_order; then :; elif [[ -x $cli ]]; then
  time_rewriter dark "$cli" dark-subtract --mode normal --yes --dark "$dark"
else dark_order+=(dark); secs[dark]="not built"; note[dark]="build velmora-cli or set VELMORA_CLI"; fi

# --- exactness: same_pixels compares the pixel arrays of two frames ---
. "$here/lib.sh"
compare_by=$([[ $py_ok == 1 ]] && echo "pixel arrays compared with PIL" || echo "pixel bytes after the headers compared with cmp")

status=0
for name in velmora numpy graphicsmagick imagemagick; do
  [[ ${secs[$name]:-} =~ ^[0-9.]+$ ]] || continue
  if [[ ! -f $ref ]]; then exact[$name]="no reference"; continue; fi
  if same_pixels "$work/out/$name.bmp" "$ref" 2>"$work/cmp-$name.log"; then
    exact[$name]=yes
  else
    exact[$name]=NO
    [[ $name == velmora ]] && status=1
  fi
done
[[ -f $ref && -n ${secs[naive]:-} ]] && exact[naive]="reference"
exact[siril]="n/a"
[[ ${secs[velmora]:-} == failed ]] && status=1

# Normal mode on grey-ramp frames is max(light - dark, 0) at every pixel.
if [[ ${secs[dark]:-} =~ ^[0-9.]+$ ]]; then
  if [[ $py_ok == 1 ]]; then
    if "$py" - "$dark" "$work/frames" "$work/series" 2>"$work/cmp-dark.log" <<'EOF'
import os, sys
import numpy as np
from PIL import Image
px = lambda p: np.asarray(Image.open(p)).astype(np.int32)
d = px(sys.argv[1])
for name in sorted(n for n in os.listdir(sys.argv[2]) if n.startswith("f_") and n.endswith(".bmp")):
    want = np.clip(px(os.path.join(sys.argv[2], name)) - d, 0, 255)
    got = px(os.path.join(sys.argv[3], name))
    if got.shape != want.shape or (got != want).any():
        print("%s differs from max(light - dark, 0)" % name, file=sys.stderr)
        sys.exit(1)
EOF
    then exact[dark]=yes; else exact[dark]=NO; status=1; fi
  else
    exact[dark]="no reference"
  fi
fi
[[ ${secs[dark]:-} == failed ]] && status=1

# --- report -----------------------------------------------------------------
table() {  # base-name list-name
  local base=${secs[$1]:-} name s ratio
  [[ $base =~ ^[0-9.]+$ ]] || base=""
  local -n list=$2
  printf '%-15s %10s %8s  %-9s %s\n' tool seconds "x $1" exact note
  for name in "${list[@]}"; do
    s=${secs[$name]}
    if [[ $s =~ ^[0-9.]+$ ]]; then
      ratio=$([[ -n $base ]] && awk -v a="$s" -v b="$base" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1e-9) }' || echo -)
      printf '%-15s %10.3f %8s  %-9s %s\n' "$name" "$s" "$ratio" "${exact[$name]:--}" "${note[$name]:-}"
    else
      printf '%-15s %10s %8s  %-9s %s\n' "$name" "$s" - - "${note[$name]:-}"
    fi
  done
}

printf '\nFrames: %d of %d x %d (8-bit, %s, seed %s), %d processors; median of %d runs, warm cache.\n' \
  "$count" "$width" "$height" "$frames_by" "$seed" "$(nproc 2>/dev/null || echo 1)" "$runs"
printf '\nMaster flat (per-pixel truncated mean):\n'
table floor order
best="" best_name=""
for name in imagemagick graphicsmagick siril numpy naive; do
  s=${secs[$name]:-}
  [[ $s =~ ^[0-9.]+$ ]] || continue
  if [[ -z $best ]] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s best_name=$name; fi
done
if [[ ${secs[velmora]:-} =~ ^[0-9.]+$ && -n $best ]]; then
  printf 'velmora / fastest peer (%s): %s\n' "$best_name" \
    "$(awk -v a="${secs[velmora]}" -v b="$best" 'BEGIN { printf "%.2f", a / b }')"
fi

printf '\nDark subtraction, Normal, over the %d frames (rewrite: read, new file, flush, rename; nosync: the same unflushed):\n' "$count"
table rewrite dark_order

if [[ ${exact[velmora]:-} == NO ]]; then
  say ""
  say "FAIL: velmora's flat differs from the single-threaded reference ($compare_by):"
  cat "$work/cmp-velmora.log" >&2
elif [[ ${secs[velmora]:-} == failed ]]; then
  say "FAIL: velmora-cli create-flat did not succeed"
elif [[ ${exact[velmora]:-} == yes ]]; then
  printf 'velmora flat equals the reference (%s)\n' "$compare_by"
fi
if [[ ${exact[dark]:-} == NO ]]; then
  say "FAIL: velmora's dark-subtracted frames differ from max(light - dark, 0):"
  cat "$work/cmp-dark.log" >&2
elif [[ ${secs[dark]:-} == failed ]]; then
  say "FAIL: velmora-cli dark-subtract did not succeed"
elif [[ ${exact[dark]:-} == yes ]]; then
  printf 'velmora dark-subtracted frames equal max(light - dark, 0) (numpy)\n'
fi
exit $status
