#!/usr/bin/env bash
# Whole-command timing of the per-pixel median of a set of 8-bit frames:
# velmora-cli create-median against the peers we measure ourselves by
# (ImageMagick, Siril, numpy, a naive C++ loop) and the floor (only loading
# the frames). Every figure comes from one run on the same frames, so the
# ratios mean something even where the absolute seconds do not.
#
# The naive C++ program's output is the rule: Velmora's pixels must equal it
# byte for byte, else the script fails. Nothing else makes it fail; a peer
# that is not installed or breaks is reported and skipped.
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
#   SKIP                space-separated tools to leave out:
#                       velmora imagemagick siril numpy naive floor
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
order=()

say() { printf '%s\n' "$*" >&2; }
have() { command -v "$1" >/dev/null 2>&1; }
skipped() {
  [[ $skip == *" $1 "* ]] || return 1
  order+=("$1"); secs[$1]=skipped
}

for n in "$width" "$height" "$count" "$runs"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { say "WIDTH, HEIGHT, COUNT and RUNS must be positive whole numbers"; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-median-bench.XXXXXX") || exit 2
if [[ ${KEEP:-0} == 1 ]]; then
  say "scratch folder kept: $work"
else
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/frames" "$work/bin" "$work/out"

py_ok=0
if [[ -x $py ]] && "$py" -c 'import numpy, PIL' 2>/dev/null; then py_ok=1; fi

# --- frames ---------------------------------------------------------------
# Siril converts a sequence by its base name, so the frames are named f_NNNN.bmp.
if [[ $py_ok == 1 && -f $peers/make_frames.py ]]; then
  "$py" "$peers/make_frames.py" --width "$width" --height "$height" --count "$count" \
        --seed "$seed" --out "$work/frames" >/dev/null || { say "frame generation failed"; exit 2; }
  frames_by="make_frames.py"
elif [[ -x $genframes ]]; then
  "$genframes" --kind light --drift 0.3,0.2 --width "$width" --height "$height" --count "$count" \
               --seed "$seed" --prefix f --out "$work/frames" >/dev/null || { say "frame generation failed"; exit 2; }
  frames_by="velmora-genframes"
else
  say "cannot make frames: need $py with numpy and PIL, or a built velmora-genframes"
  exit 2
fi
frames=("$work"/frames/f_*.bmp)
[[ ${#frames[@]} == "$count" ]] || { say "expected $count frames, found ${#frames[@]}"; exit 2; }

# --- timing ---------------------------------------------------------------
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
  # Median of the runs (the lower middle one for an even count).
  secs[$name]=$(printf '%s\n' "${times[@]}" | sort -g | awk -v n="$runs" 'NR == int((n + 1) / 2)')
  return 0
}
absent() { order+=("$1"); secs[$1]="not installed"; note[$1]="needs $2"; }

# Peers that need compiling are compiled once, outside the timing.
cc_ok=0 cxx_ok=0
have gcc && gcc -O2 -o "$work/bin/readall" "$peers/readall.c" 2>"$work/cc.log" && cc_ok=1
have g++ && g++ -O2 -o "$work/bin/ref_median" "$peers/ref_median.cpp" 2>"$work/cxx.log" && cxx_ok=1

# A warm cache for everyone: the frames are read twice before the first timing.
cat "${frames[@]}" >/dev/null
cat "${frames[@]}" >/dev/null

ref=$work/out/ref.bmp
if [[ $cxx_ok == 1 ]]; then
  "$work/bin/ref_median" median "$ref" "${frames[@]}" || { say "the reference median failed"; exit 2; }
fi

if skipped floor; then :; elif [[ $cc_ok == 1 ]]; then
  time_tool floor "$work/bin/readall" "${frames[@]}"
else absent floor "gcc"; fi

if skipped velmora; then :; elif [[ -x $cli ]]; then
  time_tool velmora "$cli" create-median "${frames[@]}" -o "$work/out/velmora.bmp"
else absent velmora ""; secs[velmora]="not built"; note[velmora]="build velmora-cli or set VELMORA_CLI"; fi

if skipped naive; then :; elif [[ $cxx_ok == 1 ]]; then
  time_tool naive "$work/bin/ref_median" median "$work/out/naive.bmp" "${frames[@]}"
else absent naive "g++"; fi

if skipped numpy; then :; elif [[ $py_ok == 1 ]]; then
  time_tool numpy "$py" "$peers/np_combine.py" lowmed "$work/out/numpy.bmp" "${frames[@]}"
else absent numpy "python3-numpy python3-pil"; fi

if skipped siril; then :; elif have siril-cli; then
  time_tool siril sh "$peers/siril_stack.sh" "$work/frames" median "$work/siril-work" "$threads"
  note[siril]="$threads threads; float FITS, middle pair averaged"
else absent siril "siril"; fi

magick=${MAGICK_CONVERT:-}
if [[ -z $magick ]]; then
  if have magick; then magick=magick; elif have convert; then magick=convert; fi
fi
if skipped imagemagick; then :; elif [[ -n $magick ]] && "$magick" -version 2>/dev/null | grep -q ImageMagick; then
  im_out=$work/out/imagemagick.bmp
  if ! time_tool imagemagick "$magick" "${frames[@]}" -evaluate-sequence median "BMP3:$im_out"; then
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
      "$magick" "${frames[@]}" -evaluate-sequence median "BMP3:$im_out" && note[imagemagick]="relaxed policy"
  fi
else absent imagemagick "imagemagick"; fi

# --- exactness: same_pixels compares the pixel arrays of two frames ---
. "$here/lib.sh"
compare_by=$([[ $py_ok == 1 ]] && echo "pixel arrays compared with PIL" || echo "pixel bytes after the headers compared with cmp")

status=0
for name in velmora numpy imagemagick; do
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
if [[ ${secs[velmora]:-} == failed ]]; then status=1; fi

# --- report -----------------------------------------------------------------
printf '\nMedian of %d frames of %d x %d (8-bit, %s, seed %s), %d processors; median of %d runs, warm cache.\n' \
  "$count" "$width" "$height" "$frames_by" "$seed" "$(nproc 2>/dev/null || echo 1)" "$runs"
floor=${secs[floor]:-}
[[ $floor =~ ^[0-9.]+$ ]] || floor=""
printf '%-12s %13s %8s  %-9s %s\n' tool seconds "x floor" exact note
for name in "${order[@]}"; do
  s=${secs[$name]}
  if [[ $s =~ ^[0-9.]+$ ]]; then
    ratio=$([[ -n $floor ]] && awk -v a="$s" -v b="$floor" 'BEGIN { printf "%.1f", a / (b > 0 ? b : 1e-9) }' || echo -)
    printf '%-12s %13.3f %8s  %-9s %s\n' "$name" "$s" "$ratio" "${exact[$name]:--}" "${note[$name]:-}"
  else
    printf '%-12s %13s %8s  %-9s %s\n' "$name" "$s" - - "${note[$name]:-}"
  fi
done

best="" best_name=""
for name in imagemagick siril numpy naive; do
  s=${secs[$name]:-}
  [[ $s =~ ^[0-9.]+$ ]] || continue
  if [[ -z $best ]] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s best_name=$name; fi
done
if [[ ${secs[velmora]:-} =~ ^[0-9.]+$ && -n $best ]]; then
  printf 'velmora / fastest peer (%s): %s\n' "$best_name" \
    "$(awk -v a="${secs[velmora]}" -v b="$best" 'BEGIN { printf "%.2f", a / b }')"
fi

if [[ ${exact[velmora]:-} == NO ]]; then
  say ""
  say "FAIL: velmora's median differs from the single-threaded reference ($compare_by):"
  cat "$work/cmp-velmora.log" >&2
elif [[ ${secs[velmora]:-} == failed ]]; then
  say "FAIL: velmora-cli create-median did not succeed"
elif [[ ${exact[velmora]:-} == yes ]]; then
  printf 'velmora output equals the reference (%s)\n' "$compare_by"
fi
exit $status
